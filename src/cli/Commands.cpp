// Dispatching a tarnftp command.
#include "cli/Commands.h"

#include <cstdio>

#include "cli/LocalFiles.h"

TCommandRunner::TCommandRunner(TCliSession& Session) : S(Session), E(Session.Engine()) {}

void TCommandRunner::Run() {
    const std::string& cmd = S.Options().Command;
    const std::vector<std::string>& a = S.Options().Args;
    auto arg = [&a](std::size_t i) { return i < a.size() ? a[i] : std::string(); };
    if (cmd == "ls" || cmd == "nlst") {
        List(arg(0), cmd == "nlst");
    } else if (cmd == "get") {
        Get(arg(0), arg(1));
    } else if (cmd == "put") {
        Put(arg(0), arg(1), false);
    } else if (cmd == "append") {
        Put(arg(0), arg(1), true);
    } else if (cmd == "mget") {
        MultiGet();
    } else if (cmd == "mput") {
        MultiPut();
    } else if (cmd == "mkdir") {
        MakeFolder(arg(0));
    } else if (cmd == "rmdir") {
        RemoveFolder(arg(0));
    } else if (cmd == "rename") {
        Rename(arg(0), arg(1));
    } else if (cmd == "delete") {
        for (const std::string& name : a) {
            Delete(name);
            if (!S.Usable()) break;
        }
    } else if (cmd == "pwd") {
        PrintWorkingFolder();
    } else if (cmd == "size") {
        PrintSize(arg(0));
    } else if (cmd == "syst") {
        PrintSystem();
    } else if (cmd == "mirror") {
        Mirror();
    } else if (cmd == "quote") {
        std::string line;
        for (const std::string& word : a) line += (line.empty() ? "" : " ") + word;
        Quote(line);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        S.Report(TExitStatus::LocalFile, "standard output", "write failed");
}

void TCommandRunner::Print(const std::string& Text) {
    std::fwrite(Text.data(), 1, Text.size(), stdout);
}

void TCommandRunner::CopyOut(const std::string& Path, const std::string& What) {
    std::fflush(stdout);
    std::string error;
    if (!CopyToStdout(Path, error)) S.Report(TExitStatus::LocalFile, What, error);
}

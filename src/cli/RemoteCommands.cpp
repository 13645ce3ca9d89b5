// The commands that need no data connection: folders, names, sizes and raw
// commands.
#include "cli/Commands.h"

#include "base/Strings.h"

void TCommandRunner::MakeFolder(const std::string& Name) {
    E.HostFileName = Name;
    if (!S.Call(&TCustomFtpCli::MkdAsync, TExitStatus::Refused)) S.ReportFailure("mkdir " + Name);
}

void TCommandRunner::RemoveFolder(const std::string& Name) {
    E.HostFileName = Name;
    if (!S.Call(&TCustomFtpCli::RmdAsync, TExitStatus::Refused)) S.ReportFailure("rmdir " + Name);
}

void TCommandRunner::Rename(const std::string& From, const std::string& To) {
    E.HostFileName = From;
    E.LocalFileName = To;  // RNTO takes the new name from here
    if (!S.Call(&TCustomFtpCli::RenAsync, TExitStatus::Refused))
        S.ReportFailure("rename " + From + " " + To);
}

void TCommandRunner::Delete(const std::string& Name) {
    E.HostFileName = Name;
    if (!S.Call(&TCustomFtpCli::DeleAsync, TExitStatus::Refused)) S.ReportFailure("delete " + Name);
}

void TCommandRunner::PrintWorkingFolder() {
    if (!S.Call(&TCustomFtpCli::PwdAsync, TExitStatus::Refused)) {
        S.ReportFailure("pwd");
        return;
    }
    Print(E.ReplyDirName() + "\n");
}

void TCommandRunner::PrintSize(const std::string& Name) {
    // The size a server gives depends on the transfer type.
    if (!EnsureType("size " + Name)) return;
    std::int64_t size = 0;
    if (!RemoteSize(Name, size)) {
        S.ReportFailure("size " + Name);
        return;
    }
    Print(IntToStr(size) + "\n");
}

void TCommandRunner::PrintSystem() {
    if (!S.Call(&TCustomFtpCli::SystAsync, TExitStatus::Refused)) {
        S.ReportFailure("syst");
        return;
    }
    const std::string& line = E.LastReplyLine();
    Print((line.size() > 4 ? line.substr(4) : std::string()) + "\n");
}

void TCommandRunner::Quote(const std::string& Command) {
    std::string reply;
    S.OnReplyLine = [&reply](const std::string& Line) { reply += Line + "\n"; };
    E.LocalFileName = Command;  // QUOTE sends this unchanged
    bool ok = S.Call(&TCustomFtpCli::QuoteAsync, TExitStatus::Refused);
    S.OnReplyLine = nullptr;
    if (ok)
        Print(reply);
    else
        S.ReportFailure("quote " + Command);
}

bool TCommandRunner::RemoteSize(const std::string& Name, std::int64_t& Size) {
    E.HostFileName = Name;
    if (!S.Call(&TCustomFtpCli::SizeAsync, TExitStatus::Refused)) return false;
    Size = E.ReplySize();
    return true;
}

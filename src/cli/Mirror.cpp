// mirror: a whole folder either way through the folder transfer, with the
// session behind it as its remote side.
#include "cli/Commands.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/LocalFiles.h"
#include "cli/ProgressBar.h"
#include "tree/TreeTransfer.h"

namespace {

// The session's requests as the folder transfer takes them.
class TCliTreeRemote : public TTreeRemote {
public:
    explicit TCliTreeRemote(TCliSession& Session) : S(Session), E(Session.Engine()) {}

    bool List(const std::string& Folder, std::string& Text) override {
        TTempFile listing("", "tarnftp-list");
        if (!listing.Ok()) {
            FLocalError = listing.Error();
            return false;
        }
        E.HostFileName = Folder;
        E.LocalFileName = listing.Path();
        E.DisplayFileFlag = false;
        if (!Call(&TCustomFtpCli::DirAsync)) return false;
        std::ifstream in(listing.Path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        Text = text.str();
        return true;
    }
    bool FolderExists(const std::string& Folder) override {
        if (!Call(&TCustomFtpCli::PwdAsync)) return false;
        const std::string back = E.ReplyDirName();
        E.HostDirName = Folder;
        if (!Call(&TCustomFtpCli::CwdAsync)) return false;
        E.HostDirName = back;
        Call(&TCustomFtpCli::CwdAsync);
        return true;
    }
    bool MakeFolder(const std::string& Folder) override {
        E.HostFileName = Folder;
        return Call(&TCustomFtpCli::MkdAsync);
    }
    bool Receive(const std::string& Remote, const std::string& LocalPath, bool Resume) override {
        E.HostFileName = Remote;
        E.LocalFileName = LocalPath;
        E.DisplayFileFlag = false;
        E.ResumeAt = 0;
        return Moving(Resume ? &TCustomFtpCli::RestGetAsync : &TCustomFtpCli::GetAsync);
    }
    bool Send(const std::string& LocalPath, const std::string& Remote, std::int64_t ResumeAt) override {
        E.LocalFileName = LocalPath;
        E.HostFileName = Remote;
        E.ResumeAt = ResumeAt;
        return Moving(ResumeAt > 0 ? &TCustomFtpCli::RestPutAsync : &TCustomFtpCli::PutAsync);
    }
    bool DeleteFile(const std::string& Remote) override {
        E.HostFileName = Remote;
        return Call(&TCustomFtpCli::DeleAsync);
    }
    bool RemoveFolder(const std::string& Remote) override {
        E.HostFileName = Remote;
        return Call(&TCustomFtpCli::RmdAsync);
    }
    bool Usable() override { return S.Usable(); }
    std::string LastError() override { return FLocalError.empty() ? S.LastReason() : FLocalError; }

private:
    bool Call(TCliFtpClient::TRequestMethod Method) {
        FLocalError.clear();
        return S.Call(Method, TExitStatus::Refused);
    }
    bool Moving(TCliFtpClient::TRequestMethod Method) {
        S.OnTransferProgress = OnFilePosition;
        const bool ok = Call(Method);
        S.OnTransferProgress = nullptr;
        return ok;
    }

    TCliSession& S;
    TCliFtpClient& E;
    std::string FLocalError;
};

// The last level of a path given on the command line ("" for "/" or ".").
std::string LastLevel(std::string Path) {
    while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
    const std::string base = BaseName(Path);
    return base == "." || base == ".." ? std::string() : base;
}

}  // namespace

void TCommandRunner::Mirror() {
    const TCliOptions& o = S.Options();
    const std::string source = o.Args[0];
    std::string target = o.Args.size() > 1 ? o.Args[1] : LastLevel(source);
    if (target.empty()) target = ".";
    const std::string& local = o.Reverse ? source : target;
    const std::string& remote = o.Reverse ? target : source;
    const std::string what = "mirror";
    if (!EnsureType(what)) return;

    TCliTreeRemote side(S);
    TTreeTransfer transfer(side, TTreeOptions{o.Reverse, !o.Ascii, o.OnlyNewer, o.DeleteMissing});
    const TExistingAnswer standing{o.IfExists, true};
    transfer.OnExisting = [standing](const TExistingFile&) { return standing; };
    transfer.OnFailure = [this, &what](const std::string& Path, const std::string& Reason, bool Local) {
        const TExitStatus kind = Local                                    ? TExitStatus::LocalFile
                                 : S.LastKind() == TExitStatus::Success ? TExitStatus::Refused
                                                                        : S.LastKind();
        S.Report(kind, what + " " + (Path.empty() ? "." : Path), Reason);
    };
    transfer.OnNotice = [this](const std::string& Path, const std::string& What) {
        if (What == "removed")
            Print("removed " + Path + "\n");
        else
            S.Notice((Path.empty() ? std::string(".") : Path) + ": " + What);
    };
    std::unique_ptr<TProgressBar> bar;
    transfer.OnProgress = [this, &bar, &source](const TTreeProgress& P) {
        if (!bar) bar = std::make_unique<TProgressBar>(ShowProgress(), LastLevel(source), P.BytesTotal, 0);
        bar->Update(P.BytesDone);
    };
    const TTreeResult result = transfer.Run(local, remote);
    if (bar) bar->Finish();
    if (result.Stopped && S.Result() == TExitStatus::Success)
        S.Report(S.LastKind() == TExitStatus::Success ? TExitStatus::Connect : S.LastKind(), what,
                 "the session ended before every file arrived");
    char summary[160];
    std::snprintf(summary, sizeof summary, "%d files moved (%lld bytes), %d skipped, %d failed, %d removed",
                  result.FilesMoved, static_cast<long long>(result.BytesMoved), result.FilesSkipped,
                  result.Failures, result.Removed);
    S.Notice(what + ": " + summary);
}

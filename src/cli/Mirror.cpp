// mirror: a whole folder either way through the folder transfer, with the
// run's session (and, with --parallel, more of them) as its remote side.
#include "cli/Commands.h"

#include <cstdio>
#include <memory>

#include "cli/CliTreeRemote.h"
#include "cli/LocalFiles.h"
#include "cli/ProgressBar.h"
#include "tree/TreeTransfer.h"

namespace {

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
    transfer.OnFailure = [this, &what, &side](const std::string& Path, const std::string& Reason, bool Local) {
        const TExitStatus kind = Local                                       ? TExitStatus::LocalFile
                                 : side.LastKind() == TExitStatus::Success ? TExitStatus::Refused
                                                                           : side.LastKind();
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

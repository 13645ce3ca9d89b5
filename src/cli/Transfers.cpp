// get, put, append, mget and mput.
//
// A download into a regular file goes to a temporary file beside it, moved
// over the target when data arrived: a refused or empty transfer never
// destroys the local file that was there, and a transfer cut short leaves
// its part under the target's name for -C to resume. With -C the download
// appends to the local file directly.
#include "cli/Commands.h"

#include "cli/Interrupt.h"
#include "cli/LocalFiles.h"
#include "cli/ProgressBar.h"
#include "tree/TreeWalk.h"

bool TCommandRunner::ExistingFile(bool Local, std::string& Name, bool& Resume) {
    const TCliOptions& o = S.Options();
    Resume = o.Continue || (o.HasIfExists && o.IfExists == TExistingChoice::Resume);
    if (!o.HasIfExists) return true;
    switch (o.IfExists) {
        case TExistingChoice::Overwrite:
        case TExistingChoice::Resume: return true;
        case TExistingChoice::Skip:
            S.Notice(Name + ": exists, skipped");
            return false;
        case TExistingChoice::Rename: break;
    }
    for (int n = 1;; ++n) {
        const std::string candidate = NumberedName(Name, n);
        std::int64_t size = 0;
        if (Local ? Exists(candidate) : RemoteSize(candidate, size)) continue;
        if (!Local && !S.Usable()) return false;
        S.Notice(Name + ": exists, stored as " + candidate);
        Name = candidate;
        return true;
    }
}

bool TCommandRunner::ShowProgress() const { return !S.Options().Quiet && ProgressWanted(); }

bool TCommandRunner::EnsureType(const std::string& What) {
    if (TypeSent) return true;
    E.SetBinary(!S.Options().Ascii);
    if (!S.Call(&TCustomFtpCli::TypeSetAsync, TExitStatus::Refused)) {
        S.ReportFailure(What);
        return false;
    }
    TypeSent = true;
    return true;
}

bool TCommandRunner::Download(const std::string& Remote, const std::string& LocalPath,
                              bool Resume) {
    std::int64_t total = -1;
    if (ShowProgress() && !RemoteSize(Remote, total)) {
        total = -1;
        if (!S.Usable()) return false;
    }
    const std::int64_t start = Resume ? std::max<std::int64_t>(RegularFileSize(LocalPath), 0) : 0;
    TProgressBar bar(ShowProgress(), BaseName(Remote), total, start);
    S.OnTransferProgress = [&bar](std::int64_t Position) { bar.Update(Position); };
    E.HostFileName = Remote;
    E.LocalFileName = LocalPath;
    E.DisplayFileFlag = false;
    E.ResumeAt = 0;
    bool ok = S.Call(Resume ? &TCustomFtpCli::RestGetAsync : &TCustomFtpCli::GetAsync,
                     TExitStatus::Refused);
    S.OnTransferProgress = nullptr;
    if (ok) bar.Finish();
    return ok;
}

void TCommandRunner::Get(const std::string& Remote, const std::string& Local) {
    const std::string what = "get " + Remote;
    std::string local = Local.empty() ? BaseName(Remote) : Local;
    if (local.empty()) {
        S.Report(TExitStatus::Usage, what, "no file name to store it under (give LOCAL)");
        return;
    }
    if (!EnsureType(what)) return;
    if (local == "-") {
        TTempFile data("", "tarnftp-get");
        if (!data.Ok()) {
            S.Report(TExitStatus::LocalFile, what, data.Error());
        } else if (!Download(Remote, data.Path(), false)) {
            S.ReportFailure(what);
        } else {
            CopyOut(data.Path(), what);
        }
        return;
    }
    if (IsFolder(local)) local += "/" + BaseName(Remote);
    bool resume = S.Options().Continue;
    if (Exists(local) && !ExistingFile(true, local, resume)) return;
    const std::int64_t size = RegularFileSize(local);
    if ((resume && size > 0) || (size < 0 && Exists(local))) {
        // Resuming, or a device or pipe that cannot be replaced: write to it.
        if (!Download(Remote, local, size > 0)) S.ReportFailure(what);
        return;
    }
    TTempFile part(FolderOf(local), "." + BaseName(local) + ".part");
    if (!part.Ok()) {
        S.Report(TExitStatus::LocalFile, what, part.Error());
        return;
    }
    bool ok = Download(Remote, part.Path(), false);
    // What arrived of a failed download stays under the name, for -C, only
    // when no file had it: an existing file is never traded for a fragment.
    const bool keepPart = !ok && size < 0 && RegularFileSize(part.Path()) > 0;
    if ((ok || keepPart) && !part.MoveTo(local)) {
        S.Report(TExitStatus::LocalFile, what, part.Error());
        return;
    }
    if (!ok) S.ReportFailure(what);
}

void TCommandRunner::Put(const std::string& Local, const std::string& Remote, bool Append) {
    const std::string what = (Append ? "append " : "put ") + Local;
    std::string error;
    if (!CheckReadable(Local, error)) {
        S.Report(TExitStatus::LocalFile, what, error);
        return;
    }
    std::string remote = Remote.empty() ? BaseName(Local) : Remote;
    if (!EnsureType(what)) return;
    const std::int64_t size = RegularFileSize(Local);
    std::int64_t start = 0;
    bool resume = S.Options().Continue;
    if (!Append && S.Options().HasIfExists) {
        std::int64_t there = 0;
        if (RemoteSize(remote, there) && !ExistingFile(false, remote, resume)) return;
        if (!S.Usable()) {
            S.ReportFailure(what);
            return;
        }
    }
    if (resume && !Append) {
        std::int64_t there = 0;
        if (RemoteSize(remote, there)) {
            if (there >= size) {
                S.Notice(remote + ": nothing to send, the remote file is complete");
                return;
            }
            start = there;
        } else if (!S.Usable()) {
            S.ReportFailure(what);
            return;
        }
    }
    TProgressBar bar(ShowProgress(), BaseName(Local), size, start);
    S.OnTransferProgress = [&bar](std::int64_t Position) { bar.Update(Position); };
    E.LocalFileName = Local;
    E.HostFileName = remote;
    E.ResumeAt = start;
    auto method = Append      ? &TCustomFtpCli::AppendAsync
                  : start > 0 ? &TCustomFtpCli::RestPutAsync
                              : &TCustomFtpCli::PutAsync;
    bool ok = S.Call(method, TExitStatus::Refused);
    S.OnTransferProgress = nullptr;
    if (ok)
        bar.Finish();
    else
        S.ReportFailure(what);
}

void TCommandRunner::MultiGet() {
    const std::string& folder = S.Options().OutputDir;
    if (!IsFolder(folder)) {
        S.Report(TExitStatus::LocalFile, "mget", folder + ": no such folder");
        return;
    }
    // Names are taken literally; each is stored under its base name, which
    // the command line check made sure stays inside the folder.
    for (const std::string& name : S.Options().Args) {
        Get(name, folder + "/" + BaseName(name));
        if (!S.Usable()) break;
    }
}

void TCommandRunner::MultiPut() {
    for (const std::string& name : S.Options().Args) {
        Put(name, BaseName(name), false);
        if (!S.Usable()) break;
    }
}

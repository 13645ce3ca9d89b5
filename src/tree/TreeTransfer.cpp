#include "tree/TreeTransfer.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/LocalFiles.h"

namespace {

std::string ParentOf(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? std::string() : Path.substr(0, slash);
}

// Whether Path lies inside one of Folders (or is one).
bool Below(const std::set<std::string>& Folders, const std::string& Path) {
    for (std::string p = Path; !p.empty(); p = ParentOf(p))
        if (Folders.count(p)) return true;
    return false;
}

}  // namespace

TTreeTransfer::TTreeTransfer(TTreeRemote& Remote, TTreeOptions Options)
    : FRemote(Remote), FOptions(Options) {}

void TTreeTransfer::Fail(const std::string& Path, const std::string& Reason, bool Local) {
    ++FResult.Failures;
    if (OnFailure) OnFailure(Path, Reason, Local);
}

void TTreeTransfer::Notice(const std::string& Path, const std::string& What) {
    if (OnNotice) OnNotice(Path, What);
}

void TTreeTransfer::ShowProgress() {
    if (OnProgress) OnProgress(FProgress);
}

bool TTreeTransfer::Continuing() {
    if (FStopRequested || !FRemote.Usable()) FResult.Stopped = true;
    return !FResult.Stopped;
}

TTreeResult TTreeTransfer::Run(const std::string& LocalRoot, const std::string& RemoteRoot) {
    FLocalRoot = LocalRoot;
    FRemoteRoot = RemoteRoot;
    const bool up = FOptions.Upload;
    const TTreeWalk source = up ? WalkLocal(LocalRoot, true) : WalkRemote(FRemote, RemoteRoot, false);
    for (const TTreeWalk::TIssue& issue : source.Issues) {
        if (issue.Failure)
            Fail(issue.Path, issue.Reason, up || issue.Reason.find("unsafe") == 0);
        else
            Notice(issue.Path, issue.Reason);
    }
    if (!source.RootFound) {
        if (up) Fail("", "no such folder", true);
        return FResult;
    }
    if (!up && source.Entries.empty() && source.Issues.empty() && !FRemote.FolderExists(RemoteRoot)) {
        if (Continuing()) Fail("", FRemote.LastError(), false);
        return FResult;
    }
    if (!Continuing()) return FResult;
    const TTreeWalk target = up ? WalkRemote(FRemote, RemoteRoot, true) : WalkLocal(LocalRoot, false);
    for (const TTreeEntry& entry : target.Entries) FTarget.emplace(entry.Path, entry);
    for (const TTreeEntry& entry : source.Entries) {
        if (entry.IsFolder) continue;
        ++FProgress.FilesTotal;
        FProgress.BytesTotal += entry.Size;
    }
    ShowProgress();
    if (!Continuing() || !MakeTargetRoot(target)) return FResult;

    for (const TTreeEntry& entry : source.Entries) {
        if (!Continuing()) break;
        if (Below(FBlocked, ParentOf(entry.Path))) {
            if (entry.IsFolder) {
                FBlocked.insert(entry.Path);
            } else {
                ++FResult.Failures;  // its folder's failure was reported
                ++FProgress.FilesDone;
                FProgress.BytesDone += entry.Size;
            }
            continue;
        }
        if (entry.IsFolder) {
            if (!MakeFolder(entry)) FBlocked.insert(entry.Path);
            continue;
        }
        MoveFile(entry);
        ++FProgress.FilesDone;
        FProgress.CurrentFile.clear();
        ShowProgress();
    }
    if (FOptions.Delete && !FResult.Stopped) RemoveMissing(source, target);
    return FResult;
}

bool TTreeTransfer::MakeTargetRoot(const TTreeWalk& Target) {
    if (FOptions.Upload) {
        // A missing folder lists empty on some servers: make it unless it
        // showed entries. One that exists refuses MKD, which is fine; a real
        // refusal shows with the first file.
        if (Target.Entries.empty()) FRemote.MakeFolder(FRemoteRoot);
        return Continuing();
    }
    if (Target.RootFound) return true;
    if (platform::MakeFolder(FLocalRoot)) return true;
    Fail("", std::strerror(errno), true);
    return false;
}

bool TTreeTransfer::MakeFolder(const TTreeEntry& Entry) {
    const auto there = FTarget.find(Entry.Path);
    if (there != FTarget.end()) {
        if (there->second.IsFolder) return true;
        Fail(Entry.Path, "a file or link of that name is in the way", !FOptions.Upload);
        return false;
    }
    const bool made = FOptions.Upload ? FRemote.MakeFolder(JoinTreePath(FRemoteRoot, Entry.Path))
                                      : platform::MakeFolder(JoinTreePath(FLocalRoot, Entry.Path));
    if (!made) {
        Fail(Entry.Path, FOptions.Upload ? FRemote.LastError() : std::strerror(errno), !FOptions.Upload);
        return false;
    }
    FMade.insert(Entry.Path);
    return true;
}

TExistingAnswer TTreeTransfer::Ask(const TTreeEntry& Source, const TTreeEntry& Target) {
    TExistingFile file{Source.Path, Source.Size, Target.Size, Source.Modified, Target.Modified};
    // Appending through a link would write wherever it points.
    file.ResumeOffered = FOptions.Binary && !Target.IsLink && Target.Size < Source.Size;
    TExistingAnswer answer = FStandingAnswer;
    if (!FHasStandingAnswer) {
        if (OnExisting) answer = OnExisting(file);
        if (answer.ApplyToAll) {
            FHasStandingAnswer = true;
            FStandingAnswer = answer;
        }
    }
    if (answer.Choice == TExistingChoice::Resume && !file.ResumeOffered) {
        // Nothing left to resume: a complete copy stays, a larger or
        // unreachable one is replaced.
        const bool complete = !Target.IsLink && Target.Size == Source.Size;
        answer.Choice = complete ? TExistingChoice::Skip : TExistingChoice::Overwrite;
    }
    return answer;
}

std::string TTreeTransfer::FreeName(const std::string& Path) const {
    for (int n = 1;; ++n) {
        std::string candidate = NumberedName(Path, n);
        if (FTarget.count(candidate) || FMade.count(candidate)) continue;
        struct stat st {};
        if (!FOptions.Upload && lstat(JoinTreePath(FLocalRoot, candidate).c_str(), &st) == 0) continue;
        return candidate;
    }
}

void TTreeTransfer::MoveFile(const TTreeEntry& Entry) {
    FProgress.CurrentFile = Entry.Path;
    ShowProgress();
    std::string target = Entry.Path;
    std::int64_t resumeAt = 0;
    const auto there = FTarget.find(Entry.Path);
    if (there != FTarget.end()) {
        const TTreeEntry& existing = there->second;
        if (existing.IsFolder) {
            Fail(Entry.Path, "a folder of that name is in the way", !FOptions.Upload);
            FProgress.BytesDone += Entry.Size;
            return;
        }
        const bool newer = Entry.Modified < 0 || existing.Modified < 0 || Entry.Modified > existing.Modified;
        const TExistingAnswer answer =
            FOptions.OnlyNewer && !newer ? TExistingAnswer{TExistingChoice::Skip} : Ask(Entry, existing);
        switch (answer.Choice) {
            case TExistingChoice::Skip:
                ++FResult.FilesSkipped;
                FProgress.BytesDone += Entry.Size;
                return;
            case TExistingChoice::Resume: resumeAt = existing.Size; break;
            case TExistingChoice::Rename: target = FreeName(Entry.Path); break;
            case TExistingChoice::Overwrite: break;
        }
    }
    const std::int64_t base = FProgress.BytesDone;
    FRemote.OnFilePosition = [this, base](std::int64_t Position) {
        FProgress.BytesDone = base + Position;
        ShowProgress();
    };
    const bool ok = Transfer(Entry.Path, target, resumeAt);
    FRemote.OnFilePosition = nullptr;
    FProgress.BytesDone = base + Entry.Size;
    if (!ok) return;
    FMade.insert(target);
    ++FResult.FilesMoved;
    FResult.BytesMoved += Entry.Size - resumeAt;
}

bool TTreeTransfer::Transfer(const std::string& Source, const std::string& Target, std::int64_t ResumeAt) {
    if (FOptions.Upload) {
        if (FRemote.Send(JoinTreePath(FLocalRoot, Source), JoinTreePath(FRemoteRoot, Target), ResumeAt))
            return true;
        Fail(Source, FRemote.LastError(), false);
        return false;
    }
    const std::string remote = JoinTreePath(FRemoteRoot, Source);
    const std::string local = JoinTreePath(FLocalRoot, Target);
    if (ResumeAt > 0) {
        if (FRemote.Receive(remote, local, true)) return true;
        Fail(Source, FRemote.LastError(), false);
        return false;
    }
    const std::size_t slash = local.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : local.substr(0, slash);
    const std::string scratch = platform::CreateScratchFile(folder, platform::FileNamePart(local));
    if (scratch.empty()) {
        Fail(Source, std::strerror(errno), true);
        return false;
    }
    if (!FRemote.Receive(remote, scratch, false)) {
        ::unlink(scratch.c_str());
        Fail(Source, FRemote.LastError(), false);
        return false;
    }
    if (!platform::ReplaceFile(scratch, local)) {
        const std::string reason = std::strerror(errno);
        ::unlink(scratch.c_str());
        Fail(Source, reason, true);
        return false;
    }
    return true;
}

void TTreeTransfer::RemoveMissing(const TTreeWalk& Source, const TTreeWalk& Target) {
    if (!Source.Complete || !Target.Complete || FResult.Failures > 0) {
        Notice("", "nothing removed: not every folder could be read or every file moved");
        return;
    }
    std::set<std::string> kept;
    for (const TTreeEntry& entry : Source.Entries) kept.insert(entry.Path);
    // Reverse walk order: what a folder holds goes before the folder.
    for (auto it = Target.Entries.rbegin(); it != Target.Entries.rend(); ++it) {
        const TTreeEntry& entry = *it;
        if (kept.count(entry.Path) || FMade.count(entry.Path)) continue;
        if (!Continuing()) return;
        bool removed;
        if (FOptions.Upload) {
            const std::string path = JoinTreePath(FRemoteRoot, entry.Path);
            removed = entry.IsFolder ? FRemote.RemoveFolder(path) : FRemote.DeleteFile(path);
        } else {
            const std::string path = JoinTreePath(FLocalRoot, entry.Path);
            removed = (entry.IsFolder ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0;
        }
        if (!removed) {
            Fail(entry.Path, FOptions.Upload ? FRemote.LastError() : std::strerror(errno), !FOptions.Upload);
            continue;
        }
        ++FResult.Removed;
        Notice(entry.Path, "removed");
    }
}

#include "tree/TreeTransfer.h"

#include <algorithm>
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

void TTreeTransfer::Stop() {
    FStopRequested = true;
    FRemote.StopFiles();
}

void TTreeTransfer::ShowProgress() {
    FProgress.BytesDone = FSettledBytes;
    for (const TLane& lane : FLanes) FProgress.BytesDone += lane.Position;
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
        if (!entry.IsFolder) continue;
        if (!Continuing()) break;
        if (Below(FBlocked, ParentOf(entry.Path)) || !MakeFolder(entry)) FBlocked.insert(entry.Path);
    }
    MoveFiles(source.Entries);
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

bool TTreeTransfer::AnyLaneBusy() const {
    for (const TLane& lane : FLanes)
        if (lane.Busy) return true;
    return false;
}

void TTreeTransfer::MoveFiles(const std::vector<TTreeEntry>& Entries) {
    FLanes.assign(static_cast<std::size_t>(std::max(1, FRemote.Lanes())), TLane{});
    auto next = Entries.begin();
    for (;;) {
        if (!Continuing()) {
            FRemote.StopFiles();
            break;
        }
        next = std::find_if(next, Entries.end(), [](const TTreeEntry& E) { return !E.IsFolder; });
        if (next == Entries.end()) break;
        const auto idle = std::find_if(FLanes.begin(), FLanes.end(), [](const TLane& L) { return !L.Busy; });
        if (idle == FLanes.end()) {
            FRemote.WaitForFiles();
            continue;
        }
        const TTreeEntry& entry = *next++;
        if (Below(FBlocked, ParentOf(entry.Path))) {
            ++FResult.Failures;  // its folder's failure was reported
            Settle(entry);
            continue;
        }
        StartFile(static_cast<int>(idle - FLanes.begin()), entry);
    }
    while (AnyLaneBusy()) FRemote.WaitForFiles();
}

void TTreeTransfer::Settle(const TTreeEntry& Entry) {
    ++FProgress.FilesDone;
    FSettledBytes += Entry.Size;
    if (!AnyLaneBusy()) FProgress.CurrentFile.clear();
    ShowProgress();
}

void TTreeTransfer::StartFile(int Lane, const TTreeEntry& Entry) {
    FProgress.CurrentFile = Entry.Path;
    ShowProgress();
    std::string target = Entry.Path;
    std::int64_t resumeAt = 0;
    const auto there = FTarget.find(Entry.Path);
    if (there != FTarget.end()) {
        const TTreeEntry& existing = there->second;
        if (existing.IsFolder) {
            Fail(Entry.Path, "a folder of that name is in the way", !FOptions.Upload);
            Settle(Entry);
            return;
        }
        const bool newer = Entry.Modified < 0 || existing.Modified < 0 || Entry.Modified > existing.Modified;
        const TExistingAnswer answer =
            FOptions.OnlyNewer && !newer ? TExistingAnswer{TExistingChoice::Skip} : Ask(Entry, existing);
        switch (answer.Choice) {
            case TExistingChoice::Skip:
                ++FResult.FilesSkipped;
                Settle(Entry);
                return;
            case TExistingChoice::Resume: resumeAt = existing.Size; break;
            case TExistingChoice::Rename: target = FreeName(Entry.Path); break;
            case TExistingChoice::Overwrite: break;
        }
    }
    TTreeFileJob job;
    job.Upload = FOptions.Upload;
    job.ResumeAt = resumeAt;
    job.Remote = JoinTreePath(FRemoteRoot, FOptions.Upload ? target : Entry.Path);
    job.LocalPath = JoinTreePath(FLocalRoot, FOptions.Upload ? Entry.Path : target);
    std::string scratch;
    if (!FOptions.Upload && resumeAt == 0) {
        // A download other than a resume replaces the local file only once whole.
        const std::string& local = job.LocalPath;
        const std::size_t slash = local.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : local.substr(0, slash);
        scratch = platform::CreateScratchFile(folder, platform::FileNamePart(local));
        if (scratch.empty()) {
            Fail(Entry.Path, std::strerror(errno), true);
            Settle(Entry);
            return;
        }
        job.LocalPath = scratch;
    }
    // Reserved at once, so that a later rename on another lane picks another name.
    FMade.insert(target);
    FLanes[Lane] = TLane{true, Entry, target, scratch, resumeAt, 0};
    job.OnPosition = [this, Lane](std::int64_t Position) {
        FLanes[Lane].Position = Position;
        ShowProgress();
    };
    job.OnDone = [this, Lane](bool Ok, const std::string& Error) { FinishFile(Lane, Ok, Error); };
    FRemote.StartFile(Lane, std::move(job));
}

void TTreeTransfer::FinishFile(int Lane, bool Ok, const std::string& Error) {
    const TLane lane = std::move(FLanes[Lane]);
    FLanes[Lane] = TLane{};
    bool arrived = Ok;
    if (!Ok) {
        if (!lane.Scratch.empty()) ::unlink(lane.Scratch.c_str());
        Fail(lane.Entry.Path, Error, false);
    } else if (!lane.Scratch.empty() &&
               !platform::ReplaceFile(lane.Scratch, JoinTreePath(FLocalRoot, lane.Target))) {
        const std::string reason = std::strerror(errno);
        ::unlink(lane.Scratch.c_str());
        Fail(lane.Entry.Path, reason, true);
        arrived = false;
    }
    if (arrived) {
        ++FResult.FilesMoved;
        FResult.BytesMoved += lane.Entry.Size - lane.ResumeAt;
    }
    Settle(lane.Entry);
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

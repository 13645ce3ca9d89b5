// TTreeTransfer: moves a whole folder between the local disk and the server,
// either way, through a TTreeRemote.
//
// Contract:
//  - Run walks the source (and the target, to know what is there), makes the
//    missing folders and moves every file in the walk's stable order. One
//    failed file or folder is reported (OnFailure) and the rest goes on; the
//    result counts what arrived and what did not. Every folder is made
//    before the first file moves; the files then go out in walk order to
//    the remote side's lanes as they become free (one lane: one at a time).
//  - Nothing is written outside the target folder: names that are not safe
//    (see IsSafeEntryName) are left out and reported; links of the target are
//    replaced, never written through or entered; links of a local source are
//    followed, but never back into a folder being walked.
//  - Before a file that exists is replaced, OnExisting chooses (unset:
//    overwrite); an answer with ApplyToAll stands for the rest of the run.
//    A download other than a resume goes to a scratch file beside the target
//    and replaces it only once it arrived whole, so a failed or stopped one
//    never costs the local file.
//  - Stop() ends the run before the next step and asks the lanes to end
//    their files (StopFiles); aborting the file in flight of a synchronous
//    remote is the session's part (its progress hook). The run also ends when the
//    session becomes unusable.
//  - Main thread only; the handlers may pump the message loop.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tree/TreeRemote.h"
#include "tree/TreeTypes.h"
#include "tree/TreeWalk.h"

class TTreeTransfer {
public:
    // Remote must outlive the transfer.
    TTreeTransfer(TTreeRemote& Remote, TTreeOptions Options);

    TTreeResult Run(const std::string& LocalRoot, const std::string& RemoteRoot);
    void Stop();
    bool StopRequested() const { return FStopRequested; }

    std::function<TExistingAnswer(const TExistingFile&)> OnExisting;
    std::function<void(const TTreeProgress&)> OnProgress;
    // Path is relative ("" for the folder itself); Local: the failure is the
    // local disk's (else the server's or the session's).
    std::function<void(const std::string& Path, const std::string& Reason, bool Local)> OnFailure;
    // Something left out on purpose, or removed with Delete.
    std::function<void(const std::string& Path, const std::string& What)> OnNotice;

private:
    void Fail(const std::string& Path, const std::string& Reason, bool Local);
    void Notice(const std::string& Path, const std::string& What);
    void ShowProgress();
    bool Continuing();
    bool MakeTargetRoot(const TTreeWalk& Target);
    // False when the folder could not be made (what it holds is not moved).
    bool MakeFolder(const TTreeEntry& Entry);
    // Hands out the files in walk order to the free lanes until all ended.
    void MoveFiles(const std::vector<TTreeEntry>& Entries);
    // Decides what becomes of Entry and starts it on Lane, or settles it.
    void StartFile(int Lane, const TTreeEntry& Entry);
    void FinishFile(int Lane, bool Ok, const std::string& Error);
    // Entry counts as done (moved, skipped or failed).
    void Settle(const TTreeEntry& Entry);
    bool AnyLaneBusy() const;
    // The choice for an existing target, after ApplyToAll answers.
    TExistingAnswer Ask(const TTreeEntry& Source, const TTreeEntry& Target);
    // "name (N).ext" for the first N free on the target side.
    std::string FreeName(const std::string& Path) const;
    void RemoveMissing(const TTreeWalk& Source, const TTreeWalk& Target);

    // A file on its way, on one lane.
    struct TLane {
        bool Busy = false;
        TTreeEntry Entry;
        std::string Target;       // relative path written on the target side
        std::string Scratch;      // download: the file that becomes the target
        std::int64_t ResumeAt = 0;
        std::int64_t Position = 0;
    };

    TTreeRemote& FRemote;
    TTreeOptions FOptions;
    std::string FLocalRoot, FRemoteRoot;
    std::map<std::string, TTreeEntry> FTarget;  // what the target held, by path
    std::set<std::string> FMade;                // target paths this run wrote
    std::set<std::string> FBlocked;             // folders that could not be made
    bool FHasStandingAnswer = false;
    TExistingAnswer FStandingAnswer;
    std::vector<TLane> FLanes;
    std::int64_t FSettledBytes = 0;             // of the files done
    TTreeProgress FProgress;
    TTreeResult FResult;
    bool FStopRequested = false;
};

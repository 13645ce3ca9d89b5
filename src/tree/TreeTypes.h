// The vocabulary of a folder transfer: what a walk finds, what is asked
// before a file is replaced, and how far the transfer has come.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// One entry below the walked folder. Path is relative to it, its levels
// joined by "/"; each level is a safe name (see IsSafeEntryName).
struct TTreeEntry {
    std::string Path;
    bool IsFolder = false;
    bool IsLink = false;          // a link of the target side, never followed
    std::int64_t Size = 0;        // bytes of a file
    std::time_t Modified = -1;    // -1: not known
};

// What becomes of a file that already exists where a transfer would write.
enum class TExistingChoice { Overwrite, Resume, Skip, Rename };

struct TExistingFile {
    std::string Path;             // relative to the transfer's folders
    std::int64_t SourceSize = 0;
    std::int64_t TargetSize = 0;
    std::time_t SourceModified = -1;
    std::time_t TargetModified = -1;
    // Resume makes sense: the target is smaller and the type is binary.
    bool ResumeOffered = false;
};

struct TExistingAnswer {
    TExistingChoice Choice = TExistingChoice::Overwrite;
    bool ApplyToAll = false;      // the same for every further file of this transfer
};

struct TTreeProgress {
    int FilesDone = 0;            // moved, skipped or failed
    int FilesTotal = 0;
    std::int64_t BytesDone = 0;
    std::int64_t BytesTotal = 0;
    std::string CurrentFile;      // relative path, "" between files
};

struct TTreeOptions {
    bool Upload = false;          // local to remote; else remote to local
    bool Binary = true;           // the session's transfer type (Resume needs it)
    bool OnlyNewer = false;       // leave target files that are not older than the source's
    bool Delete = false;          // remove target entries the source does not have
};

struct TTreeResult {
    int FilesMoved = 0;
    int FilesSkipped = 0;         // by choice or --only-newer
    int Failures = 0;             // files, folders and names that did not arrive
    int Removed = 0;
    std::int64_t BytesMoved = 0;
    bool Stopped = false;         // stopped by the user or the session ended
    bool Complete() const { return Failures == 0 && !Stopped; }
};

// Walking a folder tree on either side into a flat, stably ordered list of
// entries: each folder's entries sorted by name (bytes), a folder before
// what it holds. Names that cannot be stored or sent safely are left out
// and reported, never followed.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "tree/TreeRemote.h"
#include "tree/TreeTypes.h"

// One level of a path that stays inside its folder on both sides: not
// empty, no "/", not "." or "..", no control character (a line break would
// end the FTP command it is sent in).
bool IsSafeEntryName(const std::string& Name);

// Folder + "/" + Name, without doubling a "/" the folder ends in.
std::string JoinTreePath(const std::string& Folder, const std::string& Name);

// Path with " (N)" before its name's extension: "a/b.txt", 2 -> "a/b (2).txt".
// The free name a file gets when the user keeps the one in the way.
std::string NumberedName(const std::string& Path, int N);

// The time of a Unix listing's "Mon DD HH:MM" (in the last twelve months
// before Now, listings being in UTC) or "Mon DD YYYY"; -1 for anything else.
std::time_t ListingTime(const std::string& Modified, std::time_t Now);

struct TTreeWalk {
    struct TIssue {
        std::string Path;
        std::string Reason;
        bool Failure = true;      // something that should have arrived will not
    };
    std::vector<TTreeEntry> Entries;
    std::vector<TIssue> Issues;
    // Every folder was read: only then may entries be removed for missing here.
    bool Complete = true;
    // The root itself was found (a target folder may not exist yet).
    bool RootFound = true;
};

// The local tree at Root. FollowLinks (the source of an upload): a link is
// taken as what it points to, except a link to a folder already being walked
// (a loop), which is reported and left out. Otherwise (the target of a
// download) a link is an entry of its own and never entered.
TTreeWalk WalkLocal(const std::string& Root, bool FollowLinks);

// The remote tree at Root, one LIST per folder. Links are left out and
// reported (where they lead cannot be told from a listing). A Root that
// cannot be listed counts as missing when RootMayBeMissing.
TTreeWalk WalkRemote(TTreeRemote& Remote, const std::string& Root, bool RootMayBeMissing);

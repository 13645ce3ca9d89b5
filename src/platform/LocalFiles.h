// The local file operations of the transfer window's browser: facts about a
// file, and making, removing, deleting and renaming with the safety the user
// expects of a file manager.
//
// Paths are byte strings in the system's own form ("/" separated). Every
// operation works on exactly the path it is given: no wildcards, no search.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

// Size and last-write time of one file system entry.
struct FileFacts {
    int64_t Size = 0;  // bytes for a regular file, 0 for folders and others
    std::time_t LastWrite = 0;
};

// False when nothing is at path (a link is followed; a dangling one counts
// as nothing).
bool GetFileFacts(const std::string& path, FileFacts& facts);

// folder + "/" + name, without doubling the root's "/".
std::string JoinPath(const std::string& folder, const std::string& name);

// The part of path after its last "/" (all of it when it has none).
std::string FileNamePart(const std::string& path);

// One level of a path: not empty, no "/", neither "." nor "..". Only such
// names can be resolved inside a folder without leaving it.
bool IsPlainName(const std::string& name);

// Each answers false when the system refuses.
bool MakeFolder(const std::string& path);
// Removes an empty folder (never a link to one).
bool RemoveFolder(const std::string& path);
// Deletes a file. A write-protected one (no write permission for anyone, the
// read-only attribute of a file manager) is refused, also for root, and so is
// a folder.
bool DeleteFile(const std::string& path);
// Renames, never replacing: an existing target makes it fail. Renaming a
// file to its own name succeeds without touching it.
bool RenameFile(const std::string& from, const std::string& to);

// Creates a new, empty file in folder whose name starts with "." + name (cut
// short when needed, so that the whole name stays within the file system's
// limit), never opening one that exists; answers its path, or "" when none
// could be made.
// A download is written there and only moved over its real name once it has
// arrived whole.
std::string CreateScratchFile(const std::string& folder, const std::string& name);
// Moves a file over to, replacing a file (or a link itself, never what it
// points to) of that name but never a folder.
bool ReplaceFile(const std::string& from, const std::string& to);

}  // namespace platform

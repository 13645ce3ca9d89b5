// Folders of the program: the per-user "Windows folder" that holds the data
// files, and the folder of the program's own executable.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The per-user folder standing in for the system's Windows folder:
// $XDG_CONFIG_HOME/tarnwick-ftp, or ~/.config/tarnwick-ftp when the variable
// is unset or not absolute. Created (mode 0700, parents as needed) on first
// use. Returns the empty text when no such folder can be made. The
// environment is read on every call, so each test may point it elsewhere.
std::string GetWindowsDirectory();

// The folder of the running executable, without a trailing "/".
std::string ApplicationFolder();

// A file that ships with the program ("download.htm"): beside the executable
// when it is there (a build tree, a copied folder), else in the installed
// data folder. When neither holds it, the path beside the executable, so that
// what the caller reports names the usual place.
std::string ShippedFile(const std::string& name);

// The path of name in the first of folders that holds it as a file; in the
// first folder when none does. folders must not be empty.
std::string FirstHolding(const std::vector<std::string>& folders, const std::string& name);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// One name of a folder, with whether it is a folder itself (links count as
// what they point to).
struct FolderEntry {
    std::string Name;
    bool IsFolder = false;
};

// The entries of a folder except "." and "..", in no particular order.
// Raises Exception with the system's reason when the folder cannot be read.
std::vector<FolderEntry> ReadFolder(const std::string& folder);

// The process's current folder, and changing it (raises Exception with the
// system's reason when refused).
std::string CurrentFolder();
void SetCurrentFolder(const std::string& folder);

// An absolute folder path without "." or ".." levels or a trailing "/"
// (except the root); a relative path is taken from the current folder.
std::string NormalFolder(const std::string& path);

}  // namespace platform

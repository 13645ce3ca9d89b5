// Folders of the program: the per-user "Windows folder" that holds the data
// files, and the folder of the program's own executable.
#pragma once

#include <string>

namespace platform {

// The per-user folder standing in for the system's Windows folder:
// $XDG_CONFIG_HOME/tarnwick-ftp, or ~/.config/tarnwick-ftp when the variable
// is unset or not absolute. Created (mode 0700, parents as needed) on first
// use. Returns the empty text when no such folder can be made. The
// environment is read on every call, so each test may point it elsewhere.
std::string GetWindowsDirectory();

// The folder of the running executable, without a trailing "/".
std::string ApplicationFolder();

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

}  // namespace platform

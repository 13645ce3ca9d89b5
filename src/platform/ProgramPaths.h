// The process-wide paths shared by the program's two windows. All data files
// lie in the Windows folder; the path delimiter is "/".
#pragma once

#include <string>

namespace platform {

// The Windows folder as the windows ask for it in their creation handlers.
// Raises Exception when the folder cannot be found or made (the original
// fell back to a fixed drive path, which here would scatter the user's files
// into whatever the current folder happens to be).
std::string GetWindowsFolder();

}  // namespace platform

// Written by the windows' creation handlers (site manager first, then the
// transfer window); read by both.
extern std::string WindowsFolder;
extern std::string SiteFilePath;
extern std::string SettingsFilePath;
extern std::string ListingFile;

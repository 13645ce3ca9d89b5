#include "platform/ProgramPaths.h"

#include "base/Exceptions.h"
#include "platform/Folders.h"

std::string WindowsFolder;
std::string SiteFilePath;
std::string SettingsFilePath;
std::string ListingFile;

namespace platform {

std::string GetWindowsFolder() {
    std::string folder = GetWindowsDirectory();
    if (folder.empty())
        throw Exception("Unable to create the folder for the program's files "
                        "($XDG_CONFIG_HOME/tarnwick-ftp or ~/.config/tarnwick-ftp)");
    return folder;
}

}  // namespace platform

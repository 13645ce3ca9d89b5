#include "platform/Folders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Exceptions.h"
#include "platform/LocalFiles.h"

namespace platform {

namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return {};
}

// mkdir -p; only the last level gets mode 0700, parents get the usual 0755
// (they are shared folders such as ~/.config).
bool MakeFolders(const std::string& path, mode_t leafMode) {
    for (size_t pos = 1; pos < path.size(); ++pos) {
        if (path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    if (mkdir(path.c_str(), leafMode) != 0 && errno != EEXIST) return false;
    return DirectoryExists(path);
}

}  // namespace

std::string GetWindowsDirectory() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const std::string home = HomeFolder();
        if (home.empty()) return {};
        base = home + "/.config";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::string folder = base + "/tarnwick-ftp";
    return MakeFolders(folder, 0700) ? folder : std::string();
}

std::string ApplicationFolder() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ShippedFile(const std::string& name) {
    return FirstHolding({ApplicationFolder(), TARNWICK_DATA_FOLDER}, name);
}

std::string FirstHolding(const std::vector<std::string>& folders, const std::string& name) {
    for (const std::string& folder : folders)
        if (FileExists(JoinPath(folder, name))) return JoinPath(folder, name);
    return JoinPath(folders.front(), name);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<FolderEntry> ReadFolder(const std::string& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) throw Exception("Cannot read the folder " + folder + ": " + std::strerror(errno));
    std::vector<FolderEntry> entries;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        // The kind comes with the entry on most file systems; only a link
        // (followed, as a folder it leads to is a folder) or an unknown kind
        // costs a look at the disk.
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            isFolder = fstatat(dirfd(dir.get()), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({name, isFolder});
    }
    return entries;
}

std::string CurrentFolder() {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::current_path(ec);
    return ec ? std::string("/") : path.string();
}

void SetCurrentFolder(const std::string& folder) {
    if (chdir(folder.c_str()) != 0)
        throw Exception("Cannot open the folder " + folder + ": " + std::strerror(errno));
}

std::string NormalFolder(const std::string& path) {
    std::filesystem::path p(path);
    if (p.is_relative()) p = std::filesystem::path(CurrentFolder()) / p;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

}  // namespace platform

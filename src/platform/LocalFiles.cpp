#include "platform/LocalFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool GetFileFacts(const std::string& path, FileFacts& facts) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return false;
    facts.Size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    facts.LastWrite = st.st_mtime;
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string FileNamePart(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool MakeFolder(const std::string& path) { return !path.empty() && mkdir(path.c_str(), 0777) == 0; }

bool RemoveFolder(const std::string& path) {
    struct stat st {};
    if (path.empty() || lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return rmdir(path.c_str()) == 0;
}

bool DeleteFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    // A link is deleted itself, whatever the mode of what it points to.
    if (!S_ISLNK(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    return unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    struct stat st {};
    if (from == to) return lstat(from.c_str(), &st) == 0;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: look first.
    if (lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

std::string CreateScratchFile(const std::string& folder, const std::string& name) {
    // The longest name the folder's file system takes, asked for only once a
    // name proves too long (a tree of small files would ask once a file).
    size_t nameMax = std::string::npos;
    for (int n = 0; n < 100; ++n) {
        std::string suffix = n == 0 ? std::string() : '.' + std::to_string(n);
        suffix += ".part";
        // A long name is cut so that the dot and the suffix still fit, never
        // inside a UTF-8 character.
        size_t keep = nameMax == std::string::npos ? name.size() : std::min(name.size(), nameMax - 1 - suffix.size());
        while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
        std::string leaf(1, '.');
        leaf.append(name, 0, keep).append(suffix);
        const std::string path = JoinPath(folder, leaf);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            close(fd);
            return path;
        }
        if (errno == ENAMETOOLONG && nameMax == std::string::npos) {
            const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
            nameMax = limit > 0 ? static_cast<size_t>(limit) : 255;
            --n;  // the same suffix again, cut to fit
            continue;
        }
        if (errno != EEXIST) break;
    }
    return "";
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace platform

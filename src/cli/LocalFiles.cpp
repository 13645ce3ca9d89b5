// Local files: temporary files beside a target, checks and copying.
#include "cli/LocalFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TTempFile::TTempFile(const std::string& Folder, const std::string& Stem) {
    std::string folder = Folder;
    if (folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        folder = tmp && *tmp ? tmp : "/tmp";
    }
    std::string pattern = folder + "/" + Stem + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        FError = "cannot create a file in " + folder + ": " + std::strerror(errno);
        return;
    }
    // mkstemp makes the file 0600; a download should get the usual mode.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    FPath = name.data();
}

TTempFile::~TTempFile() {
    if (!FPath.empty()) unlink(FPath.c_str());
}

bool TTempFile::MoveTo(const std::string& Target) {
    if (rename(FPath.c_str(), Target.c_str()) != 0) {
        FError = "cannot store " + Target + ": " + std::strerror(errno);
        return false;
    }
    FPath.clear();
    return true;
}

std::string BaseName(const std::string& Path) {
    std::size_t slash = Path.find_last_of('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string FolderOf(const std::string& Path) {
    std::size_t slash = Path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

std::int64_t RegularFileSize(const std::string& Path) {
    struct stat st {};
    if (stat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool IsFolder(const std::string& Path) {
    struct stat st {};
    return stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& Path) {
    struct stat st {};
    return lstat(Path.c_str(), &st) == 0;
}

bool CheckReadable(const std::string& Path, std::string& Error) {
    int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    if (!regular) Error = S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file";
    return regular;
}

bool CopyToStdout(const std::string& Path, std::string& Error) {
    int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Error = std::string("cannot read the downloaded data: ") + std::strerror(errno);
        return false;
    }
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            if (!ok) Error = std::string("cannot read the downloaded data: ") + std::strerror(errno);
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(STDOUT_FILENO, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                Error = std::string("cannot write standard output: ") + std::strerror(errno);
                close(fd);
                return false;
            }
            done += w;
        }
    }
    close(fd);
    return ok;
}

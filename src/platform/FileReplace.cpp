#include "platform/FileReplace.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool ReplaceFileContent(const std::string& name, const std::string& content, mode_t mode, TExistingMode existing) {
    bool forceMode = existing == TExistingMode::Replace;
    struct stat st {};
    if (stat(name.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            return false;
        }
        if (existing == TExistingMode::Keep) {
            mode = st.st_mode & 07777;
            forceMode = true;
        }
    }
    const std::string temp = name + ".tmp";
    if (unlink(temp.c_str()) != 0 && errno != ENOENT) return false;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return false;
    // open() takes the umask off; fchmod() gives the mode asked for.
    bool ok = (!forceMode || fchmod(fd, mode) == 0) && WriteAll(fd, content) && fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temp.c_str(), name.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        errno = error;
    }
    return ok;
}

}  // namespace platform

#include "platform/RecordFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

TRecordFile::TRecordFile(std::string path, std::size_t recordSize)
    : FilePath(std::move(path)), RecordSize(recordSize) {}

TRecordFile::~TRecordFile() { Close(); }

void TRecordFile::Fail(const std::string& what, int err) const {
    std::string message = "I/O error: " + what + " " + FilePath;
    if (err != 0) message += " (" + std::string(std::strerror(err)) + ")";
    throw EInOutError(message);
}

void TRecordFile::RequireOpen() const {
    if (Fd < 0) Fail("file not open:", 0);
}

void TRecordFile::Reset() {
    Close();
    Fd = open(FilePath.c_str(), O_RDWR | O_CLOEXEC);
    if (Fd < 0) Fail("cannot open", errno);
    Position = 0;
}

void TRecordFile::Rewrite(mode_t mode) {
    Close();
    Fd = open(FilePath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (Fd < 0) Fail("cannot create", errno);
    Position = 0;
}

void TRecordFile::Close() {
    if (Fd >= 0) close(Fd);
    Fd = -1;
}

std::int64_t TRecordFile::ByteSize() const {
    RequireOpen();
    struct stat st {};
    if (fstat(Fd, &st) != 0) Fail("cannot read the size of", errno);
    return st.st_size;
}

std::int64_t TRecordFile::FileSize() const {
    return ByteSize() / static_cast<std::int64_t>(RecordSize);
}

void TRecordFile::Seek(std::int64_t recordIndex) {
    RequireOpen();
    if (recordIndex < 0 || recordIndex > FileSize()) Fail("seek outside", 0);
    Position = recordIndex;
}

void TRecordFile::Read(void* record) {
    RequireOpen();
    if (Position >= FileSize()) Fail("read beyond the last whole record of", 0);
    auto* out = static_cast<char*>(record);
    std::size_t done = 0;
    const off_t base = static_cast<off_t>(Position) * static_cast<off_t>(RecordSize);
    while (done < RecordSize) {
        const ssize_t n = pread(Fd, out + done, RecordSize - done, base + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("cannot read", errno);
        if (n == 0) Fail("read beyond the end of", 0);
        done += static_cast<std::size_t>(n);
    }
    ++Position;
}

void TRecordFile::Write(const void* record) {
    RequireOpen();
    const auto* in = static_cast<const char*>(record);
    std::size_t done = 0;
    const off_t base = static_cast<off_t>(Position) * static_cast<off_t>(RecordSize);
    while (done < RecordSize) {
        const ssize_t n = pwrite(Fd, in + done, RecordSize - done, base + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("cannot write", n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    ++Position;
}

}  // namespace platform

#include "ftp/FtpLocalFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr std::size_t kWriteBlock = 64 * 1024;
constexpr std::size_t kReadBlock = 256 * 1024;

std::int64_t MtimeNs(const struct stat& Info) {
    return static_cast<std::int64_t>(Info.st_mtim.tv_sec) * 1000000000 + Info.st_mtim.tv_nsec;
}
}  // namespace

TFtpLocalFile::~TFtpLocalFile() {
    Flush();
    ::close(Fd);
}

TFtpLocalFile* TFtpLocalFile::Open(const std::string& Name, int Flags, std::int64_t Offset) {
    if (Name.empty()) return nullptr;
    int fd = ::open(Name.c_str(), Flags | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    struct stat info {};
    // A folder opens for reading but is no file to transfer.
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) ||
        (Offset > 0 && ::lseek(fd, static_cast<off_t>(Offset), SEEK_SET) < 0)) {
        ::close(fd);
        return nullptr;
    }
    auto* file = new TFtpLocalFile(fd);
    file->OpenSize = static_cast<std::int64_t>(info.st_size);
    file->OpenMtimeNs = MtimeNs(info);
    file->ReadEnd = Offset > 0 ? Offset : 0;
    file->Regular = S_ISREG(info.st_mode);
    return file;
}

// Truncates only a file that holds bytes: ext4 takes any truncation to zero
// for a replace and flushes the new content at close, a stall of a third of
// a second per 512 MiB for the empty part file a download reserved.
TFtpLocalFile* TFtpLocalFile::Create(const std::string& Name) {
    TFtpLocalFile* file = Open(Name, O_WRONLY | O_CREAT, 0);
    if (!file) return nullptr;
    // Open has read the size already.
    if (file->OpenSize > 0 && ::ftruncate(file->Fd, 0) != 0) {
        delete file;
        return nullptr;
    }
    return file;
}

TFtpLocalFile* TFtpLocalFile::OpenForWriteAt(const std::string& Name, std::int64_t Offset) {
    return Open(Name, O_WRONLY, Offset);
}

TFtpLocalFile* TFtpLocalFile::OpenForReadAt(const std::string& Name, std::int64_t Offset) {
    return Open(Name, O_RDONLY, Offset);
}

bool TFtpLocalFile::Write(const void* Data, int Len) {
    if (Len <= 0) return true;
    Pending.append(static_cast<const char*>(Data), static_cast<std::size_t>(Len));
    return Pending.size() < kWriteBlock || Flush();
}

bool TFtpLocalFile::Flush() {
    if (Pending.empty()) return true;
    const bool ok = WriteAll(Pending.data(), Pending.size());
    Pending.clear();  // never written twice, also after a failure
    return ok;
}

bool TFtpLocalFile::WriteAll(const char* Data, std::size_t Len) {
    while (Len > 0) {
        ssize_t n = ::write(Fd, Data, Len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        Data += n;
        Len -= static_cast<std::size_t>(n);
    }
    return true;
}

int TFtpLocalFile::Read(void* Buffer, int Len) {
    if (Len <= 0) return 0;
    // Uploads take 1,460 bytes at a time: serve them from a 256 KiB block.
    if (AheadPos == AheadLen) {
        if (!Ahead) Ahead.reset(new char[kReadBlock]);
        ssize_t n;
        do {
            n = ::read(Fd, Ahead.get(), kReadBlock);
        } while (n < 0 && errno == EINTR);
        AheadPos = 0;
        AheadLen = n > 0 ? static_cast<std::size_t>(n) : 0;
        if (n <= 0) return n < 0 ? -1 : 0;
    }
    const std::size_t take = std::min(static_cast<std::size_t>(Len), AheadLen - AheadPos);
    std::memcpy(Buffer, Ahead.get() + AheadPos, take);
    AheadPos += take;
    ReadEnd += static_cast<std::int64_t>(take);
    return static_cast<int>(take);
}

bool TFtpLocalFile::ChangedWhileRead() const {
    if (!Regular) return false;
    struct stat info {};
    if (::fstat(Fd, &info) != 0) return true;
    return static_cast<std::int64_t>(info.st_size) != OpenSize || MtimeNs(info) != OpenMtimeNs ||
           ReadEnd != OpenSize;
}

// Typed-record file access: a file seen as a sequence of fixed-size records,
// opened for one operation and closed at its end.
//
// Contract:
//  - Positions and sizes count whole records. A trailing part shorter than a
//    record is not a record: FileSize() ignores it and Read() never returns it.
//  - Every failure (open, read past the last whole record, position, write,
//    full disk) raises EInOutError naming the file; nothing is retried.
//  - Writes go in place at the current position (the file's format needs
//    record-level updates, so it is never rewritten as a whole).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

#include "base/Exceptions.h"

class EInOutError : public Exception {
public:
    using Exception::Exception;
};

namespace platform {

class TRecordFile {
public:
    TRecordFile(std::string path, std::size_t recordSize);
    ~TRecordFile();
    TRecordFile(const TRecordFile&) = delete;
    TRecordFile& operator=(const TRecordFile&) = delete;

    // Opens an existing file for reading and writing at record 0.
    void Reset();
    // Creates the file empty (truncating one that exists) with the given mode.
    void Rewrite(mode_t mode);
    void Close();
    bool IsOpen() const { return Fd >= 0; }

    void Read(void* record);
    void Write(const void* record);
    void Seek(std::int64_t recordIndex);
    std::int64_t FilePos() const { return Position; }
    // Number of whole records in the file.
    std::int64_t FileSize() const;
    // Size of the file in bytes (to tell a damaged tail apart).
    std::int64_t ByteSize() const;
    bool Eof() const { return Position >= FileSize(); }

    const std::string& Path() const { return FilePath; }

private:
    [[noreturn]] void Fail(const std::string& what, int err) const;
    void RequireOpen() const;

    std::string FilePath;
    std::size_t RecordSize;
    int Fd = -1;
    std::int64_t Position = 0;
};

}  // namespace platform

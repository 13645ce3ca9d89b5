// TFtpLocalFile: the local file of one transfer, opened at the start of the
// data step and closed (by destruction) before the request completes.
//
// Contract: bytes go to and from the file exactly as they travel on the data
// connection, at 64-bit offsets. Every call reports failure by its result and
// never throws. Writes are gathered into blocks of 64 KiB (one system call per
// block instead of one per network read); Flush stores what is gathered and
// reports its failure, and destruction stores it as far as it can, so a
// transfer cut short keeps every byte that arrived. The share word
// of the engine has no counterpart on this platform: files are opened without
// locks, which is what ftpShareDenyNone asks for and what every other mode
// allows to the engine itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TFtpLocalFile {
public:
    ~TFtpLocalFile();
    TFtpLocalFile(const TFtpLocalFile&) = delete;
    TFtpLocalFile& operator=(const TFtpLocalFile&) = delete;

    // Creates Name empty (truncating a file that exists) for writing.
    static TFtpLocalFile* Create(const std::string& Name);
    // Opens an existing Name for writing at Offset, without truncating it.
    static TFtpLocalFile* OpenForWriteAt(const std::string& Name, std::int64_t Offset);
    // Opens an existing Name for reading from Offset.
    static TFtpLocalFile* OpenForReadAt(const std::string& Name, std::int64_t Offset);

    // Takes all Len bytes; false on any failure (a full disk included) of
    // storing them or bytes gathered before them.
    bool Write(const void* Data, int Len);
    // Stores the gathered bytes; false on failure.
    bool Flush();
    // Reads up to Len bytes (from a 64 KiB block read ahead); 0 at the end of
    // the file, -1 on failure.
    int Read(void* Buffer, int Len);
    // Asked once Read has returned 0, of a regular file opened for reading:
    // its size or modification time now differ from those at the open, or
    // the reads ended elsewhere than at the size known then. The bytes read
    // may then be no version of the file at all.
    bool ChangedWhileRead() const;

private:
    explicit TFtpLocalFile(int Fd) : Fd(Fd) {}
    static TFtpLocalFile* Open(const std::string& Name, int Flags, std::int64_t Offset);
    bool WriteAll(const char* Data, std::size_t Len);

    int Fd;
    std::string Pending;  // gathered bytes not yet written
    // Bytes read from the file, not yet handed out: [AheadPos, AheadLen) of a
    // block made at the first read and never cleared (a string grown to the
    // block's size zeroed 256 KiB twice per file, a cost per small file).
    std::unique_ptr<char[]> Ahead;
    std::size_t AheadPos = 0;
    std::size_t AheadLen = 0;
    // What the file was at the open: size, modification time, and the offset
    // reading started from plus the bytes read since.
    std::int64_t OpenSize = 0;
    std::int64_t OpenMtimeNs = 0;
    std::int64_t ReadEnd = 0;
    bool Regular = false;
};

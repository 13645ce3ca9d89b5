// The saved-site file "TARN25.DAT": a sequence of 389-byte records, created
// once with 300 blank records, never grown or shrunk.
//
// Every operation opens the file, works through SiteBuffer (the one record
// held in memory) and closes it again. Reading a record overwrites the whole
// buffer; the window's setters change only their fields, so bytes a write
// does not set keep what the last read left there.
//
// The scans stop as soon as the record just read is the file's last one,
// without using it: the last record is never matched nor filled, so the file
// holds at most one site fewer than it has records. Only LoadAll reads it.
//
// Failures (open, read, write, a file without one whole record) raise
// EInOutError. A stray tail shorter than a record is never read or written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sites/SiteRecord.h"

class TSiteFile {
public:
    static constexpr int kCreatedRecords = 300;

    std::string Path;
    TSiteRecord SiteBuffer;

    bool Exists() const;
    // Creates the file with 300 blank records, readable by its owner only (it
    // holds passwords).
    void Create();
    // Reads every record, the last one included, and hands each used one to
    // `each`. Returns the number of stray bytes after the last whole record.
    std::int64_t LoadAll(const std::function<void(const TSiteRecord&)>& each);
    // The first record (before the last) whose name is exactly `name`, left
    // in SiteBuffer; -1 when none.
    int FindByName(const std::string& name);

    enum TFreeResult { frFree, frFull, frDuplicate };
    // The first free record before the last one (its index in `index`, its
    // bytes in SiteBuffer); frDuplicate when an earlier record's name equals
    // `name` ignoring blanks around it and the case of a-z; frFull when the
    // scan reaches the last record.
    TFreeResult FindFreeRecord(const std::string& name, int& index);
    // Writes SiteBuffer as record `index`.
    void WriteRecord(int index);
};

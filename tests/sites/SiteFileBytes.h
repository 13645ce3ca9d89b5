// Site records built by hand from the byte layout of "TARN25.DAT", so the
// tests check the program against the format rather than against itself.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include "TestFiles.h"

constexpr size_t kRec = 389;

inline std::string BlankRecord() {
    std::string r(kRec, '\0');
    for (size_t i = 364; i < kRec; ++i) r[i] = '?';
    return r;
}

inline void PutField(std::string& r, size_t offset, const std::string& s) {
    r[offset] = static_cast<char>(s.size());
    r.replace(offset + 1, s.size(), s);
}

inline std::string HandRecord(const std::string& name, const std::string& host, const std::string& user,
                              const std::string& comments, const std::string& passwordBytes) {
    std::string r = BlankRecord();
    PutField(r, 0, name);
    PutField(r, 31, host);
    PutField(r, 287, user);
    PutField(r, 313, comments);
    for (size_t i = 0; i < 25; ++i) r[364 + i] = i < passwordBytes.size() ? passwordBytes[i] : '?';
    return r;
}

inline std::string ReadBytes(const std::string& path) { return ReadLocal(path); }

inline void WriteBytes(const std::string& path, const std::string& bytes) { WriteLocal(path, bytes); }

inline std::string RecordAt(const std::string& file, size_t index) { return file.substr(index * kRec, kRec); }

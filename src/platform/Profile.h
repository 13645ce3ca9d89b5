// Private profile ("INI") files, read and written key by key with no caching.
//
// Format: a plain text file of "[Section]" lines and "key=value" lines with
// LF line ends (CR LF is accepted on reading). Section and key lookup ignore
// the case of a-z; values are read with surrounding blanks removed. Sections
// and keys keep the order in which they were first written, and a write adds
// no blank lines.
//
// Contract:
//  - Every call reads the file anew; a missing file or key gives the default.
//  - The file name must be a full path: an empty or relative one reads as a
//    missing file and refuses every write, so nothing lands in the current
//    folder.
//  - A write replaces the file whole (platform/FileReplace.h), so it is never
//    left half-written; the file keeps its mode, a new one gets 0644 less the
//    umask. It returns false when the system refuses (the caller reports it).
//  - Single-threaded use per file.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The value of key in section, trimmed and cut to size - 1 characters (as the
// original copied it into a buffer of that size), or defaultValue.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName,
                                    std::size_t size = 2048);

// Sets key in section to value: an existing key (first one, any case) gets
// the new value in place, keeping its spelling; a new key goes after the last line of its section, a new
// section at the end of the file.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName);

}  // namespace platform

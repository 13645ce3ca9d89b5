// TSettingsFile: the window's settings file "TarnFtp.ini", read and written
// key by key (every call goes to the file; nothing is cached).
//
//  - Reads never fail: a missing file or key gives the default. Values are
//    read with room for 2047 characters.
//  - Booleans are written "1" / "0"; read, a value whose integer reading is
//    not 0 is true, and a missing or non-numeric one gives the default.
//  - A write the system refuses raises Exception "Unable to write to " + Path.
//  - With no Path (no per-user folder could be made, which the window has
//    reported) reads give the defaults and writes are skipped.
#pragma once

#include <string>

class TSettingsFile {
public:
    std::string Path;

    std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value) const;
    void WriteBool(const std::string& section, const std::string& key, bool value) const;
};

// The integer reading of a value: optional sign and decimal digits, or a
// hexadecimal number written "$1F" or "0x1F"; false when it is not a number.
bool ReadInteger(const std::string& text, long long& value);

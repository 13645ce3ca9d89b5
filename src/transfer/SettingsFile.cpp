#include "transfer/SettingsFile.h"

#include <cerrno>
#include <cstdlib>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "platform/Profile.h"

std::string TSettingsFile::ReadString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const {
    return platform::GetPrivateProfileString(section, key, defaultValue, Path, 2048);
}

bool TSettingsFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
    long long value = 0;
    if (!ReadInteger(ReadString(section, key, ""), value)) return defaultValue;
    return value != 0;
}

void TSettingsFile::WriteString(const std::string& section, const std::string& key, const std::string& value) const {
    if (Path.empty()) return;
    if (!platform::WritePrivateProfileString(section, key, value, Path))
        throw Exception(Format("Unable to write to %s", Path.c_str()));
}

void TSettingsFile::WriteBool(const std::string& section, const std::string& key, bool value) const {
    WriteString(section, key, value ? "1" : "0");
}

bool ReadInteger(const std::string& text, long long& value) {
    const std::string t = Trim(text);
    size_t pos = 0;
    bool negative = false;
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) negative = t[pos++] == '-';
    int base = 10;
    if (t.compare(pos, 1, "$") == 0) {
        base = 16;
        pos += 1;
    } else if (t.compare(pos, 2, "0x") == 0 || t.compare(pos, 2, "0X") == 0) {
        base = 16;
        pos += 2;
    }
    const std::string digits = t.substr(pos);
    if (digits.empty() || digits.find_first_of("+- ") != std::string::npos) return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(digits.c_str(), &end, base);
    if (errno != 0 || end == nullptr || *end != '\0') return false;
    value = negative ? -parsed : parsed;
    return true;
}

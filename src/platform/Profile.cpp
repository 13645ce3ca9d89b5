#include "platform/Profile.h"

#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "base/Strings.h"
#include "platform/FileReplace.h"

namespace platform {

namespace {

// Only a full path names a settings file: an empty or relative one would be
// read or written wherever the current folder happens to be.
bool IsFullPath(const std::string& fileName) { return !fileName.empty() && fileName.front() == '/'; }

std::vector<std::string> ReadLines(const std::string& fileName) {
    std::vector<std::string> lines;
    if (!IsFullPath(fileName)) return lines;
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The name of a "[Section]" line, or nothing for other lines.
std::optional<std::string> SectionOf(const std::string& line) {
    const std::string t = Trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const size_t close = t.find(']');
    return Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

// The key of a "key=value" line, or nothing.
std::optional<std::string> KeyOf(const std::string& line) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return Trim(line.substr(0, eq));
}

struct Location {
    std::optional<size_t> sectionLine;  // the "[Section]" line
    size_t sectionEnd = 0;              // one past the section's last non-blank line
    std::optional<size_t> keyLine;
};

Location Find(const std::vector<std::string>& lines, const std::string& section, const std::string& key) {
    Location loc;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionOf(lines[i])) {
            if (inSection) break;
            inSection = SameText(*name, section);
            if (inSection) {
                loc.sectionLine = i;
                loc.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection) continue;
        if (!Trim(lines[i]).empty()) loc.sectionEnd = i + 1;
        if (!loc.keyLine) {
            if (auto k = KeyOf(lines[i]); k && SameText(*k, key)) loc.keyLine = i;
        }
    }
    return loc;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName,
                                    std::size_t size) {
    const std::vector<std::string> lines = ReadLines(fileName);
    const Location loc = Find(lines, section, key);
    std::string value = defaultValue;
    if (loc.keyLine) {
        const std::string& line = lines[*loc.keyLine];
        value = Trim(line.substr(line.find('=') + 1));
    }
    if (size == 0) return {};
    if (value.size() > size - 1) value.resize(size - 1);
    return value;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName) {
    if (!IsFullPath(fileName)) return false;
    // A line break inside a name or value would turn into lines of its own.
    for (const std::string* s : {&section, &key, &value})
        if (s->find_first_of("\r\n") != std::string::npos) return false;
    std::vector<std::string> lines = ReadLines(fileName);
    const Location loc = Find(lines, section, key);
    const std::string entry = key + "=" + value;
    if (loc.keyLine) {
        // The key keeps the spelling it was first written with.
        std::string& line = lines[*loc.keyLine];
        line = line.substr(0, line.find('=')) + "=" + value;
    } else if (loc.sectionLine) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(loc.sectionEnd), entry);
    } else {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    std::ostringstream out;
    for (const std::string& line : lines) out << line << '\n';
    return ReplaceFileContent(fileName, out.str(), 0644, TExistingMode::Keep);
}

}  // namespace platform

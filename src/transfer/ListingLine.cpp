#include "transfer/ListingLine.h"

#include <algorithm>

#include "platform/LocalFiles.h"

std::vector<std::string> SplitListingLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;  // a line has begun and not yet ended
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == 26) break;
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(std::move(line));
            line.clear();
            open = false;
            continue;
        }
        line += c;
        open = true;
    }
    if (open) lines.push_back(std::move(line));
    return lines;
}

namespace {

// Moves pos past the characters up to the next space, returning them.
std::string TakeField(const std::string& line, size_t& pos) {
    const size_t end = std::min(line.find(' ', pos), line.size());
    std::string field = line.substr(pos, end - pos);
    pos = end;
    return field;
}

void SkipSpaces(const std::string& line, size_t& pos) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Moves pos past a run of digits whose length is within [least, most];
// false (pos unchanged) when the run is shorter or longer.
bool TakeDigits(const std::string& line, size_t& pos, size_t least, size_t most) {
    size_t end = pos;
    while (end < line.size() && IsDigit(line[end])) ++end;
    if (end - pos < least || end - pos > most) return false;
    pos = end;
    return true;
}

bool TakeChar(const std::string& line, size_t& pos, char c) {
    if (pos >= line.size() || line[pos] != c) return false;
    ++pos;
    return true;
}

// Moves pos past one or more spaces; false when none is there.
bool TakeSpaces(const std::string& line, size_t& pos) {
    const size_t start = pos;
    SkipSpaces(line, pos);
    return pos > start;
}

// A size as a Windows server writes it: digits, perhaps grouped by
// thousands ("1,234,567"). Moves pos past it and returns the bare digits; ""
// (pos unchanged) when no such size is there.
std::string TakeDosSize(const std::string& line, size_t& pos) {
    size_t end = pos;
    if (!TakeDigits(line, end, 1, std::string::npos)) return "";
    std::string digits = line.substr(pos, end - pos);
    const bool grouped = digits.size() <= 3 && end < line.size() && line[end] == ',';
    while (grouped && end < line.size() && line[end] == ',') {
        size_t group = end + 1;
        if (!TakeDigits(line, group, 3, 3)) return "";
        digits += line.substr(end + 1, 3);
        end = group;
    }
    pos = end;
    return digits;
}

// The folder marks of a DOS line: plain folders, junctions and links to folders.
constexpr const char* kDosFolderMarks[] = {"<DIR>", "<JUNCTION>", "<SYMLINKD>"};
// The mark and its padding fill 14 columns, one space follows: a name's own
// leading spaces come after that.
constexpr size_t kDosMarkColumns = 15;

// The DOS style of Windows servers, "MM-DD-YY[YY]  HH:MM[AM|PM]  <DIR>|size
// name". True when the line has that layout up to the name; then row has
// the folder mark, size ("" for a folder) and "date time", and pos is where
// the name begins. Any other line is left to the Unix cutting. A size is
// right-aligned and followed by one space, a mark is padded to a fixed
// width: spaces beyond those belong to the name. A junction or link shows
// its target as " [target]" after the name, which is not part of it.
bool CutDosLayout(const std::string& line, TListingRow& row, size_t& pos, bool& hasTarget) {
    pos = 0;
    hasTarget = false;
    if (!TakeDigits(line, pos, 2, 2) || !TakeChar(line, pos, '-') || !TakeDigits(line, pos, 2, 2) ||
        !TakeChar(line, pos, '-') || !TakeDigits(line, pos, 2, 4) || pos == 9)
        return false;
    const std::string date = line.substr(0, pos);
    if (!TakeSpaces(line, pos)) return false;
    const size_t timeStart = pos;
    if (!TakeDigits(line, pos, 1, 2) || !TakeChar(line, pos, ':') || !TakeDigits(line, pos, 2, 2)) return false;
    if (pos + 1 < line.size() && (line[pos] == 'A' || line[pos] == 'P' || line[pos] == 'a' || line[pos] == 'p') &&
        (line[pos + 1] == 'M' || line[pos + 1] == 'm'))
        pos += 2;
    const std::string time = line.substr(timeStart, pos - timeStart);
    if (!TakeSpaces(line, pos)) return false;
    const char* mark = nullptr;
    for (const char* candidate : kDosFolderMarks)
        if (line.compare(pos, std::char_traits<char>::length(candidate), candidate) == 0) mark = candidate;
    if (mark) {
        const size_t markStart = pos;
        pos += std::char_traits<char>::length(mark);
        if (!TakeSpaces(line, pos)) return false;
        pos = std::min(pos, markStart + kDosMarkColumns);
        row.IsFolder = 1;
        hasTarget = mark != kDosFolderMarks[0];
    } else {
        row.Size = TakeDosSize(line, pos);
        if (row.Size.empty() || !TakeChar(line, pos, ' ')) return false;
    }
    row.Modified = date + " " + time;
    return true;
}

}  // namespace

bool ParseListingLine(const std::string& line, TListingRow& row) {
    if (std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) <= 32; }))
        return false;
    row = TListingRow{};
    size_t pos = 0;
    bool hasTarget = false;
    if (CutDosLayout(line, row, pos, hasTarget)) {
        row.Name = line.substr(pos);
        const size_t target = hasTarget ? row.Name.rfind(" [") : std::string::npos;
        if (target != std::string::npos && row.Name.back() == ']') row.Name.erase(target);
        return !row.Name.empty() && row.Name != "." && row.Name != "..";
    }
    row = TListingRow{};
    pos = 0;
    const char first = line[0];
    row.IsLink = first == 'l' || first == 'L';
    row.IsFolder = (row.IsLink || first == 'd' || first == 'D') ? 1 : 0;

    for (int field = 1; field <= 4; ++field) {
        TakeField(line, pos);
        SkipSpaces(line, pos);
    }
    row.Size = TakeField(line, pos);
    SkipSpaces(line, pos);
    const std::string month = TakeField(line, pos);
    SkipSpaces(line, pos);
    const std::string day = TakeField(line, pos);
    SkipSpaces(line, pos);
    const std::string time = TakeField(line, pos);
    SkipSpaces(line, pos);
    row.Name = line.substr(pos);
    row.Modified = month + " " + day + " " + time;
    return !row.Name.empty() && row.Name != "." && row.Name != "..";
}

bool IsSafeListingRow(const TListingRow& row) {
    if (row.Name.find('\0') != std::string::npos) return false;
    const size_t arrow = row.IsLink ? row.Name.find(" -> ") : std::string::npos;
    return platform::IsPlainName(row.Name.substr(0, arrow));
}

#include "ftp/ListingLine.h"

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

// The DOS style of Windows servers, "MM-DD-YY[YY]  HH:MM[AM|PM]  <DIR>|size
// name". True when the line has that layout up to the name; then row has
// the folder mark, size ("" for a folder) and "date time", and pos is where
// the name begins. Any other line is left to the Unix cutting.
bool CutDosLayout(const std::string& line, TListingRow& row, size_t& pos) {
    pos = 0;
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
    if (line.compare(pos, 5, "<DIR>") == 0) {
        pos += 5;
        row.IsFolder = 1;
    } else {
        const size_t sizeStart = pos;
        if (!TakeDigits(line, pos, 1, std::string::npos)) return false;
        row.Size = line.substr(sizeStart, pos - sizeStart);
    }
    if (!TakeChar(line, pos, ' ')) return false;
    SkipSpaces(line, pos);
    row.Modified = date + " " + time;
    return true;
}

}  // namespace

bool ParseListingLine(const std::string& line, TListingRow& row) {
    if (std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) <= 32; }))
        return false;
    row = TListingRow{};
    size_t pos = 0;
    if (CutDosLayout(line, row, pos)) {
        row.Name = line.substr(pos);
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

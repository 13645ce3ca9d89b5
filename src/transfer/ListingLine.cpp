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

}  // namespace

bool ParseListingLine(const std::string& line, TListingRow& row) {
    if (std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) <= 32; }))
        return false;
    row = TListingRow{};
    const char first = line[0];
    row.IsLink = first == 'l' || first == 'L';
    row.IsFolder = (row.IsLink || first == 'd' || first == 'D') ? 1 : 0;

    size_t pos = 0;
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

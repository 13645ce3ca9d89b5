#include "ftp/FtpParse.h"

#include <limits>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::int64_t ParseInteger(std::string_view Text, std::size_t& Pos) {
    while (Pos < Text.size() && IsBlank(Text[Pos])) ++Pos;
    bool negative = false;
    if (Pos < Text.size() && (Text[Pos] == '+' || Text[Pos] == '-')) {
        negative = Text[Pos] == '-';
        ++Pos;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    while (Pos < Text.size() && Text[Pos] >= '0' && Text[Pos] <= '9') {
        int digit = Text[Pos] - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
        ++Pos;
    }
    return negative ? -value : value;
}

std::string ParseQuotedString(std::string_view Text, std::size_t Pos) {
    while (Pos < Text.size() && IsBlank(Text[Pos])) ++Pos;
    if (Pos >= Text.size() || Text[Pos] != '"') return {};
    std::string result;
    for (++Pos; Pos < Text.size(); ++Pos) {
        if (Text[Pos] == '"') {
            if (Pos + 1 < Text.size() && Text[Pos + 1] == '"') {
                result += '"';
                ++Pos;
                continue;
            }
            break;
        }
        result += Text[Pos];
    }
    return result;
}

bool PasvDataPort(const std::string& Reply, int& DataPort) {
    std::size_t pos = Reply.find('(');
    if (pos == std::string::npos) return false;
    int numbers[6];
    ++pos;
    for (int i = 0; i < 6; ++i) {
        std::size_t start = pos;
        long value = 0;
        while (pos < Reply.size() && Reply[pos] >= '0' && Reply[pos] <= '9' && value <= 65535)
            value = value * 10 + (Reply[pos++] - '0');
        if (pos == start || value > 255) return false;
        numbers[i] = static_cast<int>(value);
        const char separator = i < 5 ? ',' : ')';
        if (pos >= Reply.size() || Reply[pos] != separator) return false;
        ++pos;
    }
    DataPort = (numbers[4] * 256 + numbers[5]) % 65536;
    return DataPort != 0;
}

bool EpsvDataPort(const std::string& Reply, int& DataPort) {
    std::size_t pos = Reply.find('(');
    if (pos == std::string::npos || pos + 5 > Reply.size()) return false;
    const char d = Reply[pos + 1];
    if (d < 33 || d > 126 || Reply[pos + 2] != d || Reply[pos + 3] != d) return false;
    pos += 4;
    long value = 0;
    const std::size_t start = pos;
    while (pos < Reply.size() && Reply[pos] >= '0' && Reply[pos] <= '9' && value <= 65535)
        value = value * 10 + (Reply[pos++] - '0');
    if (pos == start || value < 1 || value > 65535) return false;
    if (pos + 1 >= Reply.size() || Reply[pos] != d || Reply[pos + 1] != ')') return false;
    DataPort = static_cast<int>(value);
    return true;
}

bool PassiveDataPort(const std::string& Reply, int& DataPort) {
    return Reply.compare(0, 3, "229") == 0 ? EpsvDataPort(Reply, DataPort) : PasvDataPort(Reply, DataPort);
}

#include "toolkit/Text.h"

QString CutToUtf8Bytes(const QString& s, std::size_t maxBytes) {
    std::size_t bytes = 0;
    qsizetype i = 0;
    while (i < s.size()) {
        const char32_t c = s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()
                               ? QChar::surrogateToUcs4(s.at(i), s.at(i + 1))
                               : s.at(i).unicode();
        const std::size_t len = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + len > maxBytes) break;
        bytes += len;
        i += c >= 0x10000 ? 2 : 1;
    }
    return s.left(i);
}

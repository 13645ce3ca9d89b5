// Unix long-listing lines for SFTP folder entries.
#include "sftp/SftpListing.h"

#include <cstdio>

namespace {

char TypeLetter(unsigned long Mode) {
    switch (Mode & 0170000) {
        case 0040000: return 'd';
        case 0120000: return 'l';
        case 0020000: return 'c';
        case 0060000: return 'b';
        case 0010000: return 'p';
        case 0140000: return 's';
        default: return '-';
    }
}

std::string ModeText(const TSftpEntry& Entry) {
    if (!Entry.HasPermissions) return "-rw-r--r--";
    const unsigned long m = Entry.Permissions;
    std::string text(10, '-');
    text[0] = TypeLetter(m);
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (m & (1ul << (8 - i))) text[static_cast<std::size_t>(i + 1)] = letters[i];
    if (m & 04000) text[3] = (m & 0100) ? 's' : 'S';
    if (m & 02000) text[6] = (m & 010) ? 's' : 'S';
    if (m & 01000) text[9] = (m & 01) ? 't' : 'T';
    return text;
}

bool SafeName(const std::string& Name) {
    if (Name.empty() || Name == "." || Name == ".." || Name[0] == ' ') return false;
    for (char c : Name)
        if (c == '/' || c == '\n' || c == '\r' || c == '\0') return false;
    return true;
}

}  // namespace

bool SftpListingLine(const TSftpEntry& Entry, std::time_t Now, std::string& Line) {
    if (!SafeName(Entry.Name)) return false;
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    const std::time_t when = Entry.HasTime ? Entry.Modified : 0;
    localtime_r(&when, &tm);
    char date[32];
    constexpr std::time_t kHalfYear = 182 * 24 * 3600;
    if (when <= Now + 3600 && Now - when < kHalfYear)
        std::snprintf(date, sizeof date, "%s %02d %02d:%02d", kMonths[tm.tm_mon], tm.tm_mday,
                      tm.tm_hour, tm.tm_min);
    else
        std::snprintf(date, sizeof date, "%s %02d  %d", kMonths[tm.tm_mon], tm.tm_mday,
                      tm.tm_year + 1900);
    char head[160];
    std::snprintf(head, sizeof head, "%s    1 %-8lu %-8lu %12llu %s ", ModeText(Entry).c_str(),
                  Entry.HasOwner ? Entry.Uid : 0ul, Entry.HasOwner ? Entry.Gid : 0ul,
                  static_cast<unsigned long long>(Entry.HasSize ? Entry.Size : 0), date);
    Line = head + Entry.Name;
    return true;
}

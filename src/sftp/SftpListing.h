// One entry of a remote folder as a line of a Unix long listing, the form
// the window's listing parser reads for FTP servers:
//   "-rw-r--r--    1 1000     1000         4096 Dec 09 21:40 name"
// Names that could not be shown safely in such a line (empty, "." or "..",
// holding "/", a line end or a NUL, starting with a space) give no line.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

struct TSftpEntry {
    std::string Name;
    bool HasPermissions = false;
    unsigned long Permissions = 0;  // type and mode bits as stat gives them
    bool HasOwner = false;
    unsigned long Uid = 0;
    unsigned long Gid = 0;
    bool HasSize = false;
    std::uint64_t Size = 0;
    bool HasTime = false;
    std::time_t Modified = 0;
};

// Fills Line (without a line end); false when the name gives no line. Dates
// within half a year of Now show the time, older or future ones the year.
bool SftpListingLine(const TSftpEntry& Entry, std::time_t Now, std::string& Line);

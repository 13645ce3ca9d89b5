// The lines of a remote listing file and how one line of a Unix long listing,
// or of the DOS style of Windows servers, is cut into the remote list's
// columns. Plain byte work, no window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The columns as a Unix line gives them; a DOS line fills them from its own
// fields (noted after the semicolons).
struct TListingRow {
    std::string Name;      // everything after the eighth field, spaces kept; after the size
    std::string Size;      // the fifth field, as text; the size, "" for <DIR>
    std::string Modified;  // fields six to eight joined by single spaces; "date time"
    std::uint8_t IsFolder = 0;  // the line starts with d, D, l or L; <DIR>
    bool IsLink = false;        // the line starts with l or L; never
};

// The lines of a listing file's text. A line ends at CR, at CR LF taken
// together, or at a LF of its own; a Ctrl-Z (26) ends the text. A lone LF
// ends a line too: no server's listing puts one inside a name, and a name
// holding one would end the command it is later sent in.
std::vector<std::string> SplitListingLines(const std::string& text);

// Cuts one line. A line that starts "MM-DD-YY[YY] HH:MM[AM|PM] " and then a
// folder mark (<DIR>, <JUNCTION>, <SYMLINKD>) or a size (digits, perhaps
// grouped "1,234,567"; Size gets the bare digits) is a DOS line; any other is
// a Unix line, cut with the space as the only separator (tabs are ordinary
// characters). A DOS name keeps its own leading and trailing spaces. False when the line gives no
// row: only blanks and control characters, the line ends before the name,
// or the name is "." or "..".
bool ParseListingLine(const std::string& line, TListingRow& row);

// Whether a row names one entry of the listed folder: a plain name (no "/",
// not "." or "..", no NUL). For a link shown as "name -> target" only the
// part before the arrow is the entry's name.
bool IsSafeListingRow(const TListingRow& row);

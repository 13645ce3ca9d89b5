// The listing file's lines and the cutting of each line into columns, on any
// bytes: every row kept as safe names one entry of the folder and nothing
// else.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ftp/ListingLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    std::size_t total = 0;
    for (const std::string& line : SplitListingLines(text)) {
        total += line.size();
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        TListingRow row;
        if (!ParseListingLine(line, row)) continue;
        FUZZ_CHECK(!row.Name.empty() && row.Name.size() <= line.size());
        FUZZ_CHECK(!row.IsLink || row.IsFolder);
        if (!IsSafeListingRow(row)) continue;
        const std::string entry = row.IsLink ? row.Name.substr(0, row.Name.find(" -> ")) : row.Name;
        FUZZ_CHECK(entry.find_first_of(std::string("/\0", 2)) == std::string::npos);
        FUZZ_CHECK(entry != "." && entry != ".." && !entry.empty());
    }
    FUZZ_CHECK(total <= text.size());
    return 0;
}

// The remote entry table: four parallel columns indexed 1 to kCapacity (index
// 0 is unused), filled from the listing file and sorted before the remote
// list is rebuilt from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TRemoteEntries {
    static constexpr int kCapacity = 10000;

    TRemoteEntries()
        : Name(kCapacity + 1), Size(kCapacity + 1), Modified(kCapacity + 1), IsFolder(kCapacity + 1, 0) {}

    // Empties the three text columns of every row.
    void ClearTexts();

    std::vector<std::string> Name;
    std::vector<std::string> Size;
    std::vector<std::string> Modified;
    std::vector<std::uint8_t> IsFolder;
};

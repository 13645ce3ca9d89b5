// The settings file of any bytes: reading keys, their integer and boolean
// readings, and a write followed by reading everything again. A written key
// reads back as written, and no other key changes its value.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Profile.h"
#include "transfer/SettingsFile.h"

namespace {

const std::vector<std::pair<std::string, std::string>> kKeys = {
    {"Options", "Passive"}, {"options", "PASSIVE"}, {"Options", "F1"}, {"Options", "F750"},
    {"History", "Last Dir"}, {"History", "Last DirBox"}, {"Passive", "Options"},
};

bool SameKey(std::size_t a, std::size_t b) {
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    return lower(kKeys[a].first) == lower(kKeys[b].first) && lower(kKeys[a].second) == lower(kKeys[b].second);
}

std::vector<std::string> ReadEvery(const TSettingsFile& settings) {
    std::vector<std::string> values;
    for (const auto& [section, key] : kKeys) values.push_back(settings.ReadString(section, key, "<none>"));
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 1) return 0;
    TSettingsFile settings;
    settings.Path = FuzzTempDir() + "/TarnFtp.ini";
    WriteFuzzFile(settings.Path, std::string_view(reinterpret_cast<const char*>(Data) + 1, Size - 1));
    const std::vector<std::string> before = ReadEvery(settings);
    for (const std::string& value : before) {
        FUZZ_CHECK(value.size() <= 2047);
        long long number = 0;
        ReadInteger(value, number);
    }
    (void)settings.ReadBool("Options", "Passive", false);

    // The first byte picks the key to write and the value's shape.
    const std::size_t which = Data[0] % kKeys.size();
    const auto& [section, key] = kKeys[which];
    const std::string value = (Data[0] & 0x80) ? std::string(Data[0] % 7, ' ') + "x y" : "1";
    if (!platform::WritePrivateProfileString(section, key, value, settings.Path)) return 0;
    const std::vector<std::string> after = ReadEvery(settings);
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (SameKey(i, which)) FUZZ_CHECK(after[i] == "x y" || after[i] == "1");
        else FUZZ_CHECK(after[i] == before[i]);
    }
    FUZZ_CHECK(after[which] == (value == "1" ? "1" : "x y"));
    return 0;
}

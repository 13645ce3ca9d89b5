// The saved-site file of any bytes and any length: loading every record,
// finding a site by name and a free record, and writing one. A file without
// one whole record is refused with EInOutError; no field reads past its
// place; a write changes exactly its own record and never the file's size.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzSupport.h"
#include "platform/RecordFile.h"
#include "sites/SiteFile.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string bytes(reinterpret_cast<const char*>(Data), Size);
    TSiteFile sites;
    sites.Path = FuzzTempDir() + "/TARN25.DAT";
    WriteFuzzFile(sites.Path, bytes);
    const std::size_t records = Size / TSiteRecord::kSize;
    try {
        std::string firstName;
        std::size_t used = 0;
        const std::int64_t stray = sites.LoadAll([&](const TSiteRecord& r) {
            FUZZ_CHECK(r.Name().size() <= TSiteRecord::kNameSize && r.Host().size() <= TSiteRecord::kHostSize &&
                       r.User().size() <= TSiteRecord::kUserSize &&
                       r.Comments().size() <= TSiteRecord::kCommentsSize &&
                       r.Password().size() <= TSiteRecord::kPasswordSize);
            if (used++ == 0) firstName = r.Name();
        });
        FUZZ_CHECK(records > 0);
        FUZZ_CHECK(used <= records && stray == static_cast<std::int64_t>(Size % TSiteRecord::kSize));
        const int found = sites.FindByName(firstName);
        FUZZ_CHECK(found < static_cast<int>(records) - 1);
        int index = -1;
        if (sites.FindFreeRecord("New site", index) == TSiteFile::frFree) {
            FUZZ_CHECK(index >= 0 && index < static_cast<int>(records) - 1);
            sites.SiteBuffer.SetName("New site");
            sites.SiteBuffer.SetHost("127.0.0.1");
            sites.WriteRecord(index);
            const std::string after = ReadAll(sites.Path);
            FUZZ_CHECK(after.size() == bytes.size());
            const std::size_t at = static_cast<std::size_t>(index) * TSiteRecord::kSize;
            FUZZ_CHECK(after.compare(0, at, bytes, 0, at) == 0);
            FUZZ_CHECK(after.compare(at + TSiteRecord::kSize, std::string::npos, bytes, at + TSiteRecord::kSize,
                                     std::string::npos) == 0);
            FUZZ_CHECK(sites.FindByName("New site") == index || sites.FindByName("New site") < index);
        }
    } catch (const EInOutError&) {
        FUZZ_CHECK(records == 0);
    }
    return 0;
}

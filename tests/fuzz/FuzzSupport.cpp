#include "FuzzSupport.h"

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

struct TTempDir {
    TTempDir() {
        char tmpl[] = "/tmp/tarn-fuzz-XXXXXX";
        if (!mkdtemp(tmpl)) FuzzFail("cannot make a temporary folder");
        Path = tmpl;
    }
    ~TTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::string Path;
};

}  // namespace

const std::string& FuzzTempDir() {
    static TTempDir dir;
    return dir.Path;
}

void WriteFuzzFile(const std::string& Path, std::string_view Bytes) {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    if (!out) FuzzFail("cannot write the input file");
}

// What tarnftp reads from its command line and from ~/.netrc: the ftp URL, a
// host box's "host:port", and the netrc entries, on any bytes. The input is
// both the URL text and the netrc file's text. A URL taken has a host, a
// port taken is a number from 1 to 65535 with a host before it, and a netrc
// file readable by others never hands out a password.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "cli/Netrc.h"
#include "ftp/FtpUrl.h"

namespace {

void CheckAddress(const TFtpUrl& url) {
    if (!url.Port.empty()) {
        FUZZ_CHECK(!url.Host.empty());
        FUZZ_CHECK(url.Port.find_first_not_of("0123456789") == std::string::npos && url.Port.size() <= 5);
        const long port = std::strtol(url.Port.c_str(), nullptr, 10);
        FUZZ_CHECK(port >= 1 && port <= 65535);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    TFtpUrl url;
    std::string error;
    if (ParseFtpUrl(text, url, error)) {
        FUZZ_CHECK(LooksLikeFtpUrl(text) && !url.Host.empty());
        CheckAddress(url);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    TFtpUrl host;
    if (ParseHostAddress(text, host, error)) CheckAddress(host);

    const std::string path = FuzzTempDir() + "/netrc";
    WriteFuzzFile(path, text);
    for (mode_t mode : {0600, 0644}) {
        chmod(path.c_str(), mode);
        for (const char* login : {"", "anonymous"}) {
            TNetrcEntry entry;
            const TNetrcResult r = LookupNetrc(path, "ftp.example.org", login, entry);
            if (r == TNetrcResult::Found && mode == 0644) FUZZ_CHECK(!entry.HasPassword);
            if (r == TNetrcResult::Found && *login) FUZZ_CHECK(entry.Login == login);
        }
    }
    return 0;
}

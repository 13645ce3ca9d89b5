// The reply-line readers on any bytes, from every position: numbers (reply
// codes, SIZE), quoted folder names (PWD, MKD) and the 227 data port.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ftp/FtpParse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    // The first 256 positions: enough for any reply code and its text.
    for (std::size_t start = 0; start <= text.size() && start < 256; ++start) {
        std::size_t pos = start;
        const std::int64_t value = ParseInteger(text, pos);
        FUZZ_CHECK(pos >= start && pos <= text.size());
        const bool negative = text.find_first_not_of(" \t\r\n", start) != std::string::npos &&
                              text[text.find_first_not_of(" \t\r\n", start)] == '-';
        FUZZ_CHECK(negative ? value <= 0 : value >= 0);

        const std::string quoted = ParseQuotedString(text, start);
        FUZZ_CHECK(quoted.size() <= text.size() - start);
    }
    int port = -1;
    if (PasvDataPort(text, port)) FUZZ_CHECK(port >= 1 && port <= 65535);
    return 0;
}

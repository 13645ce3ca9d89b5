// GCC 12 warns of an uninitialised std::function inside its own <regex>.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "EngineTape.h"

#include <regex>

std::string TEngineTape::Normalised(const std::vector<std::string>& From) const {
    static const std::vector<std::pair<std::regex, std::string>> rules = {
        {std::regex(R"(\d+,\d+,\d+,\d+,\d+,\d+)"), "<hostport>"},
        {std::regex(R"(\|\|\|\d+\|)"), "|||<port>|"},
        {std::regex(R"(\|[12]\|[^|]*\|\d+\|)"), "|<eprt>|"},
        {std::regex(R"((127\.0\.0\.1|::1|\]):\d+)"), "$1:<port>"},
        {std::regex(R"(port \d+)"), "port <port>"},
        {std::regex(R"(/tmp/[^ /'"]+)"), "<tmp>"},
        {std::regex(R"(in \d+ seconds( \(\d+ Bytes/sec\))?)"), "in <time>"},
        {std::regex(R"(TLS[^()]*\([^)]*\))"), "TLS <cipher>"},
    };
    std::string out;
    for (std::string line : From) {
        for (const auto& secret : Secrets)
            for (std::size_t at; (at = line.find(secret)) != std::string::npos;)
                line.replace(at, secret.size(), "<user>");
        for (const auto& [pattern, replacement] : rules) line = std::regex_replace(line, pattern, replacement);
        out += line + "\n";
    }
    return out;
}

// Reading ~/.netrc.
#include "cli/Netrc.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include <sys/stat.h>

namespace {

// Splits the file into tokens: blanks separate them, a double-quoted token
// may hold blanks (a backslash takes the next character literally). The body
// of a "macdef" (up to the next empty line) is skipped.
std::vector<std::string> Tokens(const std::string& Text) {
    std::vector<std::string> tokens;
    std::size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < Text.size()) {
        while (i < Text.size() && blank(Text[i])) ++i;
        if (i >= Text.size()) break;
        std::string token;
        if (Text[i] == '"') {
            for (++i; i < Text.size() && Text[i] != '"'; ++i) {
                if (Text[i] == '\\' && i + 1 < Text.size()) ++i;
                token += Text[i];
            }
            ++i;
        } else {
            while (i < Text.size() && !blank(Text[i])) token += Text[i++];
        }
        if (!tokens.empty() && tokens.back() == "macdef") {
            // The macro's name, then its body up to an empty line.
            tokens.pop_back();
            std::size_t end = Text.find("\n\n", i);
            i = end == std::string::npos ? Text.size() : end + 2;
            continue;
        }
        tokens.push_back(token);
    }
    return tokens;
}

struct TParsedEntry {
    std::string Machine;  // empty for "default"
    TNetrcEntry Entry;
};

std::vector<TParsedEntry> Entries(const std::string& Text) {
    std::vector<TParsedEntry> entries;
    std::vector<std::string> tokens = Tokens(Text);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string& word = tokens[i];
        if (word == "machine" && i + 1 < tokens.size()) {
            entries.push_back({tokens[++i], {}});
        } else if (word == "default") {
            entries.push_back({"", {}});
        } else if (!entries.empty() && i + 1 < tokens.size()) {
            if (word == "login") {
                entries.back().Entry.Login = tokens[++i];
            } else if (word == "password") {
                entries.back().Entry.Password = tokens[++i];
                entries.back().Entry.HasPassword = true;
            } else if (word == "account") {
                ++i;
            }
        }
    }
    return entries;
}

}  // namespace

std::string DefaultNetrcPath() {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.netrc" : std::string();
}

TNetrcResult LookupNetrc(const std::string& Path, const std::string& Host,
                         const std::string& Login, TNetrcEntry& Entry) {
    if (Path.empty()) return TNetrcResult::NotFound;
    std::ifstream file(Path, std::ios::binary);
    struct stat st {};
    if (!file || stat(Path.c_str(), &st) != 0) return TNetrcResult::NotFound;
    std::stringstream text;
    text << file.rdbuf();

    const std::vector<TParsedEntry> entries = Entries(text.str());
    const TParsedEntry* found = nullptr;
    for (const TParsedEntry& e : entries) {
        bool hostMatches = e.Machine.empty() || e.Machine == Host;
        bool loginMatches = Login.empty() || e.Entry.Login == Login;
        if (!hostMatches || !loginMatches) continue;
        // A machine entry wins over "default", wherever "default" stands.
        if (!found || (found->Machine.empty() && !e.Machine.empty())) found = &e;
        if (!e.Machine.empty()) break;
    }
    if (!found) return TNetrcResult::NotFound;
    if (found->Entry.HasPassword && (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return TNetrcResult::Insecure;
    Entry = found->Entry;
    return TNetrcResult::Found;
}

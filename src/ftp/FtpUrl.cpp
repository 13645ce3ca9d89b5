// Parsing of ftp:// URLs, with percent-decoding of user, password and path.
#include "ftp/FtpUrl.h"

#include <algorithm>
#include <cctype>

#include "base/Strings.h"
#include "net/WSocketResolve.h"

namespace {

struct TScheme {
    const char* Prefix;
    TFtpSecurity Security;
    bool Sftp = false;
};
constexpr TScheme kSchemes[] = {
    {"ftp://", ftpSecurityNone},
    {"ftpes://", ftpSecurityExplicit},
    {"ftps://", ftpSecurityImplicit},
    {"sftp://", ftpSecurityNone, true},
};

// The scheme Text starts with, or nullptr.
const TScheme* SchemeOf(const std::string& Text) {
    for (const TScheme& scheme : kSchemes) {
        const std::string prefix = scheme.Prefix;
        if (Text.size() >= prefix.size() && SameText(Text.substr(0, prefix.size()), prefix))
            return &scheme;
    }
    return nullptr;
}

int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

// Decodes %XX escapes; false on a broken escape.
bool PercentDecode(const std::string& In, std::string& Out) {
    Out.clear();
    for (std::size_t i = 0; i < In.size(); ++i) {
        if (In[i] != '%') {
            Out += In[i];
            continue;
        }
        if (i + 2 >= In.size()) return false;
        int high = HexValue(In[i + 1]), low = HexValue(In[i + 2]);
        if (high < 0 || low < 0) return false;
        Out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool AllDigits(const std::string& Text) {
    if (Text.empty()) return false;
    for (char c : Text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A port as users may type it: 1 to 65535, digits only.
bool CheckPort(const std::string& Port, const std::string& Text, std::string& Error) {
    if (AllDigits(Port) && Port.size() <= 5 && std::stoi(Port) >= 1 && std::stoi(Port) <= 65535) return true;
    Error = "bad port in " + Text + " (a port is a number from 1 to 65535)";
    return false;
}

// Text with the password of its user part (between the user's ":" and the
// last "@" before the host) left out. With no "@" before the first "/", the
// password may hold that "/": then everything up to the text's last "@" goes.
std::string WithoutPassword(const std::string& Text) {
    const TScheme* scheme = SchemeOf(Text);
    if (!scheme) return Text;
    const std::size_t start = std::string(scheme->Prefix).size();
    const std::size_t slash = Text.find('/', start);
    std::size_t at = Text.rfind('@', slash == std::string::npos ? std::string::npos : slash);
    if (at == std::string::npos || at < start) at = Text.rfind('@');
    if (at == std::string::npos || at < start) return Text;
    const std::size_t colon = Text.find(':', start);
    if (colon == std::string::npos || colon > at) return Text;
    return Text.substr(0, colon) + Text.substr(at);
}

}  // namespace

bool SplitHostPort(const std::string& Authority, const std::string& Text, std::string& Host,
                   std::string& Port, std::string& Error) {
    Host.clear();
    Port.clear();
    std::size_t colon;
    if (!Authority.empty() && Authority[0] == '[') {
        const std::size_t close = Authority.find(']');
        if (close == std::string::npos) {
            Error = "missing ] after the IPv6 address in " + Text;
            return false;
        }
        Host = Authority.substr(1, close - 1);
        if (!WSocketIsIpv6Addr(Host)) {
            Error = "not an IPv6 address in brackets: [" + Host + "] in " + Text;
            return false;
        }
        if (close + 1 < Authority.size() && Authority[close + 1] != ':') {
            Error = "unexpected text after ] in " + Text + " (a port follows as [address]:port)";
            return false;
        }
        colon = close + 1 < Authority.size() ? close + 1 : std::string::npos;
    } else {
        colon = Authority.find(':');
        if (colon != std::string::npos && Authority.find(':', colon + 1) != std::string::npos) {
            // More than one ":": an IPv6 address without a port.
            if (!WSocketIsIpv6Addr(Authority)) {
                Error = "not an IPv6 address: " + Authority + " (a port follows as [address]:port)";
                return false;
            }
            Host = Authority;
            return true;
        }
        Host = Authority.substr(0, colon);
    }
    if (colon != std::string::npos) {
        Port = Authority.substr(colon + 1);
        if (!CheckPort(Port, Text, Error)) return false;
    }
    if (Host.empty()) {
        Error = "no host in " + Text;
        return false;
    }
    return true;
}

bool LooksLikeFtpUrl(const std::string& Text) { return SchemeOf(Text) != nullptr; }

bool ParseFtpUrl(const std::string& Text, TFtpUrl& Url, std::string& Error) {
    Url = TFtpUrl{};
    const TScheme* scheme = SchemeOf(Text);
    if (!scheme) {
        Error = "not an ftp:// URL: " + WithoutPassword(Text);
        return false;
    }
    Url.Security = scheme->Security;
    const std::string shown = WithoutPassword(Text);
    Url.Sftp = scheme->Sftp;
    std::string rest = Text.substr(std::string(scheme->Prefix).size());
    std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
    // "user:pa/ss@host": the "/" would end the host part early and send the
    // rest of the password as host, port or folder.
    if (authority.find('@') == std::string::npos && path.find('@') != std::string::npos) {
        Error = "an \"@\" after the first \"/\" of the address: write a \"/\" in the password as %2F "
                "(and an \"@\" in the folder as %40)";
        return false;
    }

    // The last "@" ends the user part: a password may hold an unescaped "@".
    std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        std::string userInfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        std::size_t colon = userInfo.find(':');
        if (!PercentDecode(userInfo.substr(0, colon), Url.User)) {
            Error = "bad %-escape in the user of " + shown;
            return false;
        }
        Url.HasUser = !Url.User.empty();
        if (colon != std::string::npos) {
            if (!PercentDecode(userInfo.substr(colon + 1), Url.Password)) {
                Error = "bad %-escape in the password of the URL";
                return false;
            }
            Url.HasPassword = true;
        }
    }
    // An IPv6 address needs its brackets here: its colons would be read as a port.
    if (!authority.empty() && authority[0] != '[' && std::count(authority.begin(), authority.end(), ':') > 1) {
        Error = "an IPv6 address in a URL goes in brackets, as ftp://[::1]:21/ (" + shown + ")";
        return false;
    }
    if (!SplitHostPort(authority, shown, Url.Host, Url.Port, Error)) return false;
    if (!PercentDecode(path, Url.Path)) {
        Error = "bad %-escape in the path of " + shown;
        return false;
    }
    return true;
}

bool ParseHostAddress(const std::string& Text, TFtpUrl& Url, std::string& Error) {
    if (LooksLikeFtpUrl(Text)) return ParseFtpUrl(Text, Url, Error);
    Url = TFtpUrl{};
    // A text without ":" stays whole, as typed (blanks and all).
    if (Text.find(':') == std::string::npos && (Text.empty() || Text[0] != '[')) {
        Url.Host = Text;
        return true;
    }
    return SplitHostPort(Text, Text, Url.Host, Url.Port, Error);
}

std::string HostForPort(const std::string& Host) {
    return Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
}

std::string ShownAddress(const std::string& Text) {
    if (!LooksLikeFtpUrl(Text)) return Text;
    TFtpUrl url;
    std::string error;
    if (!ParseFtpUrl(Text, url, error)) return WithoutPassword(Text);
    std::string port = url.Port;
    if (port.empty()) port = url.Security == ftpSecurityImplicit ? "990" : "21";
    return (url.HasUser ? url.User + "@" : std::string()) + HostForPort(url.Host) + ":" + port;
}

std::string UrlWithoutPassword(const std::string& Text) { return WithoutPassword(Text); }

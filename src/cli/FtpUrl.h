// The URL form of a tarnftp target: ftp://[USER[:PASS]@]HOST[:PORT]/PATH.
#pragma once

#include <string>

struct TFtpUrl {
    std::string User;
    std::string Password;
    bool HasUser = false;
    bool HasPassword = false;
    std::string Host;
    std::string Port;  // empty when the URL names none
    // Percent-decoded path after the host's "/", relative to the login
    // folder ("" for the login folder itself; "dir/" names a folder).
    std::string Path;
};

// True when Text starts with "ftp://" (any case).
bool LooksLikeFtpUrl(const std::string& Text);
// False with Error saying why when Text is not a usable ftp URL.
bool ParseFtpUrl(const std::string& Text, TFtpUrl& Url, std::string& Error);

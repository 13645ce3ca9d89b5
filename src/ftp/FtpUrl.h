// The URL form of a server address, ftp://[USER[:PASS]@]HOST[:PORT]/PATH, as
// tarnftp takes it and users paste it, and the forms a host box may hold.
// ftpes:// asks for explicit TLS, ftps:// for implicit TLS, sftp:// for SFTP.
#pragma once

#include <string>

#include "ftp/FtpTypes.h"

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
    TFtpSecurity Security = ftpSecurityNone;  // from the scheme
    bool Sftp = false;                        // sftp://: SSH, port 22 by default
};

// True when Text starts with "ftp://", "ftpes://", "ftps://" or "sftp://"
// (any case).
bool LooksLikeFtpUrl(const std::string& Text);
// False with Error saying why when Text is not a usable ftp, ftpes or ftps URL.
// Error never holds the URL's password; a password with an unescaped "/" is
// refused (the URL's first "/" ends its host part).
bool ParseFtpUrl(const std::string& Text, TFtpUrl& Url, std::string& Error);

// What a host box holds: an ftp:// URL as above, "host:port" (a name or a
// dotted IPv4 address), "[v6]" or "[v6]:port", a bare IPv6 address (more
// than one ":"), or a plain host name, taken whole as Host. Host never keeps
// the brackets. False with Error saying why when the port is not a number
// from 1 to 65535, an IPv6 address is malformed or no host is given.
bool ParseHostAddress(const std::string& Text, TFtpUrl& Url, std::string& Error);

// The host and port of Authority ("host", "host:port", "[v6]", "[v6]:port"
// or a bare IPv6 address); Port empty when none is given. Text names the
// whole input in the error.
bool SplitHostPort(const std::string& Authority, const std::string& Text, std::string& Host,
                   std::string& Port, std::string& Error);

// The host as it goes into "host:port" texts: an IPv6 address in brackets.
std::string HostForPort(const std::string& Host);

// The address for the user's eyes and the log: a URL as "user@host:port"
// (the scheme's port when it names none), never its password; any other text
// as it is.
std::string ShownAddress(const std::string& Text);
// The URL as given without its password ("ftp://user@host/dir"), still an
// address that connects; any other text as it is.
std::string UrlWithoutPassword(const std::string& Text);

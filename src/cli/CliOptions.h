// The command line of tarnftp: what the user asked for, checked for
// consistency but not yet acted on.
//
//     tarnftp [options] HOST COMMAND [ARGS...]
//     tarnftp [options] ftp://[USER[:PASS]@]HOST[:PORT]/PATH [COMMAND [ARGS...]]
//     (ftpes:// for explicit TLS, ftps:// for implicit TLS, sftp:// for SFTP)
#pragma once

#include <string>
#include <vector>

#include "ftp/FtpTypes.h"
#include "tree/TreeTypes.h"

enum class TProxyKind { None, Socks4, Socks4A, Socks5, Ftp };

struct TCliOptions {
    std::string Host;
    std::string Port = "21";
    // From -u or the URL; HasUser false: netrc, then anonymous.
    std::string User;
    std::string Password;
    bool HasUser = false;
    bool HasPassword = false;
    bool PasswordStdin = false;
    bool Passive = false;
    // Neither --active nor --passive: active first, passive once active
    // mode fails.
    bool PassiveFallback = false;
    bool Ascii = false;
    bool Continue = false;
    TProxyKind Proxy = TProxyKind::None;
    std::string ProxyHost;
    std::string ProxyPort;
    std::string SocksUser;
    std::string SocksPassword;
    // TLS: --ftps, --ftps-implicit or the URL's scheme; the server's
    // certificate is trusted through the system, --cacert or --pin, or
    // not checked with --insecure.
    TFtpSecurity Security = ftpSecurityNone;
    std::string CaFile;
    std::string PinSha256;
    bool Insecure = false;
    // SFTP (an sftp:// URL): the server's host key must be in
    // ~/.ssh/known_hosts, be the one --hostkey names, or be new with
    // --accept-new-hostkey (it is then added to the file).
    bool Sftp = false;
    std::string HostKeyPin;
    bool AcceptNewHostKey = false;
    int TimeoutSeconds = 60;
    bool Verbose = false;
    bool Quiet = false;
    std::string OutputDir = ".";
    // mirror: -R (local to remote), --only-newer, --delete.
    bool Reverse = false;
    bool OnlyNewer = false;
    bool DeleteMissing = false;
    // mirror: sessions moving files at once (--parallel).
    int Parallel = 1;
    // --if-exists: what get, put, mget, mput and mirror do with a file that
    // is already there (without it: replace it, or resume with -C).
    bool HasIfExists = false;
    TExistingChoice IfExists = TExistingChoice::Overwrite;
    // Folder to change to first (the path of a URL given with a command).
    std::string StartDir;
    std::string Command;
    std::vector<std::string> Args;
};

enum class TParseOutcome { Run, Help, Version, Error };

// Fills Options from the arguments; Error says what is wrong with them.
TParseOutcome ParseCommandLine(const std::vector<std::string>& Arguments, TCliOptions& Options,
                               std::string& Error);
std::string HelpText();
std::string VersionText();

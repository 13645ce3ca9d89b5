// The exit statuses of tarnftp: each tells a script what kind of thing failed.
#pragma once

enum class TExitStatus : int {
    Success = 0,
    Usage = 1,        // the command line (or a name on it) is unusable
    Connect = 2,      // cannot resolve or connect, greeting or proxy refused
    Login = 3,        // USER or PASS refused
    Refused = 4,      // the server refused a command
    LocalFile = 5,    // a local file could not be read or written
    Timeout = 6,      // no answer within --timeout seconds
    Certificate = 7,  // the server's TLS certificate is not trusted or not the pinned one
    Interrupted = 130 // Ctrl-C
};

inline int ToInt(TExitStatus Status) { return static_cast<int>(Status); }

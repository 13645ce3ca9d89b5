// Resolving the login of a tarnftp session.
#include "cli/Credentials.h"

#include <cstdlib>
#include <iostream>

#include <pwd.h>

#include <termios.h>
#include <unistd.h>

#include "cli/Netrc.h"

namespace {

constexpr char kAnonymousUser[] = "anonymous";
constexpr char kAnonymousPassword[] = "tarnftp@";

// The first line of standard input, without its line end.
bool ReadPasswordLine(std::string& Password) {
    Password.clear();
    if (!std::getline(std::cin, Password) && Password.empty()) return false;
    while (!Password.empty() && (Password.back() == '\r' || Password.back() == '\n'))
        Password.pop_back();
    return true;
}

// Asks on the terminal with echo off; false when there is no terminal.
bool PromptPassword(const std::string& Prompt, std::string& Password) {
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) return false;
    termios saved {};
    bool restore = tcgetattr(STDIN_FILENO, &saved) == 0;
    // Echo goes off before the prompt shows: what is typed once it shows is
    // neither echoed nor flushed away.
    if (restore) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::cerr << Prompt << std::flush;
    bool ok = ReadPasswordLine(Password);
    if (restore) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << "\n";
    return ok;
}

}  // namespace

bool PromptSecret(const std::string& Prompt, std::string& Secret) {
    return PromptPassword(Prompt, Secret);
}

TExitStatus ResolveCredentials(const TCliOptions& Options, TCredentials& Credentials,
                               std::string& Error) {
    Credentials = {Options.User, Options.Password};
    if (Options.HasUser && Options.HasPassword) return TExitStatus::Success;
    if (Options.PasswordStdin) {
        if (ReadPasswordLine(Credentials.Password)) return TExitStatus::Success;
        Error = "--password-stdin: nothing to read on standard input";
        return TExitStatus::Usage;
    }
    TNetrcEntry entry;
    const std::string path = DefaultNetrcPath();
    switch (LookupNetrc(path, Options.Host, Options.HasUser ? Options.User : "", entry)) {
        case TNetrcResult::Insecure:
            Error = path + " holds a password but others may read it (chmod 600 " + path + ")";
            return TExitStatus::LocalFile;
        case TNetrcResult::Found:
            if (!Options.HasUser && !entry.Login.empty()) Credentials.User = entry.Login;
            if (entry.HasPassword) {
                Credentials.Password = entry.Password;
                return TExitStatus::Success;
            }
            break;
        case TNetrcResult::NotFound:
            break;
    }
    if (Options.Sftp) {
        // SSH has no anonymous log-in: the local user, as ssh does; without
        // a password only keys are tried.
        if (Credentials.User.empty()) {
            const passwd* me = getpwuid(getuid());
            const char* env = std::getenv("USER");
            Credentials.User = me && me->pw_name ? me->pw_name : env ? env : "";
        }
        return TExitStatus::Success;
    }
    if (Credentials.User.empty() || Credentials.User == kAnonymousUser) {
        Credentials = {kAnonymousUser, kAnonymousPassword};
        return TExitStatus::Success;
    }
    if (PromptPassword("Password for " + Credentials.User + "@" + Options.Host + ": ",
                       Credentials.Password))
        return TExitStatus::Success;
    Error = "no password for " + Credentials.User +
            " (give --user USER:PASS, --password-stdin or a ~/.netrc entry)";
    return TExitStatus::Usage;
}

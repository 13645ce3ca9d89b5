// Who tarnftp logs in as: the user and password from the command line or the
// URL, the password from standard input, ~/.netrc, a prompt on the terminal,
// or anonymous.
#pragma once

#include <string>

#include "cli/CliOptions.h"
#include "cli/ExitStatus.h"

struct TCredentials {
    std::string User;
    std::string Password;
};

// Success, or the exit status to end with and Error saying why.
TExitStatus ResolveCredentials(const TCliOptions& Options, TCredentials& Credentials,
                               std::string& Error);
// Asks on the terminal with echo off (a key's passphrase); false when there
// is no terminal.
bool PromptSecret(const std::string& Prompt, std::string& Secret);

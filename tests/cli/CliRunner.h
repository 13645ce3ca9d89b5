// Runs the real tarnftp binary for the tests: arguments, standard input,
// environment and working folder given; standard output and error collected
// apart; optionally a SIGINT after a while, or standard error on a terminal
// (a pseudo-terminal) so the progress bar shows. Every run is bounded: past
// its time limit the child is killed and the result says so.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "peers/PeerSupport.h"

namespace cli {

struct CliRun {
    std::vector<std::string> Args;  // without the program itself
    // Runs tarnftp through this command (e.g. unshare), then the arguments.
    std::vector<std::string> Prefix;
    std::string Input;              // standard input (closed after it)
    std::vector<std::string> Env;   // "NAME=value" added to a clean environment
    std::string WorkDir;
    peers::Millis Timeout{30000};
    peers::Millis InterruptAfter{0};  // > 0: send SIGINT after this long
    bool StderrTerminal = false;
    // Standard input on that terminal as well (Input unused): each answer is
    // typed, with a line end, once its prompt has shown on standard error.
    bool StdinTerminal = false;
    std::vector<std::pair<std::string, std::string>> TerminalAnswers;  // prompt, answer
};

struct CliResult {
    int Status = -1;         // exit status; -1 when it did not exit normally
    bool TimedOut = false;   // killed at the time limit
    std::string Out, Err;
};

// A run of tarnftp with home as its home, temporary and working folder.
CliRun InHome(const std::string& home, std::vector<std::string> Args);

// The tarnftp binary under test.
std::string TarnftpPath();
CliResult RunTarnftp(const CliRun& Run);

}  // namespace cli

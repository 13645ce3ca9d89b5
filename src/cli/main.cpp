// tarnftp: a command-line FTP client on the Tarnwick FTP engine.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/Credentials.h"
#include "cli/Interrupt.h"

int main(int argc, char** argv) {
    // A closed standard output is reported as a write error, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> arguments(argv, argv + argc);
    TCliOptions options;
    std::string error;
    switch (ParseCommandLine(arguments, options, error)) {
        case TParseOutcome::Help: std::fputs(HelpText().c_str(), stdout); return 0;
        case TParseOutcome::Version: std::fputs(VersionText().c_str(), stdout); return 0;
        case TParseOutcome::Error:
            std::fprintf(stderr, "tarnftp: %s\nTry 'tarnftp --help'.\n", error.c_str());
            return ToInt(TExitStatus::Usage);
        case TParseOutcome::Run: break;
    }
    TCredentials credentials;
    TExitStatus status = ResolveCredentials(options, credentials, error);
    if (status != TExitStatus::Success) {
        std::fprintf(stderr, "tarnftp: %s\n", error.c_str());
        return ToInt(status);
    }
    TCliSession session(options, std::move(credentials));
    InstallInterruptHandler([&session] { session.Engine().CancelAsync(); });
    if (session.Open()) TCommandRunner(session).Run();
    session.Close();
    if (Interrupted() && session.Result() == TExitStatus::Success)
        return ToInt(TExitStatus::Interrupted);
    return ToInt(session.Result());
}

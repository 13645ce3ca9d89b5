// What the tarnftp tests share: a real server of either kind, a home folder
// of their own (so no ~/.netrc of the machine is read), and the arguments
// that log in to the server.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "cli/CliRunner.h"
#include "peers/Peers.h"

namespace cli {

inline bool Contains(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

enum class ServerKind { Vsftpd, Pyftpdlib };

inline std::string KindName(const testing::TestParamInfo<ServerKind>& Info) {
    return Info.param == ServerKind::Vsftpd ? "vsftpd" : "pyftpdlib";
}

inline std::unique_ptr<peers::FtpServerPeer> MakeServer(ServerKind Kind,
                                                        const std::string& Mode = "normal") {
    if (Kind == ServerKind::Vsftpd) return std::make_unique<peers::VsftpdServer>();
    peers::PyftpdlibServer::Options options;
    options.Mode = Mode;
    return std::make_unique<peers::PyftpdlibServer>(options);
}

// A server started for one test, a HOME and a working folder for tarnftp.
class CliTest : public testing::Test {
protected:
    bool StartServer(ServerKind Kind, const std::string& Mode = "normal") {
        Server = MakeServer(Kind, Mode);
        if (Server->Start()) return true;
        ADD_FAILURE() << Server->Error();
        return false;
    }

    // Options that log in to Server, then HOST, then Command.
    std::vector<std::string> LoginArgs(std::vector<std::string> Command,
                                       std::vector<std::string> Options = {}) const {
        std::vector<std::string> args = std::move(Options);
        args.insert(args.end(), {"-u", Server->User() + ":" + Server->Password(), "-P",
                                 std::to_string(Server->Port()), "127.0.0.1"});
        args.insert(args.end(), Command.begin(), Command.end());
        return args;
    }

    // A run with this test's HOME and working folder.
    CliRun Prepare(std::vector<std::string> Args, std::string Input = {}) const {
        CliRun run;
        run.Args = std::move(Args);
        run.Input = std::move(Input);
        run.Env = {"HOME=" + Home.Path(), "TMPDIR=" + Home.Path()};
        run.WorkDir = Work.Path();
        return run;
    }

    CliResult Run(std::vector<std::string> Args, std::string Input = {}) const {
        return RunTarnftp(Prepare(std::move(Args), std::move(Input)));
    }

    CliResult RunLoggedIn(std::vector<std::string> Command, std::vector<std::string> Options = {}) {
        return Run(LoginArgs(std::move(Command), std::move(Options)));
    }

    std::unique_ptr<peers::FtpServerPeer> Server;
    peers::TempDir Home;
    peers::TempDir Work;
};

// The same tests against vsftpd and pyftpdlib.
class CliServerTest : public CliTest, public testing::WithParamInterface<ServerKind> {
protected:
    void SetUp() override { ASSERT_TRUE(StartServer(GetParam())); }
};

}  // namespace cli

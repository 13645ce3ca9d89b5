// Opening and logging in: connection failures, login refusals, where the
// password comes from (command line, URL, standard input, ~/.netrc), the
// trace, the time-out and Ctrl-C, each with its exit status.
#include <algorithm>
#include <chrono>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"

namespace cli {
namespace {

bool Received(const peers::FtpServerPeer& Server, const std::string& Line) {
    auto commands = Server.Commands();
    return std::find(commands.begin(), commands.end(), Line) != commands.end();
}

// The folder a fresh login lands in, as PWD shows it.
std::string LoginFolder(const peers::FtpServerPeer& Server, ServerKind Kind) {
    return Kind == ServerKind::Vsftpd ? Server.Home() : "/";
}

class CliLoginTest : public CliServerTest {};

TEST_P(CliLoginTest, LogsInAndPrintsTheFolder) {
    CliResult r = RunLoggedIn({"pwd"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, LoginFolder(*Server, GetParam()) + "\n");
    EXPECT_TRUE(r.Err.empty()) << r.Err;
    EXPECT_TRUE(Received(*Server, "PWD"));
    EXPECT_TRUE(Received(*Server, "QUIT"));
}

TEST_P(CliLoginTest, WrongPasswordExitsWithThreeAndTheServersReply) {
    CliResult r = Run({"-u", Server->User() + ":wrong", "-P", std::to_string(Server->Port()),
                       "127.0.0.1", "pwd"});
    EXPECT_EQ(r.Status, 3) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: login as " + Server->User() + " refused: 530")) << r.Err;
    EXPECT_FALSE(Received(*Server, "PWD"));
}

TEST_P(CliLoginTest, PasswordFromStandardInput) {
    CliResult r = Run({"-u", Server->User(), "--password-stdin", "-P",
                       std::to_string(Server->Port()), "127.0.0.1", "pwd"},
                      Server->Password() + "\n");
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, LoginFolder(*Server, GetParam()) + "\n");
}

TEST_P(CliLoginTest, UrlGivesUserPasswordPortAndStartFolder) {
    ASSERT_TRUE(Server->MakeFolder("sub dir"));
    std::string url = "ftp://" + Server->User() + ":" + Server->Password() +
                      "@127.0.0.1:" + std::to_string(Server->Port()) + "/sub%20dir";
    CliResult r = Run({url, "pwd"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    std::string folder = LoginFolder(*Server, GetParam());
    EXPECT_EQ(r.Out, (folder == "/" ? "" : folder) + "/sub dir\n");
    EXPECT_TRUE(Received(*Server, "CWD sub dir"));
}

TEST_P(CliLoginTest, VerboseTraceMasksThePasswordButSendsIt) {
    CliResult r = RunLoggedIn({"pwd"}, {"-v"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "> USER " + Server->User() + "\n")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "> PASS ****\n")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "< 230")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "> PWD\n")) << r.Err;
    EXPECT_FALSE(Contains(r.Err, Server->Password())) << r.Err;
    EXPECT_EQ(r.Out, LoginFolder(*Server, GetParam()) + "\n");
    if (GetParam() == ServerKind::Pyftpdlib) {
        EXPECT_TRUE(Received(*Server, "PASS " + Server->Password()));
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, CliLoginTest,
                         testing::Values(ServerKind::Vsftpd, ServerKind::Pyftpdlib), KindName);

class CliNetrcTest : public CliTest {
protected:
    void SetUp() override { ASSERT_TRUE(StartServer(ServerKind::Vsftpd)); }

    void WriteNetrc(const std::string& Text, unsigned Mode) {
        std::string path = Home.File(".netrc");
        ASSERT_TRUE(peers::WriteTextFile(path, Text, Mode));
        chmod(path.c_str(), Mode);
    }

    CliResult RunWithoutUser(std::vector<std::string> Extra = {}) {
        std::vector<std::string> args = Extra;
        args.insert(args.end(), {"-P", std::to_string(Server->Port()), "127.0.0.1", "pwd"});
        return Run(args);
    }
};

TEST_F(CliNetrcTest, MachineEntryLogsIn) {
    WriteNetrc("machine other.example login nobody password nothing\n"
               "machine 127.0.0.1\n  login " + Server->User() + "\n  password " +
                   Server->Password() + "\n",
               0600);
    CliResult r = RunWithoutUser();
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, Server->Home() + "\n");
}

TEST_F(CliNetrcTest, DefaultEntryAndPasswordForAGivenUser) {
    WriteNetrc("macdef init\ncd /tmp\n\ndefault login " + Server->User() + " password " +
                   Server->Password() + "\n",
               0600);
    EXPECT_EQ(RunWithoutUser().Status, 0);
    CliResult r = RunWithoutUser({"-u", Server->User()});
    EXPECT_EQ(r.Status, 0) << r.Err;
}

TEST_F(CliNetrcTest, FileReadableByOthersIsRefused) {
    WriteNetrc("machine 127.0.0.1 login " + Server->User() + " password " + Server->Password() +
                   "\n",
               0644);
    CliResult r = RunWithoutUser();
    EXPECT_EQ(r.Status, 5) << r.Err;
    EXPECT_TRUE(Contains(r.Err, ".netrc")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "chmod 600")) << r.Err;
    EXPECT_FALSE(Received(*Server, "USER " + Server->User()));
}

TEST_F(CliNetrcTest, WithoutUserOrEntryLogsInAsAnonymous) {
    CliResult r = RunWithoutUser();
    // vsftpd here has anonymous logins off.
    EXPECT_EQ(r.Status, 3) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "login as anonymous refused")) << r.Err;
    EXPECT_TRUE(Received(*Server, "USER anonymous"));
}

class CliConnectTest : public CliTest {};

TEST_F(CliConnectTest, RefusedConnectionExitsWithTwo) {
    int port = peers::FreePort();
    CliResult r = Run({"-u", "a:b", "-P", std::to_string(port), "127.0.0.1", "pwd"});
    EXPECT_EQ(r.Status, 2) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: cannot connect to 127.0.0.1:" + std::to_string(port) +
                                    ": 500 Connection refused (Winsock error #10061)"))
        << r.Err;
}

TEST_F(CliConnectTest, UnknownHostExitsWithTwo) {
    // In a network namespace of its own the name cannot be resolved, and no
    // query leaves the machine.
    CliRun run = Prepare({"-u", "a:b", "no-such-host.invalid", "pwd"});
    run.Prefix = {"/usr/bin/unshare", "--net", "--"};
    CliResult r = RunTarnftp(run);
    EXPECT_EQ(r.Status, 2) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: cannot connect to no-such-host.invalid:21: 500 ")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "(Winsock error #")) << r.Err;
}

TEST_F(CliConnectTest, RefusedGreetingExitsWithTwo) {
    ASSERT_TRUE(StartServer(ServerKind::Pyftpdlib, "greeting_421"));
    CliResult r = RunLoggedIn({"pwd"});
    EXPECT_EQ(r.Status, 2) << r.Err;
    EXPECT_TRUE(Contains(r.Err, ": 421 Service not available")) << r.Err;
}

TEST_F(CliConnectTest, SilentServerTimesOutWithSix) {
    ASSERT_TRUE(StartServer(ServerKind::Pyftpdlib, "silent_after_login"));
    CliResult r = RunLoggedIn({"pwd"}, {"--timeout", "1"});
    EXPECT_EQ(r.Status, 6) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: pwd: no answer within 1 seconds")) << r.Err;
    EXPECT_TRUE(r.Out.empty());
}

TEST_F(CliConnectTest, CtrlCCancelsTheRequestAndExitsWith130) {
    ASSERT_TRUE(StartServer(ServerKind::Pyftpdlib, "silent_after_login"));
    CliRun run = Prepare(LoginArgs({"pwd"}, {"--timeout", "30"}));
    run.InterruptAfter = peers::Millis(1500);
    run.Timeout = peers::Millis(15000);
    CliResult r = RunTarnftp(run);
    EXPECT_FALSE(r.TimedOut);
    EXPECT_EQ(r.Status, 130) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: pwd: interrupted")) << r.Err;
    EXPECT_TRUE(Server->WaitForCommand("PWD"));
}

}  // namespace
}  // namespace cli

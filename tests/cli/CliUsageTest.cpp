// The command line: help, version, and the usage errors that stop tarnftp
// before it connects anywhere (exit status 1).
#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"

namespace cli {
namespace {

class CliUsageTest : public CliTest {};

TEST_F(CliUsageTest, HelpListsEveryOptionAndCommand) {
    CliResult r = Run({"--help"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    for (const char* option :
         {"-u, --user", "--password-stdin", "-P, --port", "--passive", "--active", "--ascii",
          "--binary", "-C, --continue", "-o, --output-dir", "--socks4 ", "--socks4a", "--socks5",
          "--socks-user", "--socks-password", "--ftp-proxy", "--timeout", "--parallel N", "-v, --verbose",
          "-q, --quiet", "--help", "--version"})
        EXPECT_NE(r.Out.find(option), std::string::npos) << option;
    for (const char* command : {"ls ", "nlst", "get ", "put ", "mget", "mput", "append", "mkdir",
                                "rmdir", "rename", "delete", "pwd", "size", "syst", "quote"})
        EXPECT_NE(r.Out.find(std::string("\n  ") + command), std::string::npos) << command;
    // SOCKS 4A still resolves the name here: the help says so.
    EXPECT_NE(r.Out.find("still resolved here"), std::string::npos);
    EXPECT_TRUE(r.Err.empty());
}

TEST_F(CliUsageTest, VersionNamesTheProgram) {
    CliResult r = Run({"--version"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.rfind("tarnftp ", 0), 0u) << r.Out;
}

TEST_F(CliUsageTest, BadCommandLinesExitWithOneAndSayWhy) {
    struct Case {
        std::vector<std::string> Args;
        std::string Says;
    };
    const Case cases[] = {
        {{}, "no host"},
        {{"127.0.0.1"}, "no command"},
        {{"127.0.0.1", "frobnicate"}, "unknown command"},
        {{"127.0.0.1", "get"}, "wrong number of arguments"},
        {{"127.0.0.1", "rename", "a"}, "wrong number of arguments"},
        {{"--bogus", "127.0.0.1", "pwd"}, "unknown option --bogus"},
        {{"-P", "70000", "127.0.0.1", "pwd"}, "--port"},
        {{"--timeout", "soon", "127.0.0.1", "pwd"}, "--timeout"},
        {{"--active", "--socks5", "127.0.0.1:1080", "127.0.0.1", "pwd"}, "proxy"},
        {{"--socks5", "127.0.0.1", "127.0.0.1", "pwd"}, "HOST:PORT"},
        {{"--socks-user", "x", "127.0.0.1", "pwd"}, "--socks-user"},
        {{"--password-stdin", "127.0.0.1", "pwd"}, "needs a user"},
        {{"-u", "a:b", "--password-stdin", "127.0.0.1", "pwd"}, "password was given"},
        {{"127.0.0.1", "mget", "ok.txt", "dir/.."}, "dir/.."},
        {{"127.0.0.1", "mget", "dir/"}, "dir/"},
        {{"127.0.0.1", "delete", "a\r\nDELE b"}, "line break"},
        {{"ftp://127.0.0.1:0/"}, "bad port"},
        {{"ftp://u@/x"}, "no host"},
        {{"ftp://127.0.0.1/%zz"}, "%-escape"},
        {{"--parallel", "4", "127.0.0.1", "get", "a"}, "--parallel belong to mirror"},
        {{"--parallel", "0", "127.0.0.1", "mirror", "a"}, "from 1 to 16"},
        {{"--parallel=17", "127.0.0.1", "mirror", "a"}, "from 1 to 16"},
    };
    for (const Case& c : cases) {
        CliResult r = Run(c.Args);
        std::string shown;
        for (const std::string& a : c.Args) shown += a + " ";
        EXPECT_EQ(r.Status, 1) << shown << r.Err;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << shown << "\n" << r.Err;
        EXPECT_TRUE(r.Out.empty()) << shown;
    }
}

}  // namespace
}  // namespace cli

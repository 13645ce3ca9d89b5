// The commands without a data connection against vsftpd and pyftpdlib:
// folders, renames, deletes, sizes, the system type and raw commands, with
// what the server refuses exiting 4 and local file problems 5.
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"

namespace cli {
namespace {

bool OnServer(const peers::FtpServerPeer& Server, const std::string& Path) {
    return access((Server.Home() + "/" + Path).c_str(), F_OK) == 0;
}

class CliCommandsTest : public CliServerTest {};

TEST_P(CliCommandsTest, MakeRenameAndRemoveFolders) {
    CliResult r = RunLoggedIn({"mkdir", "new folder"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(OnServer(*Server, "new folder"));

    r = RunLoggedIn({"mkdir", "new folder"});
    EXPECT_EQ(r.Status, 4);
    EXPECT_TRUE(Contains(r.Err, "tarnftp: mkdir new folder: 550")) << r.Err;

    r = RunLoggedIn({"rename", "new folder", "renamed"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(OnServer(*Server, "renamed"));
    EXPECT_FALSE(OnServer(*Server, "new folder"));

    ASSERT_TRUE(Server->PutFile("renamed/inside.txt", "x"));
    r = RunLoggedIn({"rmdir", "renamed"});
    EXPECT_EQ(r.Status, 4) << "a folder with a file in it";
    EXPECT_TRUE(Contains(r.Err, "tarnftp: rmdir renamed: 550")) << r.Err;

    ASSERT_EQ(unlink((Server->Home() + "/renamed/inside.txt").c_str()), 0);
    r = RunLoggedIn({"rmdir", "renamed"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_FALSE(OnServer(*Server, "renamed"));

    r = RunLoggedIn({"rename", "missing", "other"});
    EXPECT_EQ(r.Status, 4);
    EXPECT_TRUE(Contains(r.Err, "tarnftp: rename missing other: 550")) << r.Err;
}

TEST_P(CliCommandsTest, DeleteGoesOnAfterAFailureAndExitsWithItsKind) {
    ASSERT_TRUE(Server->PutFile("a.txt", "a"));
    ASSERT_TRUE(Server->PutFile("c.txt", "c"));
    CliResult r = RunLoggedIn({"delete", "a.txt", "missing.txt", "c.txt"});
    EXPECT_EQ(r.Status, 4);
    EXPECT_TRUE(Contains(r.Err, "tarnftp: delete missing.txt: 550")) << r.Err;
    EXPECT_FALSE(OnServer(*Server, "a.txt"));
    EXPECT_FALSE(OnServer(*Server, "c.txt"));
}

TEST_P(CliCommandsTest, SizeAndSystem) {
    ASSERT_TRUE(Server->PutFile("data.bin", std::string(123457, 'x')));
    CliResult r = RunLoggedIn({"size", "data.bin"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "123457\n");

    r = RunLoggedIn({"size", "missing.bin"});
    EXPECT_EQ(r.Status, 4);
    EXPECT_TRUE(Contains(r.Err, "tarnftp: size missing.bin: 550")) << r.Err;

    r = RunLoggedIn({"syst"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "UNIX Type: L8\n");
}

TEST_P(CliCommandsTest, QuotePrintsTheReplyOrExitsWithFour) {
    CliResult r = RunLoggedIn({"quote", "NOOP"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.rfind("200", 0), 0u) << r.Out;

    // A multi-line reply comes out whole.
    r = RunLoggedIn({"quote", "HELP"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.rfind("214-", 0), 0u) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "\n214 ")) << r.Out;

    r = RunLoggedIn({"quote", "XBOGUS", "arg"});
    EXPECT_EQ(r.Status, 4);
    EXPECT_TRUE(Contains(r.Err, "tarnftp: quote XBOGUS arg: 500")) << r.Err;
    EXPECT_TRUE(r.Out.empty());
}

TEST_P(CliCommandsTest, LocalFileProblemsExitWithFive) {
    CliResult r = RunLoggedIn({"put", "no-such-file.txt"});
    EXPECT_EQ(r.Status, 5);
    EXPECT_TRUE(Contains(r.Err, "tarnftp: put no-such-file.txt: No such file or directory")) << r.Err;

    r = RunLoggedIn({"mput", "no-such-file.txt", Work.Path()});
    EXPECT_EQ(r.Status, 5);
    EXPECT_TRUE(Contains(r.Err, Work.Path() + ": is a folder")) << r.Err;

    ASSERT_TRUE(Server->PutFile("there.txt", "x"));
    r = RunLoggedIn({"get", "there.txt", Work.Path() + "/no/such/folder/x.txt"});
    EXPECT_EQ(r.Status, 5);
    EXPECT_TRUE(Contains(r.Err, "cannot create a file in " + Work.Path() + "/no/such/folder"))
        << r.Err;

    r = RunLoggedIn({"mget", "there.txt"}, {"-o", Work.Path() + "/missing"});
    EXPECT_EQ(r.Status, 5);
    EXPECT_TRUE(Contains(r.Err, "missing: no such folder")) << r.Err;
}

INSTANTIATE_TEST_SUITE_P(Servers, CliCommandsTest,
                         testing::Values(ServerKind::Vsftpd, ServerKind::Pyftpdlib), KindName);

}  // namespace
}  // namespace cli

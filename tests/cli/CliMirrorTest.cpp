// mirror and --if-exists through the real binary against vsftpd and
// pyftpdlib: a tree with awkward names and a link loop moved both ways and
// compared name for name and byte for byte; every existing-file choice; a
// hostile listing; a stop that must not cost the local file; and a session
// that dies under an upload on four sessions.
#include <cstdio>
#include <map>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <dirent.h>
#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "cli/TreeSnapshot.h"
#include "peers/FtpServers.h"

namespace cli {
namespace {

std::map<std::string, std::string> Snapshot(const std::string& Root) {
    return cli::Snapshot(Root, [](const std::string& Path) { return ReadLocal(Path); });
}

// 24 folders up to four deep, 10 files in each: spaces, UTF-8, a leading
// dash, empty files; one larger file; a link back to a parent folder and a
// link to a file.
void MakeTree(const std::string& Root) {
    std::vector<std::string> folders;
    for (int i = 0; i < 24; ++i) {
        const std::string names[] = {"folder " + std::to_string(i) + " with spaces",
                                     "dossier-é-ü-" + std::to_string(i), "-dash" + std::to_string(i),
                                     "plain" + std::to_string(i)};
        const std::string folder = (i >= 6 ? folders[i - 6] + "/" : "") + names[i % 4];
        ASSERT_EQ(mkdir((Root + "/" + folder).c_str(), 0755), 0) << folder;
        folders.push_back(folder);
        for (int f = 0; f < 10; ++f) {
            const std::string fileNames[] = {"file " + std::to_string(f) + ".txt", "ünïcødé " + std::to_string(f),
                                             "-lead" + std::to_string(f), "empty" + std::to_string(f)};
            const std::string content = f % 4 == 3 ? "" : RandomBytes((i * 131 + f * 977) % 6000, i * 10 + f);
            WriteLocal(Root + "/" + folder + "/" + fileNames[f % 4] + (f >= 4 ? "-" + std::to_string(f) : ""), content);
        }
    }
    WriteLocal(Root + "/big.bin", RandomBytes(24 * 1024 * 1024 + 3, 99));
    ASSERT_EQ(symlink("..", (Root + "/" + folders[3] + "/loop").c_str()), 0);
    ASSERT_EQ(symlink("file 0.txt", (Root + "/" + folders[3] + "/alias.txt").c_str()), 0);
}

class CliMirrorTest : public CliServerTest {
protected:
    CliResult Mirror(std::vector<std::string> Args, std::vector<std::string> Options = {}) {
        Args.insert(Args.begin(), "mirror");
        Options.push_back("--passive");
        CliRun run = Prepare(LoginArgs(std::move(Args), std::move(Options)));
        run.Timeout = peers::Millis(300000);
        return RunTarnftp(run);
    }
};

TEST_P(CliMirrorTest, TreeGoesUpAndComesBackWhole) {
    const std::string source = Work.MakeDir("site");
    MakeTree(source);
    const auto expected = Snapshot(source);
    ASSERT_GT(expected.size(), 260u);

    CliResult r = Mirror({"-R", source, "up"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "loop: link back into its own folder, not followed")) << r.Err;
    EXPECT_EQ(Snapshot(Server->Home() + "/up"), expected);

    // Three sessions at once bring back the same tree.
    r = Mirror({"up", Work.File("back")}, {"--parallel", "3"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Snapshot(Work.File("back")), expected);

    // A folder that is not there is an error, not an empty mirror.
    r = Mirror({"no such folder"});
    EXPECT_EQ(r.Status, 4) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: mirror .: 550")) << r.Err;
    EXPECT_EQ(access(Work.File("no such folder").c_str(), F_OK), -1);

    // The default LOCAL is a folder of REMOTE's name in the current folder.
    r = Mirror({"up/-dash2"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadLocal(Work.File("-dash2/file 0.txt")), expected.at("-dash2/file 0.txt"));
}

TEST_P(CliMirrorTest, ExistingFilesAreReplacedOnlyAsChosen) {
    const std::string remoteB = RandomBytes(200000, 5);
    ASSERT_TRUE(Server->PutFile("src/a.txt", "remote A"));
    ASSERT_TRUE(Server->PutFile("src/b.bin", remoteB));
    ASSERT_TRUE(Server->PutFile("src/c.txt", "remote C"));
    ASSERT_TRUE(Server->PutFile("src/sub/d.txt", "remote D"));
    const std::string dst = Work.MakeDir("dst");
    WriteLocal(dst + "/a.txt", "older A!");
    WriteLocal(dst + "/b.bin", remoteB.substr(0, 50000));
    WriteLocal(dst + "/c.txt", "older C!");

    CliResult r = Mirror({"src", dst}, {"--if-exists", "skip"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadLocal(dst + "/a.txt"), "older A!");
    EXPECT_EQ(ReadLocal(dst + "/b.bin"), remoteB.substr(0, 50000));
    EXPECT_EQ(ReadLocal(dst + "/sub/d.txt"), "remote D");

    r = Mirror({"src", dst}, {"--if-exists", "resume"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(ReadLocal(dst + "/b.bin") == remoteB);
    EXPECT_EQ(ReadLocal(dst + "/a.txt"), "older A!") << "as long as the source: nothing to resume";

    r = Mirror({"src", dst}, {"--if-exists", "rename"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadLocal(dst + "/a.txt"), "older A!");
    EXPECT_EQ(ReadLocal(dst + "/a (1).txt"), "remote A");
    EXPECT_EQ(ReadLocal(dst + "/sub/d (1).txt"), "remote D");

    // --only-newer: an old local copy is replaced, a newer one stays.
    const utimbuf old{946684800, 946684800}, future{std::time(nullptr) + 86400 * 3, std::time(nullptr) + 86400 * 3};
    ASSERT_EQ(utime((dst + "/c.txt").c_str(), &old), 0);
    ASSERT_EQ(utime((dst + "/a.txt").c_str(), &future), 0);
    r = Mirror({"src", dst}, {"--only-newer", "--if-exists", "overwrite"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadLocal(dst + "/c.txt"), "remote C");
    EXPECT_EQ(ReadLocal(dst + "/a.txt"), "older A!");

    // --delete removes what the server does not have, and says so.
    r = Mirror({"src", dst}, {"--delete", "--if-exists", "overwrite"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadLocal(dst + "/a.txt"), "remote A");
    EXPECT_TRUE(Contains(r.Out, "removed a (1).txt\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "removed sub/d (1).txt\n")) << r.Out;
    EXPECT_EQ(access((dst + "/a (1).txt").c_str(), F_OK), -1);
    EXPECT_EQ(access((dst + "/sub/d (1).txt").c_str(), F_OK), -1);

    // Uploads ask the same: a partial remote copy is resumed (REST, STOR
    // from there), a whole one left; rename keeps the remote file.
    ASSERT_TRUE(Server->PutFile("up/b.bin", remoteB.substr(0, 70000)));
    ASSERT_TRUE(Server->PutFile("up/c.txt", "remote C"));
    r = Mirror({"-R", dst, "up"}, {"--if-exists", "resume"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Server->FileContent("up/b.bin") == remoteB);
    EXPECT_EQ(Server->FileContent("up/sub/d.txt"), "remote D");
    r = Mirror({"-R", dst, "up"}, {"--if-exists", "rename"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Server->FileContent("up/c (1).txt"), "remote C");
    EXPECT_EQ(Server->FileContent("up/sub/d (1).txt"), "remote D");

    // Single files: put keeps the remote file with rename; get keeps the
    // local one with skip.
    WriteLocal(Work.File("a.txt"), "local A");
    r = RunLoggedIn({"put", Work.File("a.txt"), "src/a.txt"}, {"--if-exists", "rename"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Server->FileContent("src/a.txt"), "remote A");
    EXPECT_EQ(Server->FileContent("src/a (1).txt"), "local A");
    r = RunLoggedIn({"get", "src/a.txt", Work.File("a.txt")}, {"--if-exists", "skip"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadLocal(Work.File("a.txt")), "local A");
}

INSTANTIATE_TEST_SUITE_P(Servers, CliMirrorTest,
                         testing::Values(ServerKind::Vsftpd, ServerKind::Pyftpdlib), KindName);

TEST_F(CliTest, MirrorLeavesOutNamesThatLeaveTheFolder) {
    ASSERT_TRUE(StartServer(ServerKind::Pyftpdlib, "hostile_listing"));
    ASSERT_TRUE(Server->PutFile("plain.txt", "plain"));
    const std::string out = Work.File("deep/out");
    ASSERT_EQ(mkdir(Work.File("deep").c_str(), 0755), 0);
    CliResult r = Run(LoginArgs({"mirror", ".", out}, {"--passive"}));
    EXPECT_EQ(r.Status, 5) << "not every file arrived: " << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: mirror ../escape.txt: unsafe name, left out")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "up: symbolic link, not followed")) << r.Err;
    EXPECT_EQ(Snapshot(Work.File("deep")),
              (std::map<std::string, std::string>{{"out", "<folder>"}, {"out/plain.txt", "plain"}}));
}

// Ctrl-C while four sessions download a folder with a 1 GiB file and three
// of 40 MB, each over a local copy edited by hand: every local file stays as
// it was and no scratch file is left; then a get of the 1 GiB file alone,
// stopped the same way, keeps its local copy too.
TEST_F(CliTest, StoppedFolderDownloadOnFourSessionsReplacesNoLocalFile) {
    peers::VsftpdServer::Options options;
    options.ExtraConfig = {"local_max_rate=4000000"};
    options.PassivePortCount = 32;
    Server = std::make_unique<peers::VsftpdServer>(options);
    ASSERT_TRUE(Server->Start()) << Server->Error();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Server->PutFile("src/part " + std::to_string(i) + ".bin", RandomBytes(40 << 20, i)));
    // Sparse: the server reads zeros as fast as the rate allows.
    FILE* huge = std::fopen((Server->Home() + "/src/huge.bin").c_str(), "wb");
    ASSERT_NE(huge, nullptr);
    ASSERT_EQ(ftruncate(fileno(huge), off_t{1} << 30), 0);
    std::fclose(huge);

    const std::string dst = Work.MakeDir("dst");
    std::map<std::string, std::string> edited;
    for (const char* name : {"part 0.bin", "part 1.bin", "part 2.bin", "huge.bin"}) {
        WriteLocal(dst + "/" + name, std::string("edited by hand: ") + name);
        edited[name] = ReadLocal(dst + "/" + name);
    }
    CliRun run = Prepare(LoginArgs({"mirror", "src", dst}, {"--passive", "--parallel", "4", "--if-exists", "overwrite"}));
    run.InterruptAfter = peers::Millis(3000);
    CliResult r = RunTarnftp(run);
    EXPECT_EQ(r.Status, 130) << r.Err;
    EXPECT_EQ(Snapshot(dst), edited);

    run = Prepare(LoginArgs({"get", "src/huge.bin", dst + "/huge.bin"}, {"--passive", "--if-exists", "overwrite"}));
    run.InterruptAfter = peers::Millis(3000);
    r = RunTarnftp(run);
    EXPECT_EQ(r.Status, 130) << r.Err;
    EXPECT_EQ(Snapshot(dst), edited);
}

// vsftpd with two passive ports for four sessions: a session whose helper
// cannot bind one answers "500 OOPS" and closes. The session may close
// while its lane is handed the next file; the run must still end on its
// own, with the server's reason and a failed status.
TEST_F(CliTest, MirrorUploadEndsWhenVsftpdCannotBindAPassivePort) {
    peers::VsftpdServer::Options options;
    options.PassivePortCount = 2;
    Server = std::make_unique<peers::VsftpdServer>(options);
    ASSERT_TRUE(Server->Start()) << Server->Error();
    const std::string source = Work.MakeDir("up4");
    for (int i = 0; i < 300; ++i)
        WriteLocal(source + "/file " + std::to_string(i) + ".bin", i % 4 == 3 ? std::string() : RandomBytes(i * 31, i));
    CliRun run = Prepare(LoginArgs({"mirror", "-R", "up4", "site"}, {"--passive", "--parallel", "4"}));
    run.Timeout = peers::Millis(60000);
    const CliResult r = RunTarnftp(run);
    EXPECT_EQ(r.Status, 4) << "-1: still running after 60 s: " << r.Err;
    EXPECT_TRUE(Contains(r.Err, ": 500 OOPS: priv_sock_get_int")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, " failed, 0 removed")) << r.Err;
}

}  // namespace
}  // namespace cli

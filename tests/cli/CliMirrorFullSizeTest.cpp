// mirror at a user's sizes through the real binary against vsftpd and
// pyftpdlib: 200 folders and 3,000 files (awkward names, empty files, a
// 200 MB file, a local link loop) up and down on one and on four sessions,
// compared name for name and byte for byte. Labelled "fullsize": about four
// minutes under the sanitizers.
#include <cstdint>
#include <cstdio>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "cli/TreeSnapshot.h"
#include "peers/FtpServers.h"

namespace cli {
namespace {

constexpr std::uint64_t kBigFile = 200ull * 1000 * 1000;

// Size and FNV-1a of a file's bytes.
std::string Digest(const std::string& Path) {
    FILE* f = std::fopen(Path.c_str(), "rb");
    if (!f) return "<unreadable>";
    std::uint64_t hash = 1469598103934665603ull, size = 0;
    std::vector<unsigned char> block(1 << 20);
    for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), f)) > 0; size += n)
        for (std::size_t i = 0; i < n; ++i) hash = (hash ^ block[i]) * 1099511628211ull;
    std::fclose(f);
    return std::to_string(size) + ":" + std::to_string(hash);
}

std::map<std::string, std::string> Snapshot(const std::string& Root) { return cli::Snapshot(Root, Digest); }

// 20 folders of 9 folders each (200), 15 files in each (3,000): spaces,
// UTF-8, a leading dash, every fourth file empty; a 200 MB file at the top
// and a link from a deep folder back to the top.
void MakeTree(const std::string& Root) {
    int folderCount = 0, fileCount = 0;
    auto fill = [&](const std::string& Folder, int Seed) {
        ASSERT_EQ(mkdir((Root + "/" + Folder).c_str(), 0755), 0) << Folder;
        ++folderCount;
        for (int f = 0; f < 15; ++f) {
            const std::string n = std::to_string(f);
            const std::string names[] = {"file " + n + ".txt", "ünïcødé " + n + ".dat", "-lead " + n, "empty" + n};
            const std::size_t size = f % 4 == 3 ? 0 : static_cast<std::size_t>((Seed * 7919 + f * 977) % 9000);
            WriteLocal(Root + "/" + Folder + "/" + names[f % 4], RandomBytes(size, static_cast<unsigned>(Seed * 16 + f)));
            ++fileCount;
        }
    };
    for (int top = 0; top < 20; ++top) {
        const std::string names[] = {"dossier é " + std::to_string(top), "-dash" + std::to_string(top),
                                     "plain" + std::to_string(top), "with  two spaces " + std::to_string(top)};
        const std::string folder = names[top % 4];
        fill(folder, top * 10);
        for (int sub = 0; sub < 9; ++sub) fill(folder + "/sub " + std::to_string(sub), top * 10 + sub + 1);
    }
    ASSERT_EQ(folderCount, 200);
    ASSERT_EQ(fileCount, 3000);
    ASSERT_TRUE(WriteRandomFile(Root + "/big 200 MB.bin", kBigFile, 42));
    ASSERT_EQ(symlink("../..", (Root + "/plain2/sub 4/loop").c_str()), 0);
}

class CliMirrorFullSizeTest : public CliServerTest {
protected:
    // Four sessions open thousands of data connections: eight passive ports
    // leave vsftpd's helper without a free one to bind now and then.
    void SetUp() override {
        if (GetParam() == ServerKind::Vsftpd) {
            peers::VsftpdServer::Options options;
            options.PassivePortCount = 64;
            Server = std::make_unique<peers::VsftpdServer>(options);
        } else {
            peers::PyftpdlibServer::Options options;
            options.PassivePortCount = 64;
            Server = std::make_unique<peers::PyftpdlibServer>(options);
        }
        ASSERT_TRUE(Server->Start()) << Server->Error();
    }

    CliResult Mirror(std::vector<std::string> Args, std::vector<std::string> Options) {
        Args.insert(Args.begin(), "mirror");
        Options.insert(Options.end(), {"--passive", "--quiet"});
        CliRun run = Prepare(LoginArgs(std::move(Args), std::move(Options)));
        run.Timeout = peers::Millis(900000);
        return RunTarnftp(run);
    }
};

TEST_P(CliMirrorFullSizeTest, ThreeThousandFilesBothWaysOnOneAndFourSessions) {
    const std::string source = Work.MakeDir("site");
    MakeTree(source);
    const auto expected = Snapshot(source);
    ASSERT_EQ(expected.size(), 3201u);

    for (const char* sessions : {"1", "4"}) {
        SCOPED_TRACE(std::string("--parallel ") + sessions);
        const std::string remote = std::string("up") + sessions;
        CliResult r = Mirror({"-R", source, remote}, {"--parallel", sessions});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(Snapshot(Server->Home() + "/" + remote), expected);

        const std::string back = Work.File(std::string("back") + sessions);
        r = Mirror({remote, back}, {"--parallel", sessions});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(Snapshot(back), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, CliMirrorFullSizeTest,
                         testing::Values(ServerKind::Vsftpd, ServerKind::Pyftpdlib), KindName);

}  // namespace
}  // namespace cli

// mirror at a user's sizes through the real binary against vsftpd and
// pyftpdlib: 200 folders and 3,000 files (awkward names, empty files, a
// 200 MB file, a local link loop) up and down on one and on four sessions,
// compared name for name and byte for byte. Labelled "fullsize": about four
// minutes under the sanitizers.
#include <gtest/gtest.h>

#include "FullSizeTree.h"
#include "cli/CliTestSupport.h"
#include "peers/FtpServers.h"

namespace cli {
namespace {

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
    fullsize::MakeTree(source);
    ASSERT_FALSE(HasFatalFailure());
    const auto expected = fullsize::Snapshot(source);
    ASSERT_EQ(expected.size(), fullsize::kEntries);

    for (const char* sessions : {"1", "4"}) {
        SCOPED_TRACE(std::string("--parallel ") + sessions);
        const std::string remote = std::string("up") + sessions;
        CliResult r = Mirror({"-R", source, remote}, {"--parallel", sessions});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(fullsize::Snapshot(Server->Home() + "/" + remote), expected);

        const std::string back = Work.File(std::string("back") + sessions);
        r = Mirror({remote, back}, {"--parallel", sessions});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(fullsize::Snapshot(back), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, CliMirrorFullSizeTest,
                         testing::Values(ServerKind::Vsftpd, ServerKind::Pyftpdlib), KindName);

}  // namespace
}  // namespace cli

// Stop ends a running download: the local file of that name stays as it
// was, nothing is left beside it, no error box calls it a time-out, the
// listing that follows is not stopped with it, and the session goes on.
#include <filesystem>
#include <string>

#include "ServerFixture.h"

namespace {

namespace fs = std::filesystem;

class StopTransfer : public ServerTest {};

TEST_F(StopTransfer, AStoppedDownloadLeavesTheLocalFileAsItWas) {
    ASSERT_TRUE(Server()->PutFile("big.bin", std::string(20000000, 'x')));
    ASSERT_TRUE(Server()->PutFile("small.txt", "small"));
    Write(Local + "/big.bin", "edited by hand");
    Open();
    Relist();
    EXPECT_FALSE(FrmFTP->CmdStop->Visible());
    ClickRow("big.bin");
    bool shown = false, clicked = false;
    auto window = FrmFTP->FtpClient1->OnProgress;
    FrmFTP->FtpClient1->OnProgress = [&](TObject* s, int64_t count, bool& abort) {
        if (!clicked) {
            clicked = true;
            shown = FrmFTP->CmdStop->Visible();
            ClickOn(FrmFTP->CmdStop);
        }
        window(s, count, abort);
    };
    Boxes->AnswerResult(mrYes);  // overwrite, once it has arrived
    ClickOn(FrmFTP->Image4);
    Settle();
    FrmFTP->FtpClient1->OnProgress = window;
    ASSERT_TRUE(clicked);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(FrmFTP->CmdStop->Visible());
    EXPECT_EQ(Read(Local + "/big.bin"), "edited by hand");
    EXPECT_EQ(Boxes->Records.size(), 1u) << Joined(BoxTexts());  // only the question
    EXPECT_EQ(Rows(), (std::vector<std::string>{"..", "big.bin", "small.txt"})) << Joined(Log());
    EXPECT_EQ(std::distance(fs::directory_iterator(Local), fs::directory_iterator()), 1);
    EXPECT_TRUE(Logged("Stopped: \"big.bin\" was not downloaded; the local folder is as it was.")) << Joined(Log());
    EXPECT_FALSE(Logged("SUCCESSFULLY Transferred Data. It is now displayed."));

    ClickRow("small.txt");
    ClickOn(FrmFTP->Image4);
    Settle();
    EXPECT_EQ(Read(Local + "/small.txt"), "small") << Joined(Log());
}

}  // namespace

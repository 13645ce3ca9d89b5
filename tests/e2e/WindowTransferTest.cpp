// The whole program on a real X server: the site manager's Connect, the
// transfer window's session against vsftpd on 127.0.0.1, and a download and
// an upload of a gigabyte each, byte for byte, with the window in active
// mode as designed. The deepest nesting of message dispatch is recorded
// across both transfers: a progress display that pumps at every data event
// must not nest once per event.
#include <algorithm>
#include <cstdlib>

#include "TestFiles.h"
#include "app/Project1.h"
#include "peers/Peers.h"
#include "platform/Messages.h"
#include "sites/Ufirst.h"
#include "transfer/SessionFixture.h"

namespace {

constexpr std::uint64_t kSize = std::uint64_t(1) << 30;
constexpr unsigned kDownSeed = 11, kUpSeed = 12;
// Two levels per socket of the engine (control and data connection).
constexpr int kNestingBound = 4;

// Before any QApplication exists: a real X server, not the offscreen platform.
class XServer : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(Display.Start()) << Display.Error();
        setenv("DISPLAY", Display.Name().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    void TearDown() override { Display.Stop(); }
    peers::XvfbDisplay Display;
};
const auto* const gXServer = ::testing::AddGlobalTestEnvironment(new XServer);

class WindowTransferTest : public SessionTest {};

TEST_F(WindowTransferTest, GigabyteDownAndUpThroughTheWindowOnARealDisplay) {
    peers::VsftpdServer server;
    ASSERT_TRUE(server.Start()) << server.Error();
    const std::string remoteBig = server.Home() + "/big.bin";
    ASSERT_TRUE(WriteRandomFile(remoteBig, kSize, kDownSeed));
    ASSERT_TRUE(WriteRandomFile(Work + "/up.bin", kSize, kUpSeed));

    PlaceIni("[Options]\n[History]\nLast DirBox=" + Work + "\n");
    StartUp();
    Frmfirst->Show();
    Frmfirst->Edwebsite->SetText("127.0.0.1:" + std::to_string(server.Port()));
    Frmfirst->EdUser->SetText(server.User());
    Frmfirst->Edpwd->SetText(server.Password());

    int deepest = -1;
    bool downloaded = false, uploaded = false;
    WhenModal([&] {
        // Return ends the visit however the steps below end.
        struct ReturnAtEnd {
            ~ReturnAtEnd() { ClickOn(FrmFTP->CmdExit); }
        } returnAtEnd;
        EXPECT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("big.bin") >= 0; })) << Joined(Log());
        platform::ResetDeepestNesting();

        auto* tree = static_cast<QTreeWidget*>(FrmFTP->ListView1->Widget());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(tree->topLevelItem(RowOf("big.bin"))).center());
        ClickOn(FrmFTP->RadBinary);
        ClickOn(FrmFTP->Image4);
        ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
        downloaded = IsRandomFile(Work + "/big.bin", kSize, kDownSeed);

        ClickOn(FrmFTP->RadExplorer);
        FrmFTP->FileListBox1->Update();
        int at = -1;
        for (int i = 0; i < FrmFTP->FileListBox1->Count(); ++i)
            if (FrmFTP->FileListBox1->Strings(i) == "up.bin") at = i;
        ASSERT_GE(at, 0);
        ClickItem(FrmFTP->FileListBox1, at);
        ClickOn(FrmFTP->Image5);
        ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("up.bin") >= 0; })) << Joined(Log());
        uploaded = IsRandomFile(server.Home() + "/up.bin", kSize, kUpSeed);
        deepest = platform::GetLoopCounters().deepestNesting;
    });
    ClickOn(Frmfirst->CmdDownload);  // Connect

    EXPECT_TRUE(downloaded) << Joined(Log());
    EXPECT_TRUE(uploaded) << Joined(Log());
    RecordProperty("deepestNesting", deepest);
    EXPECT_GE(deepest, 1);
    EXPECT_LE(deepest, kNestingBound);
    int successes = 0;
    for (const std::string& line : Log()) successes += line == "SUCCESSFULLY Transferred Data. It is now displayed.";
    EXPECT_EQ(successes, 2) << Joined(Log());
    const std::vector<std::string> commands = server.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "RETR big.bin"), commands.end());
    EXPECT_NE(std::find(commands.begin(), commands.end(), "STOR up.bin"), commands.end());
    for (const std::string& c : commands) EXPECT_NE(c, "PASV");
}

}  // namespace

// The whole program on a real X server: the site manager's Connect, the
// transfer window's session against vsftpd on 127.0.0.1, and a download and
// an upload of a gigabyte each, byte for byte, with the window in active
// mode as designed. Before that, the same download onto a local file of its
// name (Overwrite chosen) is stopped by Esc halfway: the local file stays
// byte for byte, nothing is left beside it, the log says what was not done.
// The deepest nesting of message dispatch is recorded
// across both transfers: a progress display that pumps at every data event
// must not nest once per event. Then the same window opens an ftpes:// site
// whose certificate it does not know: the question answered "Trust always",
// the certificate is stored and a download over TLS arrives byte for byte.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

#include <QTimer>

#include "TestFiles.h"
#include "app/Project1.h"
#include "peers/Peers.h"
#include "platform/Messages.h"
#include "sites/Ufirst.h"
#include "transfer/SessionFixture.h"

namespace {

constexpr std::uint64_t kSize = std::uint64_t(1) << 30;
constexpr unsigned kDownSeed = 11, kUpSeed = 12, kTlsSeed = 13;
constexpr std::uint64_t kTlsSize = std::uint64_t(8) << 20;
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
    peers::TempDir certDir;
    peers::TlsCert cert;
    ASSERT_TRUE(cert.Make(certDir, "tarn-e2e")) << cert.Error();
    peers::VsftpdServer tlsServer({.ExtraConfig = peers::VsftpdTlsConfig(cert, false)});
    ASSERT_TRUE(tlsServer.Start()) << tlsServer.Error();
    ASSERT_TRUE(WriteRandomFile(tlsServer.Home() + "/tls.bin", kTlsSize, kTlsSeed));
    const std::string tlsSite = "127.0.0.1:" + std::to_string(tlsServer.Port());

    const std::string edited = RandomBytes(100000, 5);
    WriteLocal(Work + "/big.bin", edited);
    const auto names = [this] {
        std::set<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(Work)) out.insert(e.path().filename().string());
        return out;
    };
    const std::set<std::string> before = names();

    PlaceIni("[Options]\n[History]\nLast DirBox=" + Work + "\n");
    StartUp();
    Frmfirst->Show();
    Frmfirst->Edwebsite->SetText("127.0.0.1:" + std::to_string(server.Port()));
    Frmfirst->EdUser->SetText(server.User());
    Frmfirst->Edpwd->SetText(server.Password());

    int deepest = -1, stoppedAt = -1;
    size_t questions = 0;  // Overwrite? before each download of big.bin
    std::string questionTexts;
    bool keptWhenStopped = false, nothingBeside = false, stopShown = false;
    bool downloaded = false, uploaded = false, overTls = false;
    WhenModal([&] {
        // Return ends the visit however the steps below end.
        struct ReturnAtEnd {
            ~ReturnAtEnd() { ClickOn(FrmFTP->CmdExit); }
        } returnAtEnd;
        EXPECT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("big.bin") >= 0; })) << Joined(Log());

        // Esc once the progress display passes half.
        QTimer halfway;
        QObject::connect(&halfway, &QTimer::timeout, [&] {
            const int percent = std::atoi(FrmFTP->Lblperc->Caption().c_str());
            if (stoppedAt >= 0 || percent < 50) return;
            stoppedAt = percent;
            stopShown = FrmFTP->CmdStop->Visible();
            QTest::keyClick(FrmFTP->Widget(), Qt::Key_Escape);
        });
        halfway.start(20);
        Boxes->AnswerResult(mrYes);  // Overwrite
        DownloadRow("big.bin");
        ASSERT_TRUE(PumpUntil([&] { return Connected() && !FrmFTP->CmdStop->Visible(); })) << Joined(Log());
        halfway.stop();
        keptWhenStopped = ReadLocal(Work + "/big.bin") == edited;
        nothingBeside = names() == before;

        platform::ResetDeepestNesting();
        Boxes->AnswerResult(mrYes);  // Overwrite
        DownloadRow("big.bin");
        ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
        downloaded = IsRandomFile(Work + "/big.bin", kSize, kDownSeed);
        questions = Boxes->Records.size();
        questionTexts = Joined(BoxTexts());

        ASSERT_TRUE(UploadLocalFile("up.bin"));
        ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("up.bin") >= 0; })) << Joined(Log());
        uploaded = IsRandomFile(server.Home() + "/up.bin", kSize, kUpSeed);
        deepest = platform::GetLoopCounters().deepestNesting;

        ClickOn(FrmFTP->CmdConnect);  // Disconnect
        ASSERT_EQ(FrmFTP->CmdConnect->Caption(), "Connect");
        FrmFTP->EdServer->SetText("ftpes://" + tlsSite);
        FrmFTP->EdUserID->SetText(tlsServer.User());
        FrmFTP->EdPassword->SetText(tlsServer.Password());
        Boxes->Records.clear();
        Boxes->AnswerResult(mrYes);
        ClickOn(FrmFTP->CmdConnect);
        ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("tls.bin") >= 0; })) << Joined(Log());
        ASSERT_EQ(Boxes->Records.size(), 1u);
        EXPECT_EQ(Boxes->Records[0].DefaultButton, unsigned(mbCancel));
        DownloadRow("tls.bin");  // still binary
        ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
        overTls = IsRandomFile(Work + "/tls.bin", kTlsSize, kTlsSeed);
    });
    ClickOn(Frmfirst->CmdDownload);  // Connect

    EXPECT_GE(stoppedAt, 50) << Joined(Log());
    EXPECT_LT(stoppedAt, 100);
    EXPECT_TRUE(stopShown);
    EXPECT_TRUE(keptWhenStopped) << Joined(Log());
    EXPECT_TRUE(nothingBeside);
    EXPECT_TRUE(Logged("Stopped: \"big.bin\" was not downloaded; the local folder is as it was.")) << Joined(Log());
    EXPECT_EQ(questions, 2u) << questionTexts;
    EXPECT_TRUE(downloaded) << Joined(Log());
    EXPECT_TRUE(uploaded) << Joined(Log());
    EXPECT_TRUE(overTls) << Joined(Log());
    // "Trust always" pins the public key.
    std::string fingerprint = cert.PublicKeySha256();
    std::erase(fingerprint, ':');
    EXPECT_EQ(ReadLocal(AppFolder() + "/TarnFtpCerts.txt"), tlsSite + " " + fingerprint + "\n");
    RecordProperty("deepestNesting", deepest);
    EXPECT_GE(deepest, 1);
    EXPECT_LE(deepest, kNestingBound);
    int successes = 0;
    for (const std::string& line : Log()) successes += line == "SUCCESSFULLY Transferred Data. It is now displayed.";
    EXPECT_EQ(successes, 3) << Joined(Log());
    const std::vector<std::string> commands = server.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "RETR big.bin"), commands.end());
    EXPECT_NE(std::find(commands.begin(), commands.end(), "STOR up.bin"), commands.end());
    for (const std::string& c : commands) EXPECT_NE(c, "PASV");
    const std::vector<std::string> tlsCommands = tlsServer.Commands();
    ASSERT_FALSE(tlsCommands.empty());
    EXPECT_EQ(tlsCommands.front(), "AUTH TLS");
    EXPECT_NE(std::find(tlsCommands.begin(), tlsCommands.end(), "RETR tls.bin"), tlsCommands.end());
}

}  // namespace

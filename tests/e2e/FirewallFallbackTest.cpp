// The whole program on a real X server behind the usual desktop firewall:
// the program and vsftpd in a network namespace of the test's own whose
// firewall drops every incoming connection but those to the server's
// control and passive ports, so the server's active-mode connection never
// arrives and vsftpd stays stuck in its connect for a minute. The first
// listing must still come, through PASV on a new login, within 15 seconds
// of Connect; a gigabyte download then arrives byte for byte, and the
// server is remembered as passive only once the passive retry has worked.
// The real X server is the one WindowTransferTest.cpp starts for this binary.
#include <filesystem>

#include <QElapsedTimer>

#include "TestFiles.h"
#include "app/Project1.h"
#include "peers/Peers.h"
#include "sites/Ufirst.h"
#include "transfer/SessionFixture.h"

namespace {

constexpr std::uint64_t kSize = std::uint64_t(1) << 30;
constexpr unsigned kSeed = 21;
constexpr int kFirstListingMs = 15000;
const std::string kFallback = "Active mode failed; using passive mode for this session.";

class FirewallFallbackTest : public SessionTest {};

TEST_F(FirewallFallbackTest, FirstListingComesPassiveInTimeThenAGigabyteDownloadArrives) {
    peers::NetworkNamespace net;
    ASSERT_TRUE(net.Enter()) << net.Error();
    peers::VsftpdServer server;
    ASSERT_TRUE(server.Start()) << server.Error();
    ASSERT_TRUE(net.AcceptOnlySynTo({{server.Port(), server.Port()},
                                     {server.PassiveMinPort(), server.PassiveMaxPort()}}))
        << net.Error();
    ASSERT_TRUE(WriteRandomFile(server.Home() + "/big.bin", kSize, kSeed));
    const std::string site = "127.0.0.1:" + std::to_string(server.Port());

    PlaceIni("[Options]\n[History]\nLast DirBox=" + Work + "\n");
    StartUp();
    Frmfirst->Show();
    Frmfirst->Edwebsite->SetText(site);
    Frmfirst->EdUser->SetText(server.User());
    Frmfirst->Edpwd->SetText(server.Password());

    const std::string memory = AppFolder() + "/TarnFtpPassive.txt";
    int fallbacks = 0;
    bool rememberedBeforeRetry = false;
    auto fallback = FrmFTP->FtpClient1->OnPassiveFallback;
    FrmFTP->FtpClient1->OnPassiveFallback = [&](TObject* sender) {
        ++fallbacks;
        rememberedBeforeRetry = rememberedBeforeRetry || std::filesystem::exists(memory);
        fallback(sender);
    };
    QElapsedTimer sinceConnect;
    qint64 firstListingMs = -1;
    std::string rememberedAfterListing;
    bool downloaded = false;
    WhenModal([&] {
        struct ReturnAtEnd {
            ~ReturnAtEnd() { ClickOn(FrmFTP->CmdExit); }
        } returnAtEnd;
        EXPECT_EQ(QGuiApplication::platformName(), "xcb");
        const bool listed = PumpUntil([&] { return Connected() && RowOf("big.bin") >= 0; },
                                      kFirstListingMs - static_cast<int>(sinceConnect.elapsed()));
        ASSERT_TRUE(listed) << "no listing " << kFirstListingMs << " ms after Connect\n" << Joined(Log());
        firstListingMs = sinceConnect.elapsed();
        rememberedAfterListing = ReadLocal(memory);

        auto* tree = static_cast<QTreeWidget*>(FrmFTP->ListView1->Widget());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(tree->topLevelItem(RowOf("big.bin"))).center());
        ClickOn(FrmFTP->RadBinary);
        ClickOn(FrmFTP->Image4);
        ASSERT_TRUE(PumpUntil([&] { return Connected(); }, 600000)) << Joined(Log());
        downloaded = IsRandomFile(Work + "/big.bin", kSize, kSeed);
    });
    sinceConnect.start();
    ClickOn(Frmfirst->CmdDownload);  // Connect

    RecordProperty("firstListingMs", static_cast<int>(firstListingMs));
    EXPECT_TRUE(downloaded) << Joined(Log());
    EXPECT_EQ(fallbacks, 1);
    EXPECT_FALSE(rememberedBeforeRetry);
    EXPECT_EQ(rememberedAfterListing, site + "\n");
    EXPECT_EQ(Value("Passive"), "<missing>");
    int successes = 0, fallbackLines = 0, lost = 0;
    for (const std::string& line : Log()) {
        successes += line == "SUCCESSFULLY Transferred Data. It is now displayed.";
        fallbackLines += line == kFallback;
        lost += line.rfind("Lost the connection", 0) == 0;
    }
    EXPECT_EQ(successes, 1) << Joined(Log());
    EXPECT_EQ(fallbackLines, 1) << Joined(Log());
    EXPECT_EQ(lost, 0) << Joined(Log());
    EXPECT_TRUE(Boxes->Records.empty());
    // Two logins: the first stuck after LIST, the second passive, back in the
    // same folder and type.
    const std::vector<std::string> words = Words(server.Commands());
    std::vector<std::string> data;
    for (const std::string& w : words)
        if (w == "PORT" || w == "PASV" || w == "LIST" || w.rfind("RETR", 0) == 0 || w.rfind("USER", 0) == 0 ||
            w.rfind("CWD", 0) == 0)
            data.push_back(w.rfind("CWD", 0) == 0 ? "CWD" : w);
    EXPECT_EQ(data, (std::vector<std::string>{"USER " + server.User(), "PORT", "LIST", "USER " + server.User(),
                                              "CWD", "PASV", "LIST", "PASV", "RETR big.bin", "PASV", "LIST"}))
        << server.ProtocolLog();
}

}  // namespace

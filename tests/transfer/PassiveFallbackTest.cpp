// The transfer window behind a router that active mode cannot pass: a server
// that refuses PORT makes the session go passive once, the window remembers
// it for that server (only once passive mode worked, and until it fails
// there) for the next visit, and a server that takes PORT sees exactly what
// it always saw.
#include <filesystem>
#include <string>
#include <vector>

#include "ServerFixture.h"
#include "TestFiles.h"

namespace {

const std::string kFallback = "Active mode failed; using passive mode for this session.";

class PassiveFallback : public ServerTest {
protected:
    std::string Memory() const { return ReadLocal(AppFolder() + "/TarnFtpPassive.txt"); }
    static std::string KeyOf(const peers::FtpServerPeer& server) {
        return "127.0.0.1:" + std::to_string(server.Port());
    }

    // Connects the window already started to server and waits for the
    // first listing.
    void ConnectShown(const peers::FtpServerPeer& server) {
        Target(server);
        FrmFTP->CmdconnectClick(nullptr);
        ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
        Settle();
    }

    // Behind a router active mode cannot pass, seen through ftp: the first
    // listing's active attempt (firstListing: the commands from PORT to the
    // passive LIST) fails, the same LIST runs passive, and nothing of it
    // reaches the user but the one log line; download and upload stay
    // passive, and the next visit starts passive at once.
    void GoesPassiveForTheSessionAndTheNextVisit(peers::FtpServerPeer& ftp,
                                                 const std::vector<std::string>& firstListing) {
        const std::string data = RandomBytes(200000);
        ASSERT_TRUE(ftp.PutFile("data.bin", data));
        WriteLocal(Local + "/up.bin", RandomBytes(70000, 3));

        StartIn(Local);
        ConnectShown(ftp);
        std::vector<std::string> login{"USER " + ftp.User(), "PASS", "PWD", "TYPE A"};
        std::vector<std::string> expected = login;
        expected.insert(expected.end(), firstListing.begin(), firstListing.end());
        EXPECT_EQ(Words(ftp.Commands()), expected);
        EXPECT_GE(RowOf("data.bin"), 0) << Joined(Log());
        EXPECT_EQ(LogCount(kFallback), 1);
        EXPECT_TRUE(Boxes->Records.empty());
        // Remembered for this server alone; the settings key keeps its
        // meaning (passive for every site, set by hand) and is not written.
        EXPECT_EQ(Memory(), KeyOf(ftp) + "\n");
        EXPECT_EQ(Value("Passive"), "<missing>");

        size_t mark = ftp.Commands().size();
        // Binary both ways: pyftpdlib converts line ends in ASCII mode.
        FrmFTP->RadBinary->SetChecked(true);
        ClickRow("data.bin");
        ClickOn(FrmFTP->Label4);
        Settle();
        EXPECT_TRUE(ReadLocal(Local + "/data.bin") == data);
        FrmFTP->FileListBox1->Update();
        const std::vector<std::string> files = FrmFTP->FileListBox1->Items();
        const auto up = std::find(files.begin(), files.end(), "up.bin");
        ASSERT_NE(up, files.end());
        ClickItem(FrmFTP->FileListBox1, static_cast<int>(up - files.begin()));
        ClickOn(FrmFTP->Image5);
        Settle();
        EXPECT_TRUE(ftp.FileContent("up.bin") == RandomBytes(70000, 3));
        for (const std::string& c : Words(CommandsSince(ftp, mark))) EXPECT_NE(c, "PORT");
        EXPECT_EQ(LogCount(kFallback), 1);
        EXPECT_EQ(LogCount("SUCCESSFULLY Transferred Data. It is now displayed."), 2);
        EXPECT_TRUE(Boxes->Records.empty());

        FrmFTP->FtpClient1->Quit();
        Settle();
        Restart();
        FrmFTP->Show();
        mark = ftp.Commands().size();
        ConnectShown(ftp);
        expected = login;
        expected.insert(expected.end(), {"PASV", "LIST"});
        EXPECT_EQ(Words(CommandsSince(ftp, mark)), expected);
        EXPECT_EQ(LogCount(kFallback), 0);
        EXPECT_GE(RowOf("up.bin"), 0);
        // While this test's server still runs.
        FrmFTP->FtpClient1->Quit();
        Settle();
    }
};

TEST_F(PassiveFallback, RefusedPortGoesPassiveForTheSessionAndTheNextVisit) {
    peers::VsftpdServer::Options options;
    options.ExtraConfig = {"port_enable=NO"};
    peers::VsftpdServer ftp(options);
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    GoesPassiveForTheSessionAndTheNextVisit(ftp, {"PORT", "PASV", "LIST"});
}

// The server takes PORT and gives its go-ahead, but its connection never
// arrives: a few seconds after LIST the listing is abandoned with ABOR and
// NOOP and runs passive.
TEST_F(PassiveFallback, GoAheadWithoutADataConnectionGoesPassiveForTheSessionAndTheNextVisit) {
    peers::PyftpdlibServer::Options options;
    options.Mode = "port_black_hole";
    peers::PyftpdlibServer ftp(options);
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    GoesPassiveForTheSessionAndTheNextVisit(ftp, {"PORT", "LIST", "ABOR", "NOOP", "PASV", "LIST"});
}

TEST_F(PassiveFallback, ServerTakingPortSeesTheActiveSessionUnchanged) {
    ASSERT_TRUE(Server()->PutFile("a.txt", "a"));
    StartIn(Local);
    const size_t mark = Server()->Commands().size();
    ConnectShown(*Server());
    EXPECT_EQ(Words(CommandsSince(*Server(), mark)),
              (std::vector<std::string>{"USER " + Server()->User(), "PASS", "PWD", "TYPE A", "PORT", "LIST"}));
    EXPECT_GE(RowOf("a.txt"), 0);
    EXPECT_EQ(LogCount(kFallback), 0);
    // A file without the key stays without it.
    EXPECT_EQ(Value("Passive"), "<missing>");
    EXPECT_EQ(Memory(), "");
}

// Nothing is remembered for a server whose passive retry failed too; a
// remembered server whose passive mode fails later is forgotten and tried
// active again; and [Options] Passive=1, set by hand, still makes every site
// passive without anything being remembered.
TEST_F(PassiveFallback, PassiveIsRememberedOnlyOnceItWorkedAndForgottenWhenItFails) {
    peers::VsftpdServer::Options neither;
    neither.ExtraConfig = {"port_enable=NO", "pasv_enable=NO"};
    peers::VsftpdServer closed(neither);
    ASSERT_TRUE(closed.Start()) << closed.Error();
    StartIn(Local);
    Target(closed);
    FrmFTP->CmdconnectClick(nullptr);
    Settle();
    EXPECT_EQ(LogCount(kFallback), 1);
    EXPECT_EQ(RowOf("a.txt"), -1);
    EXPECT_EQ(Words(closed.Commands()).back(), "PASV");
    EXPECT_EQ(Memory(), "");
    FrmFTP->FtpClient1->Quit();
    Settle();

    peers::VsftpdServer::Options activeOnly;
    activeOnly.ExtraConfig = {"pasv_enable=NO"};
    peers::VsftpdServer moved(activeOnly);
    ASSERT_TRUE(moved.Start()) << moved.Error();
    ASSERT_TRUE(moved.PutFile("a.txt", "a"));
    WriteLocal(AppFolder() + "/TarnFtpPassive.txt", "ftp.example.org:21\n" + KeyOf(moved) + "\n");
    Restart();
    FrmFTP->Show();
    Boxes->Records.clear();
    Target(moved);
    FrmFTP->CmdconnectClick(nullptr);
    Settle();
    EXPECT_TRUE(Logged("Passive mode failed; active mode will be tried first again.")) << Joined(Log());
    EXPECT_EQ(Memory(), "ftp.example.org:21\n");
    Relist();
    EXPECT_GE(RowOf("a.txt"), 0) << Joined(Log());
    EXPECT_EQ(Words(moved.Commands()),
              (std::vector<std::string>{"USER " + moved.User(), "PASS", "PWD", "TYPE A", "PASV", "PORT",
                                        "LIST"}));
    EXPECT_EQ(Memory(), "ftp.example.org:21\n");
    FrmFTP->FtpClient1->Quit();
    Settle();

    ASSERT_TRUE(Server()->PutFile("b.txt", "b"));
    PlaceIni("[Options]\nPassive=1\n[History]\nLast DirBox=" + Local + "\n");
    Restart();
    FrmFTP->Show();
    const size_t mark = Server()->Commands().size();
    ConnectShown(*Server());
    EXPECT_EQ(Words(CommandsSince(*Server(), mark)),
              (std::vector<std::string>{"USER " + Server()->User(), "PASS", "PWD", "TYPE A", "PASV", "LIST"}));
    EXPECT_GE(RowOf("b.txt"), 0);
    EXPECT_EQ(Value("Passive"), "1");
    EXPECT_EQ(Memory(), "ftp.example.org:21\n");
}

}  // namespace

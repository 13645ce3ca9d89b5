// The server session of the transfer window against real servers on
// 127.0.0.1: the hand-over through Timer1, the Connect toggle, the
// completion table's reports and follow-ups, a refused login, a dropped
// connection and a time-out.
#include <cctype>
#include <filesystem>

#include <QDir>

#include "SessionFixture.h"
#include "platform/ProgramPaths.h"

namespace {

const std::string kTimeout =
    "A timeout has occurred. The server may be down, or your address you entered may not be correct. Also make "
    "sure your password and user id is correct as this is a common cause of a server timeout.";
const std::string kLoginRefused =
    "Your password or user id appears to be incorrect. Please press \"Return\" and try entering it again. (Make "
    "sure your caps lock key is not on).";

// Every byte but letters and digits as %XX, as a URL carries it.
std::string UrlEscaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c)) out += static_cast<char>(c);
        else out += "%" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15];
    }
    return out;
}

}  // namespace

TEST_F(SessionTest, HandOverConnectsThroughTimer1ListsAndReturnQuits) {
    peers::VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.MakeFolder("docs"));
    ASSERT_TRUE(ftp.PutFile("b.txt", "content"));
    ASSERT_TRUE(ftp.PutFile("Zeta.txt", "z"));
    ASSERT_TRUE(ftp.PutFile("alpha", "a"));
    ASSERT_TRUE(ftp.PutFile("old report.txt", "r"));

    PlaceIni("[Options]\nSortD=1\n[History]\nLast DirBox=" + Work + "\n");
    Start();
    TFrmFTP* w = FrmFTP;
    Host = "127.0.0.1:" + std::to_string(ftp.Port());
    EXPECT_FALSE(w->ListView1->Enabled());

    bool seen = false;
    WhenModal([&] {
        seen = true;
        // Nothing happens until Timer1 fires.
        EXPECT_TRUE(w->Timer1->Enabled());
        EXPECT_EQ(w->ListInfo->Count(), 0);
        ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
        EXPECT_FALSE(w->Timer1->Enabled());

        EXPECT_EQ(Log(), (std::vector<std::string>{"Connecting to server " + Host, "Please be patient...",
                                                   "The directory list is now being displayed.",
                                                   "SUCCESSFULLY connected to server " + Host}));
        EXPECT_EQ(w->ListInfo->ItemIndex(), 3);
        // The greeting arrives while the connect runs: its refresh leaves the
        // engine alone, and the listing after PWD sets the type itself.
        EXPECT_EQ(Words(ftp.Commands()), (std::vector<std::string>{"USER " + ftp.User(), "PASS",
                                                                   "PWD", "TYPE A", "PORT", "LIST"}));
        EXPECT_FALSE(w->FtpClient1->Binary());
        EXPECT_EQ(w->LblRemoteDir->Caption(), ftp.Home());

        // "Order by Data Type": folders first, then by bytes.
        EXPECT_EQ(Rows(), (std::vector<std::string>{"..", "docs", "Zeta.txt", "alpha", "b.txt", "old report.txt"}));
        EXPECT_EQ(w->ListView1->StateIndex(0), 2);
        EXPECT_EQ(w->ListView1->StateIndex(1), 0);
        EXPECT_EQ(w->ListView1->StateIndex(4), 1);
        EXPECT_TRUE(w->ListView1->SubItems(0).empty());
        ASSERT_EQ(w->ListView1->SubItems(4).size(), 2u);
        EXPECT_EQ(w->ListView1->SubItems(4)[0], "7");
        // Only ".." highlighted, and no row has the focus.
        EXPECT_TRUE(w->ListView1->Selected(0));
        EXPECT_EQ(w->ListView1->SelCount(), 1);
        EXPECT_EQ(w->ListView1->ItemFocused(), -1);
        EXPECT_FALSE(std::filesystem::exists(ListingFile));
        EXPECT_EQ(w->ListView1->Cursor(), crDefault);
        EXPECT_EQ(App->Cursor(), crDefault);

        ClickOn(w->CmdExit);
    });
    w->HandOver(ftp.User(), Host, ftp.Password());
    EXPECT_TRUE(seen);
    EXPECT_FALSE(w->Visible());
    EXPECT_EQ(w->ListInfo->Strings(w->ListInfo->Count() - 1), "Disconnected from server " + Host);
    EXPECT_EQ(w->CmdConnect->Caption(), "Connect");
    EXPECT_TRUE(ftp.WaitForCommand("QUIT"));
    EXPECT_FALSE(w->FtpClient1->Connected());
}

TEST_F(SessionTest, ToggleDisconnectsAndConnectsAgain) {
    peers::PyftpdlibServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.PutFile("a.txt", "a"));
    ConnectTo(ftp);
    ASSERT_EQ(Rows(), (std::vector<std::string>{"..", "a.txt"}));

    ClickOn(FrmFTP->CmdConnect);
    EXPECT_EQ(Log().back(), "Disconnected from server " + Host);
    EXPECT_EQ(FrmFTP->ListInfo->ItemIndex(), FrmFTP->ListInfo->Count() - 1);
    EXPECT_EQ(FrmFTP->ListView1->Count(), 0);
    EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Connect");
    EXPECT_EQ(ftp.Commands().back(), "QUIT");
    // The server's close after our QUIT is no lost connection.
    PumpFor(300);
    EXPECT_EQ(Log().back(), "Disconnected from server " + Host);

    const size_t mark = ftp.Commands().size();
    ClickOn(FrmFTP->CmdConnect);
    ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"..", "a.txt"}));
    EXPECT_EQ(Words(CommandsSince(ftp, mark)),
              (std::vector<std::string>{"USER " + ftp.User(), "PASS", "PWD", "PORT", "LIST"}));
}

TEST_F(SessionTest, RefusedLoginShowsTheBoxAndTheNextClickDisconnects) {
    peers::VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    StartIn(Work);
    Target(ftp, "wrong-password");
    FrmFTP->Timer1->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return !Boxes->Records.empty() && FrmFTP->ListView1->Enabled(); }));
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{kLoginRefused});
    EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Connect");
    EXPECT_FALSE(Logged("SUCCESSFULLY connected to server " + Host));
    EXPECT_EQ(FrmFTP->ListView1->Count(), 0);

    // vsftpd keeps the connection for another try: the toggle goes by the
    // engine, not by its caption.
    ASSERT_TRUE(FrmFTP->FtpClient1->Connected());
    ClickOn(FrmFTP->CmdConnect);
    EXPECT_EQ(Log().back(), "Disconnected from server " + Host);
    EXPECT_TRUE(ftp.WaitForCommand("QUIT"));
}

TEST_F(SessionTest, DroppedConnectionIsLoggedAndTheToggleConnectsAgain) {
    peers::PyftpdlibServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ConnectTo(ftp);
    const size_t rows = Rows().size();

    ftp.Stop();
    ASSERT_TRUE(PumpUntil([&] { return Logged("Lost the connection to server " + Host); })) << Joined(Log());
    EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Connect");
    EXPECT_FALSE(FrmFTP->FtpClient1->Connected());
    // The last listing stays on view.
    EXPECT_EQ(Rows().size(), rows);
    EXPECT_TRUE(Boxes->Records.empty());

    // With the server gone, connecting fails at the socket level.
    ClickOn(FrmFTP->CmdConnect);
    ASSERT_TRUE(PumpUntil([&] { return !Boxes->Records.empty(); }));
    EXPECT_EQ(Boxes->Records[0].Type, mtCustom);
    EXPECT_EQ(Boxes->Records[0].Text.rfind("Error ", 0), 0u) << Boxes->Records[0].Text;
    EXPECT_GT(Boxes->Records[0].Text.size(), 6u);
    EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Connect");
    EXPECT_TRUE(FrmFTP->ListView1->Enabled());
}

TEST_F(SessionTest, SilentServerTimesOutWithTheTimeoutBox) {
    peers::PyftpdlibServer ftp({.Mode = "silent_after_login"});
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    StartIn(Work);
    Target(ftp);
    FrmFTP->FtpClient1->Timeout = 1;
    FrmFTP->Timer1->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return !ErrorTexts().empty() && FrmFTP->ListView1->Enabled(); }));
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{kTimeout});
    // The time-out dropped the session: the caption offers to connect again.
    EXPECT_FALSE(FrmFTP->FtpClient1->Connected());
    EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Connect");
}

TEST_F(SessionTest, ServerRefusalsReportTheReplyAndStillRefresh) {
    peers::VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.PutFile("gone.txt", "x"));
    ASSERT_TRUE(ftp.PutFile("keep.txt", "x"));
    ConnectTo(ftp);
    TFtpClient* engine = FrmFTP->FtpClient1;

    // DELE refused: the server's reply, a fresh listing, no success line.
    size_t mark = ftp.Commands().size();
    engine->HostFileName = "missing.txt";
    FrmFTP->LastDeletedName = "missing.txt";
    engine->Dele();
    ASSERT_TRUE(PumpUntil([&] { return !Boxes->Records.empty(); }));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error 550 Delete operation failed."});
    EXPECT_EQ(Words(CommandsSince(ftp, mark)), (std::vector<std::string>{"DELE missing.txt", "PORT", "LIST"}));
    EXPECT_FALSE(Logged("SUCCESSFULLY deleted file missing.txt"));

    // DELE accepted: the row is gone and the success line names the file.
    engine->HostFileName = "gone.txt";
    FrmFTP->LastDeletedName = "gone.txt";
    engine->Dele();
    ASSERT_TRUE(PumpUntil([&] { return Logged("SUCCESSFULLY deleted file gone.txt"); }));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"..", "keep.txt"}));
    EXPECT_EQ(Boxes->Records.size(), 1u);
}

// The completion table's reports, by Error alone, and the follow-ups that
// need no server.
TEST_F(SessionTest, CompletionTableReports) {
    StartIn(Work);
    TFrmFTP* w = FrmFTP;
    w->AddLogLine("first");
    w->AddLogLine("second");
    w->ListInfo->SetItemIndex(0);

    w->FtpClient1RequestDone(w->FtpClient1, ftpQuitAsync, 0);
    EXPECT_TRUE(Boxes->Records.empty());
    EXPECT_EQ(w->ListInfo->Count(), 2);

    // 200: a log line, the selection stays where it was.
    w->FtpClient1RequestDone(w->FtpClient1, ftpTypeSetAsync, 200);
    EXPECT_EQ(Log().back(), "Succesfully Completed. Code returned: ");
    EXPECT_EQ(w->ListInfo->ItemIndex(), 0);
    EXPECT_TRUE(Boxes->Records.empty());

    w->FtpClient1RequestDone(w->FtpClient1, ftpQuitAsync, 426);
    w->FtpClient1RequestDone(w->FtpClient1, ftpQuitAsync, 530);
    w->FtpClient1RequestDone(w->FtpClient1, ftpQuitAsync, 553);
    w->FtpClient1RequestDone(w->FtpClient1, ftpQuitAsync, 10061);
    ASSERT_EQ(Boxes->Records.size(), 4u);
    EXPECT_EQ(ErrorTexts(), (std::vector<std::string>{kTimeout, kLoginRefused,
                                                       "You do not have authorization to access this area."}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Boxes->Records[static_cast<size_t>(i)].Buttons, unsigned(mbOK));
    EXPECT_EQ(Boxes->Records[3].Type, mtCustom);
    EXPECT_EQ(Boxes->Records[3].Text, "Error ");

    // A failed connect leaves the caption; a transfer's end clears the busy
    // state whatever the result.
    w->FtpClient1RequestDone(w->FtpClient1, ftpConnectAsync, 10061);
    EXPECT_EQ(w->CmdConnect->Caption(), "Connect");
    w->SetBusy();
    EXPECT_FALSE(w->ListView1->Enabled());
    EXPECT_EQ(w->CmdServDel->Cursor(), crHourGlass);
    EXPECT_EQ(w->Cursor(), crHourGlass);
    w->FtpClient1RequestDone(w->FtpClient1, ftpGetAsync, 550);
    EXPECT_TRUE(w->ListView1->Enabled());
    EXPECT_EQ(w->CmdServDel->Cursor(), crDefault);
    EXPECT_EQ(w->GroupBox3->Cursor(), crDefault);
    EXPECT_EQ(w->Cursor(), crDefault);

    // Success lines only for Error 0.
    w->LastDeletedName = "x.txt";
    w->FtpClient1RequestDone(w->FtpClient1, ftpDeleAsync, 550);
    EXPECT_FALSE(Logged("SUCCESSFULLY deleted file x.txt"));
    w->FtpClient1RequestDone(w->FtpClient1, ftpDeleAsync, 0);
    EXPECT_EQ(Log().back(), "SUCCESSFULLY deleted file x.txt");
    w->FtpClient1RequestDone(w->FtpClient1, ftpRenAsync, 550);
    EXPECT_FALSE(Logged("SUCCESSFULLY renamed file."));
    w->FtpClient1RequestDone(w->FtpClient1, ftpRenAsync, 0);
    EXPECT_EQ(Log().back(), "SUCCESSFULLY renamed file.");
}

// A pasted ftp:// URL: host and port reach the engine, the URL's user and
// password stand in only for empty boxes, and its folder opens after the
// login. The host box (the site's record) keeps the text as pasted.
TEST_F(SessionTest, PastedUrlConnectsToItsPortAndOpensItsFolder) {
    peers::VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.MakeFolder("docs"));
    ASSERT_TRUE(ftp.PutFile("docs/inside.txt", "i"));
    ASSERT_TRUE(ftp.PutFile("top.txt", "t"));
    const std::string port = std::to_string(ftp.Port());
    const std::string url =
        "ftp://" + UrlEscaped(ftp.User()) + ":" + UrlEscaped(ftp.Password()) + "@127.0.0.1:" + port + "/docs";

    StartIn(Work);
    FrmFTP->EdServer->SetText(url);
    FrmFTP->Timer1->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("inside.txt") >= 0; })) << Joined(Log());
    EXPECT_EQ(Words(ftp.Commands()), (std::vector<std::string>{"USER " + ftp.User(), "PASS", "CWD docs", "PWD",
                                                               "TYPE A", "PORT", "LIST"}));
    EXPECT_EQ(FrmFTP->LblRemoteDir->Caption(), ftp.Home() + "/docs");
    EXPECT_EQ(FrmFTP->EdServer->Text(), url);
    EXPECT_EQ(FrmFTP->EdUserID->Text(), "");
    EXPECT_EQ(FrmFTP->FtpClient1->HostName, "127.0.0.1");
    EXPECT_EQ(FrmFTP->FtpClient1->Port, port);
    // Shown and logged without the password.
    EXPECT_EQ(Log().front(), "Connecting to server " + ftp.User() + "@127.0.0.1:" + port);
    EXPECT_TRUE(Boxes->Records.empty());

    // The boxes give what the URL does not; without a folder the session
    // starts in the login folder.
    ClickOn(FrmFTP->CmdConnect);
    ASSERT_TRUE(PumpUntil([&] { return !FrmFTP->FtpClient1->Connected(); }));
    FrmFTP->EdServer->SetText("ftp://127.0.0.1:" + port);
    FrmFTP->EdUserID->SetText(ftp.User());
    FrmFTP->EdPassword->SetText(ftp.Password());
    const size_t mark = ftp.Commands().size();
    ClickOn(FrmFTP->CmdConnect);
    ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("top.txt") >= 0; })) << Joined(Log());
    EXPECT_EQ(Words(CommandsSince(ftp, mark)),
              (std::vector<std::string>{"USER " + ftp.User(), "PASS", "PWD", "PORT", "LIST"}));
    EXPECT_EQ(FrmFTP->LblRemoteDir->Caption(), ftp.Home());
}

// Ports that cannot be reached, and an escaped line break that would end a
// command early: said in the log and a box, and nothing goes out.
TEST_F(SessionTest, UnusableAddressesAreRefusedBeforeAnyConnect) {
    StartIn(Work);
    const std::string before = FrmFTP->FtpClient1->HostName;
    for (const std::string text : {"127.0.0.1:0", "127.0.0.1:99999", "127.0.0.1:abc", "127.0.0.1:", ":21",
                                    "ftp://127.0.0.1:70000/", "ftp://127.0.0.1:1/a%0D%0ADELE%20x"}) {
        Boxes->Records.clear();
        FrmFTP->ListInfo->Clear();
        FrmFTP->EdServer->SetText(text);
        ClickOn(FrmFTP->CmdConnect);
        ASSERT_EQ(ErrorTexts().size(), 1u) << text;
        EXPECT_EQ(ErrorTexts()[0].rfind("Cannot connect: ", 0), 0u) << ErrorTexts()[0];
        EXPECT_NE(ErrorTexts()[0].find(text), std::string::npos) << ErrorTexts()[0];
        EXPECT_EQ(Log(), std::vector<std::string>{ErrorTexts()[0]});
        EXPECT_EQ(FrmFTP->FtpClient1->HostName, before) << text;
        EXPECT_EQ(FrmFTP->FtpClient1->State(), fesReady) << text;
        EXPECT_TRUE(FrmFTP->ListView1->Enabled());
    }
    EXPECT_EQ(ErrorTexts()[0], "Cannot connect: the address ftp://127.0.0.1:1/a%0D%0ADELE%20x holds a line break "
                               "in its user, password or folder.");
    Boxes->Records.clear();
    FrmFTP->EdServer->SetText("127.0.0.1:99999");
    ClickOn(FrmFTP->CmdConnect);
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{
                                "Cannot connect: bad port in 127.0.0.1:99999 (a port is a number from 1 to 65535)."});
}

TEST_F(SessionTest, ScreenshotConnectedWithAListing) {
    peers::VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.MakeFolder("docs"));
    ASSERT_TRUE(ftp.MakeFolder("images"));
    ASSERT_TRUE(ftp.PutFile("readme.txt", std::string(1234, 'r')));
    ASSERT_TRUE(ftp.PutFile("report 2024.pdf", std::string(56789, 'p')));
    ASSERT_TRUE(ftp.PutFile("site.tar.gz", std::string(4321, 's')));
    ConnectTo(ftp);
    ASSERT_EQ(Rows().size(), 6u);
    QDir().mkpath(TARN_SCREENSHOT_DIR);
    const QString path = QString(TARN_SCREENSHOT_DIR) + "/transfer-session.png";
    ASSERT_TRUE(FrmFTP->Widget()->grab().save(path));
}

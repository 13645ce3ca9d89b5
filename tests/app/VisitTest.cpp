// Visits to the transfer window from the site manager against a real vsftpd
// on 127.0.0.1, as a user makes them: every way of leaving ends the session,
// Enter in the filter box stays in the window, and a pasted URL's password is
// used but never shown.
#include <functional>
#include <string>
#include <vector>

#include <QCloseEvent>
#include <QTimer>

#include "app/Project1.h"
#include "sites/Ufirst.h"
#include "transfer/SessionFixture.h"

namespace {

class VisitTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        PlaceIni("[Options]\n[History]\nLast DirBox=" + Work + "\n");
        StartUp();
        Frmfirst->Show();
    }

    // Connect in the site manager; inside runs while the transfer window is
    // shown, and must leave it.
    void VisitFromSiteManager(const std::function<void()>& inside) {
        bool seen = false;
        WhenModal([&] {
            seen = true;
            inside();
        });
        ClickOn(Frmfirst->CmdDownload);
        EXPECT_TRUE(seen);
        EXPECT_FALSE(FrmFTP->Visible());
    }

    // Every text the user could see: the log, the boxes, both windows'
    // titles and every box of the site manager but the password's.
    std::vector<std::string> ShownTexts() const {
        std::vector<std::string> texts = Log();
        for (const std::string& text : BoxTexts()) texts.push_back(text);
        for (TEdit* edit : {Frmfirst->Edwebsite, Frmfirst->EdName, Frmfirst->EdUser, Frmfirst->EdComments})
            texts.push_back(edit->Text());
        texts.push_back(Frmfirst->Caption());
        texts.push_back(FrmFTP->Caption());
        texts.push_back(FrmFTP->EdServer->Text());
        return texts;
    }
};

TEST_F(VisitTest, EveryWayOfLeavingEndsTheSessionAndEnterStaysInTheFilter) {
    peers::VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.PutFile("a.txt", "a"));
    Write(Work + "/alpha.txt", "");
    Write(Work + "/beta.txt", "");
    FrmFTP->FileListBox1->Update();
    const std::string host = "127.0.0.1:" + std::to_string(ftp.Port());
    Frmfirst->Edwebsite->SetText(host);
    Frmfirst->EdUser->SetText(ftp.User());
    Frmfirst->Edpwd->SetText(ftp.Password());

    struct Way {
        const char* name;
        std::function<void()> leave;
    };
    const std::vector<Way> ways = {
        {"Esc", [] { QTest::keyClick(FrmFTP->Widget(), Qt::Key_Escape); }},
        {"close box", [] { FrmFTP->Widget()->close(); }},
        {"window manager", [] {
             QCloseEvent event;
             QApplication::sendEvent(FrmFTP->Widget(), &event);
         }},
        {"Return", [] { ClickOn(FrmFTP->CmdExit); }},
    };
    bool first = true;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const size_t mark = ftp.Commands().size();
        VisitFromSiteManager([&] {
            // The connect connects: no session was left from the last visit.
            ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("a.txt") >= 0; })) << Joined(Log());
            if (first) {
                // Enter applies the filter and leaves the window open.
                QWidget* filter = FrmFTP->EdFilter->Widget();
                TypeText(filter, "alp");
                QTest::keyClick(filter, Qt::Key_Return);
                QTest::keyClick(filter, Qt::Key_Enter);
                PumpFor(100);
                EXPECT_TRUE(FrmFTP->Visible());
                EXPECT_EQ(FrmFTP->ModalResult(), mrNone);
                EXPECT_EQ(FrmFTP->FileListBox1->Items(), std::vector<std::string>{"alpha.txt"});
                first = false;
            }
            way.leave();
        });
        EXPECT_FALSE(FrmFTP->FtpClient1->Connected());
        EXPECT_EQ(Log().back(), "Disconnected from server " + host);
        EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Connect");
        const std::vector<std::string> sent = Words(CommandsSince(ftp, mark));
        EXPECT_EQ(sent.front(), "USER " + ftp.User());
        EXPECT_EQ(sent.back(), "QUIT");
    }
    EXPECT_TRUE(Boxes->Records.empty()) << BoxTexts().front();

    // Esc while the connect still waits for a greeting that never comes: the
    // window closes at once, the connection is dropped without a box, and
    // the next visit connects.
    peers::ScriptedPeer silent({peers::ExpectPeerClose()}, 1, peers::Millis(20000));
    ASSERT_TRUE(silent.Start());
    Frmfirst->Edwebsite->SetText("127.0.0.1:" + std::to_string(silent.Port()));
    VisitFromSiteManager([] {
        // Timer1's connect runs its own loop: Esc comes in from there.
        QTimer::singleShot(1500, [] { QTest::keyClick(FrmFTP->Widget(), Qt::Key_Escape); });
    });
    EXPECT_FALSE(FrmFTP->FtpClient1->Connected());
    EXPECT_TRUE(PumpUntil([&] { return silent.WaitDone(peers::Millis(10)); }));
    EXPECT_EQ(silent.Failure(), "") << Joined(Log());
    EXPECT_TRUE(Boxes->Records.empty()) << BoxTexts().front();
    Frmfirst->Edwebsite->SetText(host);
    VisitFromSiteManager([&] {
        ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("a.txt") >= 0; })) << Joined(Log());
        ClickOn(FrmFTP->CmdExit);
    });
}

TEST_F(VisitTest, PastedUrlsPasswordIsUsedAndNeverShown) {
    peers::VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.PutFile("docs/inside.txt", "i"));
    const std::string secret = ftp.Password(), at = "@127.0.0.1:" + std::to_string(ftp.Port());
    const std::string url = "ftp://" + ftp.User() + ":" + secret + at + "/docs";
    const std::string shown = ftp.User() + at;

    // The URL's password wins over an empty box, then over a wrong one.
    for (const std::string typed : {"", "wrong"}) {
        SCOPED_TRACE("typed password: " + typed);
        Frmfirst->Edwebsite->SetText(url);
        Frmfirst->EdUser->SetText("somebody");
        Frmfirst->Edpwd->SetText(typed);
        FrmFTP->ListInfo->Clear();
        VisitFromSiteManager([&] {
            ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("inside.txt") >= 0; })) << Joined(Log());
            EXPECT_EQ(Log().front(), "Connecting to server " + shown);
            EXPECT_TRUE(Logged("SUCCESSFULLY connected to server " + shown)) << Joined(Log());
            EXPECT_EQ(FrmFTP->LblRemoteDir->Caption(), ftp.Home() + "/docs");
            for (const std::string& text : ShownTexts()) EXPECT_EQ(text.find(secret), std::string::npos) << text;
            ClickOn(FrmFTP->CmdExit);
        });
        EXPECT_EQ(Log().back(), "Disconnected from server " + shown);
        // The host box keeps an address that connects; the password went to its box.
        EXPECT_EQ(Frmfirst->Edwebsite->Text(), "ftp://" + ftp.User() + at + "/docs");
        EXPECT_EQ(Frmfirst->EdUser->Text(), ftp.User());
        EXPECT_EQ(Frmfirst->Edpwd->Text(), secret);
        for (const std::string& text : ShownTexts()) EXPECT_EQ(text.find(secret), std::string::npos) << text;
        EXPECT_TRUE(Boxes->Records.empty()) << BoxTexts().front();
    }

    // A "/" in the password must be escaped: said without echoing it, and
    // no visit starts.
    Frmfirst->Edwebsite->SetText("ftp://" + ftp.User() + ":se/cret" + at);
    Frmfirst->Edpwd->Clear();
    ClickOn(Frmfirst->CmdDownload);
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_NE(ErrorTexts()[0].find("%2F"), std::string::npos) << ErrorTexts()[0];
    EXPECT_EQ(ErrorTexts()[0].find("se/"), std::string::npos) << ErrorTexts()[0];
    EXPECT_EQ(ErrorTexts()[0].find("cret"), std::string::npos) << ErrorTexts()[0];
    EXPECT_FALSE(FrmFTP->Visible());
    EXPECT_EQ(Frmfirst->Edpwd->Text(), "");
}

}  // namespace

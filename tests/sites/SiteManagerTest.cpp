#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>
#include <QPixmap>

#include "GuiFixture.h"
#include "SiteFileBytes.h"
#include "platform/ProgramPaths.h"
#include "sites/Ufirst.h"
#include "sites/Usettings.h"

namespace {

struct HandOver {
    std::string User, Host, Password;
};

class SiteManagerTest : public GuiTest {
protected:
    std::string SitePath() const { return AppFolder() + "/TARN25.DAT"; }

    // Puts a site file in place before the window starts.
    void PlaceFile(const std::string& bytes) {
        std::filesystem::create_directories(AppFolder());
        WriteBytes(SitePath(), bytes);
    }
    static std::string FileOf(std::vector<std::string> records, size_t total = 300) {
        std::string bytes;
        for (size_t i = 0; i < total; ++i) bytes += i < records.size() ? records[i] : BlankRecord();
        return bytes;
    }

    TFrmfirst* Start() {
        App->CreateForm(Frmfirst);
        Frmfirst->OnHandOver = [this](const std::string& u, const std::string& h, const std::string& p) {
            HandOvers.push_back({u, h, p});
        };
        return Frmfirst;
    }
    // Restarts the program's windows on the same files.
    TFrmfirst* Restart() {
        App.reset();
        App = std::make_unique<TApplication>();
        App->SetTitle("Tarnwick FTP");
        return Start();
    }

    static void Type(TEdit* edit, const std::string& text) {
        edit->Clear();
        TypeText(edit->Widget(), QString::fromUtf8(text.c_str()));
    }
    void Fill(const std::string& name, const std::string& host, const std::string& user,
              const std::string& comments, const std::string& password) {
        Type(Frmfirst->EdName, name);
        Frmfirst->Edwebsite->SetText(host);
        Frmfirst->EdUser->SetText(user);
        Frmfirst->EdComments->SetText(comments);
        Frmfirst->Edpwd->SetText(password);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const TDialogRecord& r : Boxes->Records) t.push_back(r.Text);
        return t;
    }
    // The only box shown since the last call, as a notice box.
    std::string OneNotice() {
        EXPECT_EQ(Boxes->Records.size(), 1u);
        if (Boxes->Records.empty()) return {};
        const TDialogRecord r = Boxes->Records.front();
        EXPECT_EQ(r.Type, mtCustom);
        EXPECT_EQ(r.Caption, "Tarnwick FTP");
        EXPECT_EQ(r.Buttons, unsigned(mbOK));
        Boxes->Records.clear();
        return r.Text;
    }

    std::vector<HandOver> HandOvers;
};

const std::string kNotFound =
    "The NAME was not found. Use the ADD button to add a new name to the list. If you want to use the UPDATE or "
    "DELETE button, the name must already exist in the list.";

TEST_F(SiteManagerTest, FirstStartCreatesThreeHundredBlankRecordsPrivately) {
    Start();
    const std::string bytes = ReadBytes(SitePath());
    ASSERT_EQ(bytes.size(), 116700u);
    EXPECT_EQ(bytes, FileOf({}));
    struct stat st {};
    ASSERT_EQ(stat(SitePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(AppFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(Frmfirst->ListBox1->Count(), 0);
    EXPECT_TRUE(Boxes->Records.empty());
    EXPECT_EQ(SiteFilePath, SitePath());
}

TEST_F(SiteManagerTest, AddStoresTrimmedFieldsAndThePasswordAsTyped) {
    Start();
    Fill(" my site ", "  http://ftp.example.com ", " joe ", " main box\t", " pa ss  ");
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_TRUE(Boxes->Records.empty());
    EXPECT_EQ(Frmfirst->ListBox1->Items(), std::vector<std::string>{"MY SITE"});
    EXPECT_EQ(Frmfirst->Edwebsite->Text(), "ftp.example.com");
    EXPECT_EQ(RecordAt(ReadBytes(SitePath()), 0),
              HandRecord("MY SITE", "ftp.example.com", "joe", "main box", " pa ss  "));

    Restart();
    EXPECT_EQ(Frmfirst->ListBox1->ItemIndex(), 0);
    EXPECT_EQ(Frmfirst->EdName->Text(), "MY SITE");
    EXPECT_EQ(Frmfirst->Edwebsite->Text(), "ftp.example.com");
    EXPECT_EQ(Frmfirst->EdUser->Text(), "joe");
    EXPECT_EQ(Frmfirst->EdComments->Text(), "main box");
    EXPECT_EQ(Frmfirst->Edpwd->Text(), " pa ss  ");
}

TEST_F(SiteManagerTest, AddRefusalsShowTheirMessagesAndWriteNothing) {
    // A hand-written file may hold a name in small letters; the box forces capitals.
    PlaceFile(FileOf({HandRecord("BETA", "b.example.com", "u", "", "p"), HandRecord("alpha", "a", "", "", "p")}));
    Start();
    const std::string before = ReadBytes(SitePath());

    Frmfirst->EdName->SetText(" BETA");
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_EQ(OneNotice(), "The name  BETA already exists in your list. Delete the existing name or change the "
                           "name so it is not the same.");

    Fill("", "b.example.com", "", "", "p");
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_EQ(OneNotice().rfind("You must enter a name and a website address to add.", 0), 0u);
    Fill("beta2", "  ", "", "", "p");
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_EQ(OneNotice().rfind("You must enter a name and a website address to add.", 0), 0u);

    // The list check is case-sensitive, the file's is not.
    Fill("alpha", "c.example.com", "", "", "p");
    EXPECT_EQ(Frmfirst->EdName->Text(), "ALPHA");
    ClickOn(Frmfirst->CmdAdd);
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Type, mtConfirmation);
    EXPECT_EQ(Boxes->Records[0].Caption, "Confirm");
    EXPECT_EQ(Boxes->Records[0].Buttons, unsigned(mbOK));
    EXPECT_EQ(Boxes->Records[0].Text, "This name already exists in your list. Change the name if you wish to add a "
                                      "new name, or use the update button to update the name.");
    Boxes->Records.clear();

    // Passwords the record cannot hold.
    Fill("gamma", "g.example.com", "", "", "a?b");
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_NE(OneNotice().find("question mark (?)"), std::string::npos);
    Frmfirst->Edpwd->SetText(std::string(26, 'x'));
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_NE(OneNotice().find("longer than 25 characters"), std::string::npos);

    EXPECT_EQ(ReadBytes(SitePath()), before);
    EXPECT_EQ(Frmfirst->ListBox1->Items(), (std::vector<std::string>{"alpha", "BETA"}));

    // 25 is fine.
    Frmfirst->Edpwd->SetText(std::string(25, 'x'));
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_TRUE(Boxes->Records.empty());
    EXPECT_EQ(RecordAt(ReadBytes(SitePath()), 2), HandRecord("GAMMA", "g.example.com", "", "", std::string(25, 'x')));
}

TEST_F(SiteManagerTest, UpdateAndDeleteFollowTheNameInTheBox) {
    PlaceFile(FileOf({HandRecord("BRAVO", "b.example.com", "bu", "bc", "bp"),
                      HandRecord("ALPHA", "a.example.com", "au", "ac", "ap"),
                      HandRecord("CHARLIE", "c.example.com", "cu", "cc", "cp")}));
    Start();
    EXPECT_EQ(Frmfirst->ListBox1->Items(), (std::vector<std::string>{"ALPHA", "BRAVO", "CHARLIE"}));
    EXPECT_EQ(Frmfirst->EdName->Text(), "ALPHA");
    const std::string before = ReadBytes(SitePath());

    Frmfirst->EdName->SetText("  ");
    ClickOn(Frmfirst->CmdUpdate);
    EXPECT_EQ(OneNotice().rfind("You must have a name in the NAME box.", 0), 0u);
    Frmfirst->EdName->SetText("DELTA");
    ClickOn(Frmfirst->CmdUpdate);
    EXPECT_EQ(OneNotice(), kNotFound);
    EXPECT_EQ(ReadBytes(SitePath()), before);

    Fill("bravo ", "http://new.example.com", "nu", "nc", "np ");
    ClickOn(Frmfirst->CmdUpdate);
    EXPECT_EQ(OneNotice(), "BRAVO  has been successfully updated in your list.");
    EXPECT_EQ(Frmfirst->Edwebsite->Text(), "new.example.com");
    EXPECT_EQ(RecordAt(ReadBytes(SitePath()), 0), HandRecord("BRAVO", "new.example.com", "nu", "nc", "np "));

    // The boxes show CHARLIE while ALPHA is selected: CHARLIE goes.
    ASSERT_EQ(Frmfirst->ListBox1->ItemIndex(), 0);
    Frmfirst->EdName->SetText("CHARLIE");
    ClickOn(Frmfirst->CmdDelete);
    EXPECT_EQ(OneNotice(), "CHARLIE has been successfully deleted from your list.");
    EXPECT_EQ(Frmfirst->ListBox1->Items(), (std::vector<std::string>{"ALPHA", "BRAVO"}));
    EXPECT_EQ(Frmfirst->ListBox1->ItemIndex(), 0);
    EXPECT_EQ(Frmfirst->EdName->Text(), "ALPHA");
    EXPECT_EQ(Frmfirst->Edpwd->Text(), "ap");

    // Deleting the last two: the boxes keep the deleted site's values.
    ClickOn(Frmfirst->CmdDelete);
    Boxes->Records.clear();
    ClickOn(Frmfirst->CmdDelete);
    EXPECT_EQ(OneNotice(), "BRAVO has been successfully deleted from your list.");
    EXPECT_EQ(Frmfirst->ListBox1->Count(), 0);
    EXPECT_EQ(Frmfirst->EdName->Text(), "BRAVO");
}

// However the highlight moves (a drag, the keyboard), the boxes follow it,
// so that Delete and Connect act on the site the user sees picked.
TEST_F(SiteManagerTest, EveryWayOfPickingASiteShowsItInTheBoxes) {
    PlaceFile(FileOf({HandRecord("ALPHA", "a.example.com", "au", "ac", "ap"),
                      HandRecord("BRAVO", "b.example.com", "bu", "bc", "bp"),
                      HandRecord("CHARLIE", "c.example.com", "cu", "cc", "cp")}));
    Start();
    Frmfirst->Show();
    auto* list = static_cast<QListWidget*>(Frmfirst->ListBox1->Widget());
    auto at = [&](int row) { return list->visualItemRect(list->item(row)).center(); };
    ASSERT_EQ(Frmfirst->EdName->Text(), "ALPHA");

    // Pressed on ALPHA, dragged to CHARLIE, released there.
    QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, at(0));
    QMouseEvent move(QEvent::MouseMove, QPointF(at(2)), list->viewport()->mapToGlobal(QPointF(at(2))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
    EXPECT_EQ(Frmfirst->EdName->Text(), "CHARLIE");
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at(2));
    EXPECT_EQ(Frmfirst->Edwebsite->Text(), "c.example.com");

    // The keyboard: one up.
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(Frmfirst->EdName->Text(), "BRAVO");
    EXPECT_EQ(Frmfirst->Edpwd->Text(), "bp");

    ClickOn(Frmfirst->CmdDelete);
    EXPECT_EQ(OneNotice(), "BRAVO has been successfully deleted from your list.");
    EXPECT_EQ(Frmfirst->ListBox1->Items(), (std::vector<std::string>{"ALPHA", "CHARLIE"}));

    // Changes made from code run no handler.
    Frmfirst->ListBox1->SetItemIndex(1);
    EXPECT_EQ(Frmfirst->EdName->Text(), "ALPHA");

    Restart();
    EXPECT_EQ(Frmfirst->ListBox1->Items(), (std::vector<std::string>{"ALPHA", "CHARLIE"}));
}

TEST_F(SiteManagerTest, DeletedAndReusedRecordsKeepTheirRemnants) {
    Start();
    Fill("LONGNAMEDSITE", "long-host.example.com", "longuser", "a long comment", "secretpw");
    ClickOn(Frmfirst->CmdAdd);
    ClickOn(Frmfirst->CmdDelete);
    EXPECT_EQ(OneNotice(), "LONGNAMEDSITE has been successfully deleted from your list.");
    std::string expected = HandRecord("LONGNAMEDSITE", "long-host.example.com", "longuser", "a long comment", "");
    for (size_t offset : {0, 31, 287, 313}) expected[offset] = 0;
    EXPECT_EQ(RecordAt(ReadBytes(SitePath()), 0), expected);

    Fill("AB", "h.example.com", "u", "c", "pw");
    ClickOn(Frmfirst->CmdAdd);
    std::string reused = expected;
    PutField(reused, 0, "AB");
    PutField(reused, 31, "h.example.com");
    PutField(reused, 287, "u");
    PutField(reused, 313, "c");
    reused.replace(364, 2, "pw");
    EXPECT_EQ(RecordAt(ReadBytes(SitePath()), 0), reused);
    // "LONGNAMEDSITE" still shows behind the new name.
    EXPECT_EQ(RecordAt(ReadBytes(SitePath()), 0).substr(1, 13), "ABNGNAMEDSITE");
}

TEST_F(SiteManagerTest, TheFileHoldsAtMost299Sites) {
    std::vector<std::string> records;
    for (int i = 0; i < 298; ++i) records.push_back(HandRecord("SITE" + std::to_string(i), "h", "u", "c", "p"));
    PlaceFile(FileOf(records));
    Start();
    EXPECT_EQ(Frmfirst->ListBox1->Count(), 298);
    Fill("ONE MORE", "h.example.com", "", "", "p");
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_TRUE(Boxes->Records.empty());
    EXPECT_EQ(RecordAt(ReadBytes(SitePath()), 298), HandRecord("ONE MORE", "h.example.com", "", "", "p"));

    const std::string before = ReadBytes(SitePath());
    Fill("TOO MANY", "h.example.com", "", "", "p");
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_EQ(OneNotice(), "Please delete one of your entries before adding another");
    EXPECT_EQ(ReadBytes(SitePath()), before);
    EXPECT_EQ(RecordAt(before, 299), BlankRecord());
    EXPECT_EQ(Frmfirst->ListBox1->Count(), 299);
}

TEST_F(SiteManagerTest, TheLastRecordIsLoadedButNeverMatched) {
    std::vector<std::string> records(299, BlankRecord());
    records.push_back(HandRecord("ZULU", "z.example.com", "zu", "zc", "zp"));
    records[0] = HandRecord("ALPHA", "a.example.com", "au", "ac", "ap");
    PlaceFile(FileOf(records));
    Start();
    EXPECT_EQ(Frmfirst->ListBox1->Items(), (std::vector<std::string>{"ALPHA", "ZULU"}));

    Frmfirst->ListBox1->SetItemIndex(1);
    Frmfirst->ListBox1Click(Frmfirst->ListBox1);
    EXPECT_EQ(Frmfirst->EdName->Text(), "ALPHA");  // nothing found, nothing shown

    Frmfirst->EdName->SetText("ZULU");
    ClickOn(Frmfirst->CmdUpdate);
    EXPECT_EQ(OneNotice(), kNotFound);
}

TEST_F(SiteManagerTest, QuestionMarksInStoredPasswordsAreDropped) {
    PlaceFile(FileOf({HandRecord("Q", "q.example.com", "", "", "a?b")}));
    Start();
    EXPECT_EQ(Frmfirst->Edpwd->Text(), "ab");
}

TEST_F(SiteManagerTest, AFileWrittenByHandLoadsLikeOneWrittenByTheProgram) {
    Start();
    Fill("BETA", "b.example.com", "bu", "bc", "bp ");
    ClickOn(Frmfirst->CmdAdd);
    Fill("ALPHA", "a.example.com", "au", "ac", "ap");
    ClickOn(Frmfirst->CmdAdd);
    const std::string written = ReadBytes(SitePath());
    EXPECT_EQ(written, FileOf({HandRecord("BETA", "b.example.com", "bu", "bc", "bp "),
                               HandRecord("ALPHA", "a.example.com", "au", "ac", "ap")}));

    Restart();
    EXPECT_EQ(Frmfirst->ListBox1->Items(), (std::vector<std::string>{"ALPHA", "BETA"}));
    Frmfirst->ListBox1->SetItemIndex(1);
    Frmfirst->ListBox1Click(Frmfirst->ListBox1);
    EXPECT_EQ(Frmfirst->EdUser->Text(), "bu");
    EXPECT_EQ(Frmfirst->Edpwd->Text(), "bp ");
}

TEST_F(SiteManagerTest, ConnectNeedsAPasswordAndHandsOverTrimmedValues) {
    Start();
    Frmfirst->Show();
    QApplication::setActiveWindow(Frmfirst->Widget());
    Fill("X", " http://typed.example.com ", " user ", "", "   ");
    ClickOn(Frmfirst->CmdDownload);
    EXPECT_EQ(OneNotice(), "Please enter a password in the password box, then click \"Connect\". The password "
                           "cannot be blank.");
    EXPECT_TRUE(HandOvers.empty());
    EXPECT_EQ(QApplication::focusWidget(), Frmfirst->Edpwd->Widget());

    Frmfirst->Edpwd->SetText(" pw  ");
    ClickOn(Frmfirst->CmdDownload);
    ASSERT_EQ(HandOvers.size(), 1u);
    EXPECT_EQ(HandOvers[0].User, "user");
    EXPECT_EQ(HandOvers[0].Host, "http://typed.example.com");
    EXPECT_EQ(HandOvers[0].Password, "pw");
    EXPECT_EQ(Frmfirst->Edwebsite->Text(), " http://typed.example.com ");
    EXPECT_TRUE(Boxes->Records.empty());
}

TEST_F(SiteManagerTest, OnlyHttpPrefixesAreRemovedAndOnlyBySaving) {
    Start();
    Fill("S1", "https://s1.example.com", "", "", "p");
    ClickOn(Frmfirst->CmdAdd);
    Fill("S2", "ftp://s2.example.com", "", "", "p");
    ClickOn(Frmfirst->CmdAdd);
    Fill("S3", "xhttp://s3.example.com", "", "", "p");
    ClickOn(Frmfirst->CmdAdd);
    const std::string bytes = ReadBytes(SitePath());
    EXPECT_EQ(RecordAt(bytes, 0), HandRecord("S1", "https://s1.example.com", "", "", "p"));
    EXPECT_EQ(RecordAt(bytes, 1), HandRecord("S2", "ftp://s2.example.com", "", "", "p"));
    EXPECT_EQ(RecordAt(bytes, 2), HandRecord("S3", "xs3.example.com", "", "", "p"));

    // Update strips too, even when the name is not found.
    Frmfirst->EdName->SetText("NOPE");
    Frmfirst->Edwebsite->SetText(" http://d.example.com ");
    ClickOn(Frmfirst->CmdUpdate);
    EXPECT_EQ(Frmfirst->Edwebsite->Text(), "d.example.com");
    EXPECT_EQ(Texts().front(), kNotFound);
}

TEST_F(SiteManagerTest, DamagedFilesAreReportedAndIntactRecordsKept) {
    const std::string damaged = FileOf({HandRecord("ONE", "1.example.com", "", "", "p"),
                                        HandRecord("TWO", "2.example.com", "", "", "p")}, 3) +
                                std::string(100, 'x');
    PlaceFile(damaged);
    Start();
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Type, mtWarning);
    EXPECT_NE(Boxes->Records[0].Text.find("100 bytes"), std::string::npos);
    EXPECT_EQ(Frmfirst->ListBox1->Items(), (std::vector<std::string>{"ONE", "TWO"}));
    EXPECT_EQ(ReadBytes(SitePath()), damaged);

    // Too short for a single record: an error, the file left alone.
    Boxes->Records.clear();
    PlaceFile(std::string(388, '\0'));
    Restart();
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Type, mtError);
    EXPECT_NE(Boxes->Records[0].Text.find("holds no complete record"), std::string::npos);
    EXPECT_EQ(Frmfirst->ListBox1->Count(), 0);
    Fill("NEW", "n.example.com", "", "", "p");
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_EQ(Boxes->Records.back().Type, mtError);
    EXPECT_EQ(ReadBytes(SitePath()), std::string(388, '\0'));
}

TEST_F(SiteManagerTest, AnErrorInAHandlerIsShownAndTheProgramGoesOn) {
    Start();
    std::filesystem::remove(SitePath());
    std::filesystem::create_directory(SitePath());  // the file cannot be opened any more
    Fill("SITE", "s.example.com", "", "", "p");
    ClickOn(Frmfirst->CmdAdd);
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Type, mtError);
    EXPECT_EQ(Boxes->Records[0].Caption, "Tarnwick FTP");
    EXPECT_NE(Boxes->Records[0].Text.find(SitePath()), std::string::npos);
    EXPECT_EQ(Frmfirst->ListBox1->Count(), 0);

    std::filesystem::remove(SitePath());
    WriteBytes(SitePath(), FileOf({}));
    Boxes->Records.clear();
    ClickOn(Frmfirst->CmdAdd);
    EXPECT_TRUE(Boxes->Records.empty());
    EXPECT_EQ(Frmfirst->ListBox1->Items(), std::vector<std::string>{"SITE"});
}

TEST_F(SiteManagerTest, DoubleClickReplacesABoxWithTheClipboard) {
    Start();
    Frmfirst->EdUser->SetText("old");
    QApplication::clipboard()->setText("pasted user");
    QTest::mouseDClick(Frmfirst->EdUser->Widget(), Qt::LeftButton);
    EXPECT_EQ(Frmfirst->EdUser->Text(), "pasted user");

    // The box's own limit applies, and a forced-capitals box gets capitals.
    QApplication::clipboard()->setText(QString(40, QChar('n')));
    QTest::mouseDClick(Frmfirst->EdName->Widget(), Qt::LeftButton);
    EXPECT_EQ(Frmfirst->EdName->Text(), std::string(30, 'N'));

    QApplication::clipboard()->clear();
    QTest::mouseDClick(Frmfirst->EdComments->Widget(), Qt::LeftButton);
    Frmfirst->EdComments->SetText("keep");
    QTest::mouseDClick(Frmfirst->EdComments->Widget(), Qt::LeftButton);
    EXPECT_EQ(Frmfirst->EdComments->Text(), "");
}

TEST_F(SiteManagerTest, SupportMailAndLocalPageGoThroughTheShell) {
    Start();
    ClickOn(Frmfirst->CmdSupport);
    ASSERT_EQ(ShellRequests.size(), 1u);
    EXPECT_EQ(ShellRequests[0].Operation, "open");
    EXPECT_EQ(ShellRequests[0].File, "mailto:support@example.com?Subject=Tarnwick FTP Support");
    EXPECT_EQ(ShellRequests[0].ShowCmd, platform::SW_SHOWNORMAL);
    EXPECT_EQ(OneNotice().rfind("Please send a detailed description of your question to support (", 0), 0u);

    ClickOn(Frmfirst->CmdMoreSoft);
    ASSERT_EQ(ShellRequests.size(), 2u);
    EXPECT_EQ(ShellRequests[1].File, QCoreApplication::applicationDirPath().toStdString() + "/download.htm");
    EXPECT_EQ(ShellRequests[1].ShowCmd, platform::SW_SHOWMAXIMIZED);
    EXPECT_TRUE(Boxes->Records.empty());

    ShellResult = platform::SE_ERR_NOASSOC;
    ClickOn(Frmfirst->CmdSupport);
    ASSERT_EQ(Boxes->Records.size(), 2u);
    EXPECT_EQ(Boxes->Records[1].Text, "You cannot view this file because you do not have a default email software "
                                      "setup. Please send your questions to support at support@example.com");
    Boxes->Records.clear();
    ClickOn(Frmfirst->CmdMoreSoft);
    EXPECT_EQ(OneNotice(), "You cannot view this file because you do not have a default web browser setup. You can "
                           "still view this file by opening your web browser and pointing to the file "
                           "downloadpg.html which is located in your install directory, or view online at "
                           "http://www.example.com/");
}

TEST_F(SiteManagerTest, HiddenSettingsButtonOpensTheSocketDetails) {
    Start();
    EXPECT_FALSE(Frmfirst->BitBtn1->Visible());
    std::string caption;
    int windows = 0;
    WhenModal([&] {
        for (int i = 0; i < Frmfirst->ComponentCount(); ++i)
            if (auto* s = dynamic_cast<TFrmsettings*>(Frmfirst->Components(i))) {
                ++windows;
                caption = s->LblWinsock->Caption();
                EXPECT_EQ(s->Caption(), "Tarnwick FTP - Settings");
                s->Close();
            }
    });
    Frmfirst->BitBtn1Click(Frmfirst->BitBtn1);
    EXPECT_EQ(windows, 1);
    EXPECT_NE(caption.find("Local port range: "), std::string::npos);
    EXPECT_EQ(caption.back(), ' ');
    for (int i = 0; i < Frmfirst->ComponentCount(); ++i)
        EXPECT_EQ(dynamic_cast<TFrmsettings*>(Frmfirst->Components(i)), nullptr);
}

TEST_F(SiteManagerTest, ScreenshotWithThreeSavedSites) {
    PlaceFile(FileOf({HandRecord("WORK SERVER", "ftp.example.com", "jsmith", "Office uploads", "secret"),
                      HandRecord("HOME NAS", "192.168.0.10", "admin", "Media library", "pw"),
                      HandRecord("MIRROR", "mirror.example.org", "anonymous", "Public mirror", "guest")}));
    Start();
    Frmfirst->Show();
    QApplication::processEvents();
    EXPECT_EQ(Frmfirst->Width(), 623);
    EXPECT_EQ(Frmfirst->Height(), 407);
    QDir().mkpath(TARN_SCREENSHOT_DIR);
    const QString path = QStringLiteral(TARN_SCREENSHOT_DIR) + "/site-manager.png";
    ASSERT_TRUE(Frmfirst->Widget()->grab().save(path));
    EXPECT_GT(QFileInfo(path).size(), 0);
}

}  // namespace

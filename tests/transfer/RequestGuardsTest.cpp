// The transfer window against vsftpd where a request meets another one: the
// toggle and Return while a file moves, requests the engine cannot take, the
// listing after a transfer, a double click during a rename; and the picks and
// the view the handlers act on (selection however made, the first start).
#include <filesystem>
#include <string>
#include <vector>

#include "ServerFixture.h"

namespace {

namespace fs = std::filesystem;

std::string Pattern(size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 13 + i / 512) & 0xFF);
    return out;
}

const std::string kSuccess = "SUCCESSFULLY Transferred Data. It is now displayed.";
const std::string kNotConnected = "Not connected to the server. Click \"Connect\" to connect again.";
const std::string kBusy = "The server is still busy with the last request. Please wait until it has finished.";

class RequestGuards : public ServerTest {
protected:
    // Runs once, at the first progress event of the next transfer.
    void AtFirstProgress(std::function<void()> action) {
        auto window = FrmFTP->FtpClient1->OnProgress;
        FrmFTP->FtpClient1->OnProgress = [this, window, action, done = false](TObject* s, int64_t count,
                                                                              bool& abort) mutable {
            window(s, count, abort);
            if (done) return;
            done = true;
            action();
        };
    }
};

// Disconnect and Return (the modal result included) wait while a file moves:
// the download ends whole and only then replaces the local file. (Esc stops
// it instead, as the Stop button does.)
TEST_F(RequestGuards, DisconnectAndReturnDuringADownloadAreRefused) {
    ASSERT_TRUE(Server()->PutFile("big.bin", Pattern(400000)));
    Write(Local + "/big.bin", "the local copy");
    Open();
    Relist();
    FrmFTP->Hide();
    bool tried = false;
    WhenModal([&] {
        ClickRow("big.bin");
        AtFirstProgress([&] {
            tried = true;
            ClickOn(FrmFTP->CmdConnect);
            ClickOn(FrmFTP->CmdExit);
        });
        Boxes->AnswerResult(mrYes);  // overwrite the local copy
        ClickOn(FrmFTP->Image4);
        Settle();
        EXPECT_TRUE(FrmFTP->Visible());
        EXPECT_TRUE(FrmFTP->FtpClient1->Connected());
        EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Disconnect");
        // Once it has ended, Return leaves as usual.
        ClickOn(FrmFTP->CmdExit);
    });
    FrmFTP->ShowModal();
    ASSERT_TRUE(tried);
    EXPECT_GE(LogCount(TFrmFTP::kTransferRunning), 2);
    EXPECT_EQ(Read(Local + "/big.bin"), Pattern(400000));
    EXPECT_EQ(LogCount(kSuccess), 1);
    EXPECT_TRUE(Server()->WaitForCommand("QUIT"));
    const std::vector<std::string> sent = Sent({"RETR", "QUIT"});
    EXPECT_EQ(sent, (std::vector<std::string>{"RETR big.bin", "QUIT"}));
    EXPECT_FALSE(FrmFTP->Visible());
}

// After the session is gone the engine refuses: nothing stays busy, the log
// says why.
TEST_F(RequestGuards, TransfersWithoutASessionLeaveNothingBusy) {
    ASSERT_TRUE(Server()->PutFile("r.txt", "remote"));
    Write(Local + "/l.txt", "local");
    Open();
    Relist();
    FrmFTP->FtpClient1->CancelAsync();
    ASSERT_TRUE(PumpUntil([&] { return !FrmFTP->FtpClient1->Connected(); })) << Joined(Log());
    FrmFTP->FileListBox1->Update();
    ClickItem(FrmFTP->FileListBox1, 0);
    ClickOn(FrmFTP->Image5);
    ClickRow("r.txt");
    ClickOn(FrmFTP->Image4);
    EXPECT_EQ(LogCount(kNotConnected), 2);
    EXPECT_TRUE(FrmFTP->ListView1->Enabled());
    EXPECT_EQ(FrmFTP->ListView1->Cursor(), crDefault);
    EXPECT_EQ(FrmFTP->Cursor(), crDefault);
    EXPECT_EQ(FrmFTP->LblEvent->Caption(), "");
    EXPECT_TRUE(Boxes->Records.empty());
    EXPECT_FALSE(fs::exists(Local + "/r.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Local), fs::directory_iterator()), 1);
    EXPECT_TRUE(Sent({"STOR", "RETR"}).empty());
}

// A download that ends short of its listed size: the listing that follows
// neither shows a percentage nor reports the transfer as done.
TEST_F(RequestGuards, TheListingAfterAShortTransferDrivesNoProgress) {
    for (const char* name : {"one.txt", "two.txt", "three.txt", "four.txt", "five.txt"})
        ASSERT_TRUE(Server()->PutFile(name, "filler"));
    ASSERT_TRUE(Server()->PutFile("short.bin", "ten bytes!"));
    Open();
    FrmFTP->ListView1->Clear();
    FrmFTP->ListView1->AddItem("short.bin", {"200", "Jan 1 2000"}, 1);
    FrmFTP->ListView1->SetSelected(0, true);
    FrmFTP->ListView1->SetItemFocused(0);
    std::vector<std::string> duringListing;
    auto window = FrmFTP->FtpClient1->OnProgress;
    FrmFTP->FtpClient1->OnProgress = [&](TObject* s, int64_t count, bool& abort) {
        window(s, count, abort);
        if (FrmFTP->FtpClient1->RequestType() == ftpDirAsync) duringListing.push_back(FrmFTP->Lblperc->Caption());
    };
    ClickOn(FrmFTP->Image4);
    Settle();
    EXPECT_EQ(Read(Local + "/short.bin"), "ten bytes!");
    ASSERT_FALSE(duringListing.empty());
    // The download's own last share stays on view until it is reset.
    for (const std::string& caption : duringListing) EXPECT_EQ(caption, "5% Done");
    EXPECT_FALSE(Logged(kSuccess));
    EXPECT_FALSE(FrmFTP->TransferActive);
    EXPECT_GE(Row("five.txt"), 0);
}

// A double click while RNFR waits for its reply: the rename keeps its names.
TEST_F(RequestGuards, ADoubleClickDuringARenameLeavesItsNames) {
    ASSERT_TRUE(Server()->MakeFolder("docs"));
    ASSERT_TRUE(Server()->PutFile("old.txt", "text"));
    Open();
    Relist();
    ClickRow("old.txt");
    bool clicked = false;
    FrmFTP->FtpClient1->OnCommand = [&](TObject*, std::string& command) {
        if (clicked || command.rfind("RNFR", 0) != 0) return;
        clicked = true;
        DoubleClickRow(Row("docs"));
    };
    Boxes->AnswerText("new.txt");
    ClickOn(FrmFTP->CmdServRen);
    Settle();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(Sent({"RNFR", "RNTO", "CWD"}), (std::vector<std::string>{"RNFR old.txt", "RNTO new.txt"}));
    EXPECT_EQ(Server()->FileContent("new.txt"), "text");
    EXPECT_TRUE(Logged("SUCCESSFULLY renamed file."));
    EXPECT_TRUE(Logged(kBusy)) << Joined(Log());
    EXPECT_TRUE(FrmFTP->ListView1->Enabled());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Enter the new files name:"});
}

// Ctrl+A and Ctrl+Space run the lists' click handlers as a click does.
TEST_F(RequestGuards, KeyboardSelectionRunsTheClickHandlers) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) Write(Local + "/" + name, name);
    Write(Work + "/p.bin", std::string(100, 'p'));
    Write(Work + "/q.bin", std::string(20, 'q'));
    Open();
    FrmFTP->FileListBox1->Update();
    QWidget* files = FrmFTP->FileListBox1->Widget();
    QTest::keyClick(files, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(FrmFTP->LblSelected->Caption(), "Total Highlighted = 3");
    ClickOn(FrmFTP->Image5);
    Settle();
    EXPECT_EQ(Sent({"STOR"}), (std::vector<std::string>{"STOR a.txt", "STOR b.txt", "STOR c.txt"}));

    FrmFTP->ListBoxPC->Add(Work + "/p.bin");
    FrmFTP->ListBoxPC->Add(Work + "/q.bin");
    ClickOn(FrmFTP->RadSaved);
    QWidget* saved = FrmFTP->ListBoxPC->Widget();
    QTest::keyClick(saved, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(FrmFTP->LblTotalBytes->Caption(), "120 bytes <-- Total Bytes Highlighted");
    // The caret is on the first entry: Ctrl+Space takes it out again.
    QTest::keyClick(saved, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(FrmFTP->LblTotalBytes->Caption(), "20 bytes <-- Total Bytes Highlighted");
    EXPECT_EQ(FrmFTP->LblSelSize->Caption(), "20 bytes <-- q.bin");
}

// On a first start the explorer view is shown and is what uploads use.
TEST_F(RequestGuards, FirstStartUploadsFromTheShownList) {
    Write(Local + "/first.txt", "first");
    Start();
    FrmFTP->Show();
    ASSERT_TRUE(fs::exists(IniPath()));
    FrmFTP->DirectoryListBox1->SetDirectory(Local);
    Target(*Server());
    FrmFTP->CmdconnectClick(nullptr);
    Settle();
    CommandsBefore = Server()->Commands().size();
    ASSERT_EQ(FrmFTP->FileListBox1->Items(), std::vector<std::string>{"first.txt"});
    ClickItem(FrmFTP->FileListBox1, 0);
    ClickOn(FrmFTP->Image5);
    Settle();
    EXPECT_TRUE(Boxes->Records.empty()) << BoxTexts().front();
    EXPECT_EQ(Sent({"STOR"}), std::vector<std::string>{"STOR first.txt"});
    EXPECT_EQ(Server()->FileContent("first.txt"), "first");
}

// No per-user folder: one report, and no settings written anywhere, not in
// the folder on view either.
TEST_F(RequestGuards, WithoutTheSettingsFolderNothingIsWrittenElsewhere) {
    const std::string blocker = TempDir + "/blocker";
    Write(blocker, "a file where the folder's parent should be");
    setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
    Start();
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_NE(ErrorTexts()[0].find("Your settings will not be kept this time."), std::string::npos);
    EXPECT_TRUE(FrmFTP->RadExplorer->Checked());
    FrmFTP->Show();
    FrmFTP->DirectoryListBox1->SetDirectory(Local);
    FrmFTP->ListBoxPC->Add("/some/file");
    ClickOn(FrmFTP->CmdExit);
    FrmFTP->Show();
    FrmFTP->Close();
    EXPECT_EQ(ErrorTexts().size(), 1u);
    EXPECT_FALSE(FrmFTP->Visible());
    EXPECT_EQ(std::distance(fs::directory_iterator(Local), fs::directory_iterator()), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(TempDir), fs::directory_iterator()), 2);  // blocker, work
}

}  // namespace

// Uploads and downloads of the transfer window against vsftpd: the explorer
// and the saved view, ASCII and binary type, the progress display, and the
// local files a download must never harm.
#include <filesystem>
#include <string>
#include <vector>

#include "ServerFixture.h"

namespace {

namespace fs = std::filesystem;

std::string AllBytes(size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return out;
}

const std::string kNameError =
    "Remote file name error. Make sure you have not lost your connection and that you have selected a file name for downloading.";

class Transfers : public ServerTest {};

TEST_F(Transfers, ExplorerUploadSendsTheHighlightedFilesInListOrder) {
    Write(Local + "/a.bin", AllBytes(70000));
    Write(Local + "/b.txt", "not chosen");
    Write(Local + "/c.txt", "line one\r\nline two\n");
    Write(Local + "/d.bin", "");
    Open();
    FrmFTP->RadBinary->SetChecked(true);
    FrmFTP->FileListBox1->Update();
    ClickItem(FrmFTP->FileListBox1, 0);
    ClickItem(FrmFTP->FileListBox1, 2, Qt::ControlModifier);
    ClickItem(FrmFTP->FileListBox1, 3, Qt::ControlModifier);
    ClickOn(FrmFTP->Image5);
    Settle();

    EXPECT_TRUE(Logged("Requesting to UPLOAD a FILE..."));
    EXPECT_EQ(Sent({"STOR"}), (std::vector<std::string>{"STOR a.bin", "STOR c.txt", "STOR d.bin"}));
    // Each file goes in binary type, whatever the listings in between use.
    const std::vector<std::string> sent = Sent({"STOR", "TYPE"});
    for (size_t i = 1; i < sent.size(); ++i) {
        if (sent[i].rfind("STOR", 0) == 0) {
            EXPECT_EQ(sent[i - 1], "TYPE I") << sent[i];
        }
    }
    EXPECT_EQ(Server()->FileContent("a.bin"), AllBytes(70000));
    EXPECT_EQ(Server()->FileContent("c.txt"), "line one\r\nline two\n");
    EXPECT_TRUE(fs::exists(Remote("d.bin")));
    EXPECT_FALSE(fs::exists(Remote("b.txt")));
    EXPECT_EQ(LogCount("SUCCESSFULLY Transferred Data. It is now displayed."), 3);
    // The last upload is listed, and the display is gone again.
    EXPECT_EQ(Sent({"LIST"}).empty(), false);
    EXPECT_GE(Row("d.bin"), 0);
    EXPECT_FALSE(FrmFTP->Lblperc->Visible());
    EXPECT_FALSE(FrmFTP->LblEvent->Visible());
    EXPECT_EQ(FrmFTP->Lblstat1->Width(), 0);
    EXPECT_TRUE(Boxes->Records.empty());
}

TEST_F(Transfers, SavedViewUploadsFullPathsFromManyFoldersInAscii) {
    fs::create_directories(Work + "/one");
    fs::create_directories(Work + "/two");
    Write(Work + "/one/x.txt", "from one\n");
    Write(Work + "/two/y.txt", "from two\n");
    Write(Work + "/two/z.txt", "left out\n");
    Open();
    for (const char* p : {"/one/x.txt", "/two/y.txt", "/two/z.txt"}) FrmFTP->ListBoxPC->Add(Work + p);
    FrmFTP->RadSaved->SetChecked(true);
    FrmFTP->RadAscii->SetChecked(true);
    FrmFTP->ListBoxPC->SetSelected(0, true);
    FrmFTP->ListBoxPC->SetSelected(1, true);
    ClickOn(FrmFTP->Label3);
    Settle();

    // The caption uploads without the request line.
    EXPECT_FALSE(Logged("Requesting to UPLOAD a FILE..."));
    EXPECT_EQ(Sent({"STOR"}), (std::vector<std::string>{"STOR x.txt", "STOR y.txt"}));
    EXPECT_EQ(Sent({"TYPE"}).front(), "TYPE A");
    EXPECT_EQ(Server()->FileContent("x.txt"), "from one\n");
    EXPECT_EQ(Server()->FileContent("y.txt"), "from two\n");
    EXPECT_FALSE(fs::exists(Remote("z.txt")));
}

TEST_F(Transfers, UploadRefusalsSendNothing) {
    Open();
    // An empty folder in the explorer view.
    ClickOn(FrmFTP->Image5);
    fs::create_directories(Local);
    Write(Local + "/f.txt", "x");
    FrmFTP->FileListBox1->Update();
    ClickOn(FrmFTP->Label3);
    FrmFTP->RadSaved->SetChecked(true);
    ClickOn(FrmFTP->Image5);
    FrmFTP->ListBoxPC->Add(Local + "/f.txt");
    ClickOn(FrmFTP->Image5);
    Settle();

    const std::string noFiles =
        "You can upload any file listed in the box on the left. Use the add button on the bottom to add any files to the box for uploading.";
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{
                  noFiles,
                  "No file is selected in your list. Click and highlight any files you wish to upload from the box on your left. (You can also hold the CTRL key down to select multiple items from your list).",
                  noFiles,
                  "Click and highlight any files you wish to upload from the box on your left. (You can also hold the CTRL key down to select multiple items from your list)."}));
    EXPECT_EQ(Boxes->Records[0].Caption, "Tarnwick FTP");
    EXPECT_TRUE(Sent({"STOR", "TYPE"}).empty());
}

TEST_F(Transfers, BinaryDownloadOfTheFocusedRowIsByteForByte) {
    ASSERT_TRUE(Server()->PutFile("data.bin", AllBytes(300000)));
    ASSERT_TRUE(Server()->PutFile("other.bin", "other"));
    Open();
    Relist();
    ClickRow("other.bin");
    ClickRow("data.bin", Qt::ControlModifier);  // highlighted both, focus on data.bin
    std::vector<std::string> shown;
    std::vector<int> bars;
    auto window = FrmFTP->FtpClient1->OnProgress;
    FrmFTP->FtpClient1->OnProgress = [&](TObject* s, int64_t count, bool& abort) {
        window(s, count, abort);
        if (FrmFTP->Lblperc->Visible()) {
            shown.push_back(FrmFTP->Lblperc->Caption());
            bars.push_back(FrmFTP->Lblstat1->Width());
            EXPECT_EQ(FrmFTP->LblEvent->Caption(), "<----- Now Downloading");
            EXPECT_EQ(FrmFTP->LblFilePassed->Caption(), "data.bin");
        }
    };
    ClickOn(FrmFTP->Label4);
    Settle();

    EXPECT_TRUE(Logged("Requesting to DOWNLOAD a FILE..."));
    EXPECT_EQ(Sent({"RETR"}), (std::vector<std::string>{"RETR data.bin"}));
    EXPECT_EQ(Read(Local + "/data.bin"), AllBytes(300000));
    EXPECT_FALSE(fs::exists(Local + "/other.bin"));
    // Percentages climb to 100 at most, the bar with them; the last event
    // ends the display and logs the success once.
    ASSERT_GE(shown.size(), 2u);
    for (size_t i = 1; i < bars.size(); ++i) EXPECT_GE(bars[i], bars[i - 1]);
    EXPECT_LE(bars.back(), 125);
    EXPECT_EQ(LogCount("SUCCESSFULLY Transferred Data. It is now displayed."), 1);
    EXPECT_FALSE(FrmFTP->Lblperc->Visible());
    EXPECT_TRUE(FrmFTP->TransferActive == false);
    // The file list shows the new file.
    const std::vector<std::string> files = FrmFTP->FileListBox1->Items();
    EXPECT_NE(std::find(files.begin(), files.end(), "data.bin"), files.end());
    // Nothing else is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(Local), fs::directory_iterator()), 1);
}

TEST_F(Transfers, AsciiDownloadSendsTypeAAndStoresWhatTravelled) {
    ASSERT_TRUE(Server()->PutFile("notes.txt", "one\ntwo\n"));
    Open();
    Relist();
    FrmFTP->RadAscii->SetChecked(true);
    ClickRow("notes.txt");
    ClickOn(FrmFTP->Image4);
    Settle();
    const std::vector<std::string> sent = Sent({"TYPE", "RETR"});
    const auto retr = std::find(sent.begin(), sent.end(), "RETR notes.txt");
    ASSERT_NE(retr, sent.end());
    EXPECT_EQ(*(retr - 1), "TYPE A");
    // vsftpd sends ASCII data unchanged unless told otherwise.
    EXPECT_EQ(Read(Local + "/notes.txt"), "one\ntwo\n");
}

TEST_F(Transfers, ARefusedDownloadLeavesTheLocalFileOfThatNameAlone) {
    ASSERT_TRUE(Server()->PutFile("keep.txt", "server copy"));
    Write(Local + "/keep.txt", "precious local text");
    Open();
    Relist();
    ClickRow("keep.txt");
    fs::remove(Remote("keep.txt"));  // gone before the download asks for it
    Boxes->AnswerResult(mrYes);       // overwrite the local file
    ClickOn(FrmFTP->Image4);
    Settle();
    EXPECT_EQ(Sent({"RETR"}), (std::vector<std::string>{"RETR keep.txt"}));
    EXPECT_EQ(Read(Local + "/keep.txt"), "precious local text");
    EXPECT_EQ(std::distance(fs::directory_iterator(Local), fs::directory_iterator()), 1);
    EXPECT_FALSE(Logged("SUCCESSFULLY Transferred Data. It is now displayed."));
    ASSERT_FALSE(BoxTexts().empty());
    EXPECT_EQ(BoxTexts().back().rfind("Error 550", 0), 0u) << BoxTexts().back();

    // A download that succeeds replaces it.
    ASSERT_TRUE(Server()->PutFile("keep.txt", "server copy"));
    Relist();
    ClickRow("keep.txt");
    Boxes->AnswerResult(mrYes);
    ClickOn(FrmFTP->Image4);
    Settle();
    EXPECT_EQ(Read(Local + "/keep.txt"), "server copy");
}

TEST_F(Transfers, DownloadRefusalsAndNamesThatWouldLeaveTheFolder) {
    ASSERT_TRUE(Server()->PutFile("f.txt", "f"));
    Open();
    Relist();
    // Nothing highlighted: only the request line.
    FrmFTP->ListView1->SetSelected(0, false);
    ClickOn(FrmFTP->Image4);
    EXPECT_TRUE(Boxes->Records.empty());
    // Right after a listing ".." is highlighted but nothing has the focus.
    Relist();
    ClickOn(FrmFTP->Image4);
    // Names that are no single level of a local path, or that would end the
    // command early: the ".." row, a link row, a hostile name.
    ClickRow("..");
    ClickOn(FrmFTP->Image4);
    for (const std::string& name : {std::string("../../escape.txt"), std::string("bin -> usr/bin"),
                                    std::string("x\nDELE f.txt")}) {
        const int row = FrmFTP->ListView1->AddItem(name, {"1", "Jan 1 2000"}, 1);
        FrmFTP->ListView1->SetSelected(row, true);
        FrmFTP->ListView1->SetItemFocused(row);
        ClickOn(FrmFTP->Image4);
    }
    Settle();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(5, kNameError));
    EXPECT_EQ(LogCount("Requesting to DOWNLOAD a FILE..."), 6);
    EXPECT_TRUE(Sent({"RETR", "DELE"}).empty());
    EXPECT_TRUE(fs::exists(Remote("f.txt")));
    EXPECT_FALSE(fs::exists(Work + "/escape.txt"));
    EXPECT_FALSE(fs::exists(TempDir + "/escape.txt"));
}

TEST_F(Transfers, ASizeThatIsNoNumberDownloadsWithoutProgress) {
    ASSERT_TRUE(Server()->PutFile("odd.bin", AllBytes(50000)));
    Open();
    Relist();
    const int row = Row("odd.bin");
    FrmFTP->ListView1->Clear();
    FrmFTP->ListView1->AddItem("odd.bin", {"12kB", "Jan 1 2000"}, 1);
    FrmFTP->ListView1->SetSelected(0, true);
    FrmFTP->ListView1->SetItemFocused(0);
    (void)row;
    bool displayed = false;
    auto window = FrmFTP->FtpClient1->OnProgress;
    FrmFTP->FtpClient1->OnProgress = [&](TObject* s, int64_t count, bool& abort) {
        window(s, count, abort);
        displayed = displayed || !FrmFTP->Lblperc->Caption().empty() || !FrmFTP->LblEvent->Caption().empty();
    };
    ClickOn(FrmFTP->Image4);
    Settle();
    EXPECT_FALSE(displayed);
    EXPECT_EQ(Read(Local + "/odd.bin"), AllBytes(50000));
    EXPECT_FALSE(Logged("SUCCESSFULLY Transferred Data. It is now displayed."));
}

// While a download runs, every other request of the window is refused by
// the engine; the window must not rename the running download's files.
TEST_F(Transfers, RequestsMadeDuringADownloadChangeNothingAboutIt) {
    ASSERT_TRUE(Server()->PutFile("big.bin", AllBytes(2000000)));
    ASSERT_TRUE(Server()->PutFile("small.txt", "small"));
    Write(Local + "/mine.txt", "my own file");
    Open();
    Relist();
    FrmFTP->FileListBox1->Update();
    FrmFTP->FileListBox1->SetSelected(0, true);
    ClickRow("big.bin");
    bool tried = false;
    auto window = FrmFTP->FtpClient1->OnProgress;
    FrmFTP->FtpClient1->OnProgress = [&](TObject* s, int64_t count, bool& abort) {
        window(s, count, abort);
        if (tried) return;
        tried = true;
        Boxes->AnswerText("renamed.bin");
        FrmFTP->CmdServRenClick(nullptr);
        Boxes->AnswerResult(mrYes);
        FrmFTP->CmdServDelClick(nullptr);
        Boxes->AnswerText("newdir");
        FrmFTP->CmdServCreateClick(nullptr);
        FrmFTP->Image5Click(nullptr);
        FrmFTP->Image4Click(nullptr);
    };
    ClickOn(FrmFTP->Image4);
    Settle();
    ASSERT_TRUE(tried);
    EXPECT_EQ(Read(Local + "/big.bin"), AllBytes(2000000));
    EXPECT_EQ(Read(Local + "/mine.txt"), "my own file");
    EXPECT_TRUE(Sent({"STOR", "DELE", "MKD", "RNFR", "RNTO"}).empty());
    EXPECT_EQ(Sent({"RETR"}), (std::vector<std::string>{"RETR big.bin"}));
    EXPECT_EQ(LogCount("SUCCESSFULLY Transferred Data. It is now displayed."), 1);
}

// The display itself, fed by hand: rounding to the even neighbour, no
// percentage above 100, the end at the expected size.
TEST_F(Transfers, ProgressDisplayRoundsAndEndsAtTheSize) {
    StartIn(Local);
    bool abort = false;
    FrmFTP->TransferActive = true;
    FrmFTP->TransferSize = 300;
    FrmFTP->ShowProgress();
    FrmFTP->FtpClient1Progress(nullptr, 100, abort);
    EXPECT_EQ(FrmFTP->Lblperc->Caption(), "33% Done");
    EXPECT_EQ(FrmFTP->Lblstat1->Width(), 41);
    EXPECT_EQ(FrmFTP->Lblstat1->Color(), clNavy);
    FrmFTP->FtpClient1Progress(nullptr, 150, abort);
    EXPECT_EQ(FrmFTP->Lblperc->Caption(), "50% Done");
    EXPECT_EQ(FrmFTP->Lblstat1->Width(), 62);
    FrmFTP->FtpClient1Progress(nullptr, 300, abort);
    EXPECT_FALSE(FrmFTP->TransferActive);
    EXPECT_FALSE(FrmFTP->Lblperc->Visible());
    EXPECT_EQ(FrmFTP->Lblperc->Caption(), "");
    EXPECT_EQ(FrmFTP->Lblstat1->Width(), 0);
    EXPECT_EQ(FrmFTP->Lblstat1->Color(), 15135218);
    EXPECT_FALSE(abort);
    // Inactive: nothing moves.
    FrmFTP->FtpClient1Progress(nullptr, 100, abort);
    EXPECT_EQ(FrmFTP->Lblperc->Caption(), "");
    // ASCII may move more bytes than expected: above 100 is not shown.
    FrmFTP->TransferActive = true;
    FrmFTP->TransferSize = 1000;
    FrmFTP->ShowProgress();
    FrmFTP->FtpClient1Progress(nullptr, 999, abort);
    EXPECT_EQ(FrmFTP->Lblperc->Caption(), "100% Done");
    EXPECT_EQ(FrmFTP->Lblstat1->Width(), 125);
    EXPECT_TRUE(FrmFTP->TransferActive);
    // An empty file: no division, done at once.
    FrmFTP->TransferSize = 0;
    FrmFTP->FtpClient1Progress(nullptr, 0, abort);
    EXPECT_FALSE(FrmFTP->TransferActive);
}

}  // namespace

// The transfer window's creation, settings file, Return and close query, run
// offscreen with scripted dialogs; each test has its own settings folder.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>

#include "TransferFixture.h"
#include "base/Strings.h"
#include "platform/Drives.h"
#include "platform/Folders.h"
#include "platform/ProgramPaths.h"
#include "transfer/Unit1.h"

namespace {

class TransferWindowTest : public TransferTest {};

TEST_F(TransferWindowTest, FirstStartCreatesTheFileExactlyAndChoosesTheExplorerView) {
    Start();
    EXPECT_EQ(Read(IniPath()), FreshIni());
    EXPECT_EQ(SettingsFilePath, IniPath());
    EXPECT_EQ(ListingFile, AppFolder() + "/ftptemp.txt");
    EXPECT_TRUE(Boxes->Records.empty());

    EXPECT_TRUE(FrmFTP->RadBinary->Checked());
    EXPECT_FALSE(FrmFTP->RadAscii->Checked());
    // The view shown is the view uploads use.
    EXPECT_TRUE(FrmFTP->RadExplorer->Checked());
    EXPECT_FALSE(FrmFTP->RadSaved->Checked());
    EXPECT_FALSE(FrmFTP->RadSortAlpha->Checked());
    EXPECT_FALSE(FrmFTP->RadSortData->Checked());
    EXPECT_FALSE(FrmFTP->RadSortExt->Checked());
    for (TControl* shown : std::initializer_list<TControl*>{FrmFTP->DriveComboBox1, FrmFTP->DirectoryListBox1,
                                                            FrmFTP->FileListBox1, FrmFTP->GroupBox4})
        EXPECT_TRUE(shown->Visible()) << shown->Name;
    for (TControl* hidden :
         std::initializer_list<TControl*>{FrmFTP->Label9, FrmFTP->ScrollBox1, FrmFTP->GroupBox2, FrmFTP->Image2})
        EXPECT_FALSE(hidden->Visible()) << hidden->Name;
    EXPECT_EQ(FrmFTP->ListBoxPC->Count(), 0);
    EXPECT_FALSE(FrmFTP->CmdOpen->Enabled());
    EXPECT_EQ(FrmFTP->LblFileName->Caption(), "");
    EXPECT_FALSE(FrmFTP->TransferActive);
    EXPECT_EQ(FrmFTP->RemoteEntries.Name[1], "");

    // The second start reads the file: explorer view, data-type order, ASCII.
    Restart();
    EXPECT_EQ(Read(IniPath()), FreshIni());
    EXPECT_TRUE(FrmFTP->RadExplorer->Checked());
    EXPECT_TRUE(FrmFTP->RadSortData->Checked());
    EXPECT_TRUE(FrmFTP->RadAscii->Checked());
    EXPECT_FALSE(FrmFTP->Image2->Visible());
    EXPECT_EQ(FrmFTP->DirectoryListBox1->Directory(), AppFolder());
    EXPECT_EQ(FrmFTP->FileListBox1->Directory(), AppFolder());
    EXPECT_EQ(FrmFTP->FileListBox1->Items(), std::vector<std::string>{"TarnFtp.ini"});
    EXPECT_EQ(FrmFTP->LblCount->Caption(), "Total Files = 1");
    EXPECT_EQ(FrmFTP->LblSelected->Caption(), "Total Highlighted = 0");
    EXPECT_EQ(platform::CurrentFolder(), AppFolder());
}

TEST_F(TransferWindowTest, TheDesignHasEveryControlInItsArea) {
    Start();
    EXPECT_EQ(FrmFTP->Caption(), "Tarnwick FTP");
    EXPECT_EQ(FrmFTP->Color(), 15135218);
    EXPECT_EQ(FrmFTP->Font().Name, "MS Sans Serif");

    auto caption = [](TControl* c) -> std::string {
        if (auto* b = dynamic_cast<TButton*>(c)) return b->Caption();
        if (auto* l = dynamic_cast<TLabel*>(c)) return l->Caption();
        if (auto* r = dynamic_cast<TRadioButton*>(c)) return r->Caption();
        return "?";
    };
    const std::vector<std::pair<TControl*, std::string>> captions = {
        {FrmFTP->CmdHostCreate, "Make Dir"}, {FrmFTP->CmdHostDel, "Delete File"}, {FrmFTP->BitBtn3, "Remove Dir"},
        {FrmFTP->CmdHostRen, "Rename File"}, {FrmFTP->CmdHostView, "Open"}, {FrmFTP->Label2, "Filter:"},
        {FrmFTP->Cmdadd, "Add"}, {FrmFTP->CmdRem, "Remove"}, {FrmFTP->CmdClear, "Clear"},
        {FrmFTP->CmdOpen, "Open Highlighted File"}, {FrmFTP->Label7, "Explorer   View"},
        {FrmFTP->LblSaved, "Saved    List"}, {FrmFTP->Label3, "UPLOAD "}, {FrmFTP->Label4, "DOWNLOAD"},
        {FrmFTP->Label5, "Ascii"}, {FrmFTP->Label6, "Binary"}, {FrmFTP->RadSortAlpha, "Order Alphabetically"},
        {FrmFTP->RadSortData, "Order by Data Type"}, {FrmFTP->RadSortExt, "Order by Extension"},
        {FrmFTP->CmdServCreate, "Make Dir"}, {FrmFTP->CmdServRemDir, "Remove Dir"},
        {FrmFTP->CmdServDel, "Delete File"}, {FrmFTP->CmdServRen, "Rename File"}, {FrmFTP->Label1, "Log Status:"},
        {FrmFTP->CmdConnect, "Connect"}, {FrmFTP->CmdExit, "Return"}, {FrmFTP->LblRemoteDir, ""},
        {FrmFTP->LblEvent, ""}, {FrmFTP->LblFilePassed, ""}, {FrmFTP->Lblperc, ""}, {FrmFTP->Lblstat1, ""}};
    for (const auto& [control, text] : captions) EXPECT_EQ(caption(control), text) << control->Name;
    EXPECT_EQ(FrmFTP->Label9->Caption().rfind("Create a file list below.", 0), 0u);
    EXPECT_EQ(FrmFTP->ListBoxPC->Hint(), "Add files here that you wish to upload to the server");

    // Fonts and colours.
    EXPECT_EQ(FrmFTP->LblFileName->Font().Name, "Courier New");
    EXPECT_TRUE(FrmFTP->LblFileLastMod->Font().Bold);
    EXPECT_TRUE(FrmFTP->LblCount->Font().Bold);
    EXPECT_EQ(FrmFTP->CmdServRen->Font().Name, "Times New Roman");
    EXPECT_EQ(FrmFTP->Lblperc->Font().Color, clNavy);
    EXPECT_EQ(FrmFTP->ListBoxPC->Font().Size, 9);
    EXPECT_EQ(FrmFTP->ListBoxPC->ItemHeight(), 15);
    EXPECT_EQ(FrmFTP->ListInfo->Color(), 15135218);
    EXPECT_EQ(FrmFTP->ListInfo->ItemHeight(), 13);
    EXPECT_EQ(FrmFTP->ListView1->Color(), clWhite);

    // Design-time values.
    EXPECT_EQ(FrmFTP->ListView1->ColumnCount(), 3);
    EXPECT_EQ(FrmFTP->ListView1->ColumnCaption(2), "Last Modified");
    EXPECT_EQ(FrmFTP->ListView1->ColumnWidth(0), 115);
    EXPECT_EQ(FrmFTP->ListView1->ColumnWidth(1), 65);
    EXPECT_EQ(FrmFTP->ListView1->ColumnWidth(2), 105);
    EXPECT_TRUE(FrmFTP->ListView1->MultiSelect());
    EXPECT_FALSE(FrmFTP->ListView1->Enabled());
    EXPECT_EQ(FrmFTP->ImageList1->Count(), 3);
    EXPECT_TRUE(FrmFTP->ListBoxPC->Sorted());
    EXPECT_TRUE(FrmFTP->ListBoxPC->MultiSelect());
    EXPECT_EQ(FrmFTP->ListBoxPC->Width(), 800);
    EXPECT_EQ(FrmFTP->ListBoxPC->Height(), 1200);
    EXPECT_EQ(FrmFTP->ScrollBox1->RangeWidth(), 800);
    EXPECT_EQ(FrmFTP->ScrollBox1->RangeHeight(), 1200);
    EXPECT_TRUE(FrmFTP->FileListBox1->MultiSelect());
    EXPECT_EQ(FrmFTP->FileListBox1->Mask(), "*.*");
    EXPECT_EQ(FrmFTP->Lblstat1->Width(), 25);
    EXPECT_EQ(FrmFTP->Lblstat1->Height(), 28);
    EXPECT_EQ(FrmFTP->OpenDialog1->Filter,
              "All Files (*.*)|*.*|JPEG (*.JPG)|*.JPG;*.JPEG|GIF (*.GIF)|*.GIF|Bitmap (*.BMP)|*.BMP|"
              "HTML (*.HTML)|*.HTM;*.HTML|TEXT (*.TXT)|*.TXT");
    EXPECT_EQ(FrmFTP->OpenDialog1->FilterIndex, 1);
    EXPECT_EQ(FrmFTP->Timer1->Interval(), 500);
    EXPECT_FALSE(FrmFTP->Timer1->Enabled());
    EXPECT_EQ(FrmFTP->EdServer->Text(), "ftp.example.com");
    EXPECT_EQ(FrmFTP->DefaultButton(), FrmFTP->CmdExit);
    EXPECT_EQ(FrmFTP->CmdExit->ModalResult, mrOk);
    for (TControl* hidden : std::initializer_list<TControl*>{FrmFTP->EdServer, FrmFTP->EdUserID, FrmFTP->EdPassword,
                                                             FrmFTP->ListBoxHide, FrmFTP->HiddenListBox,
                                                             FrmFTP->ListInvis})
        EXPECT_FALSE(hidden->Visible()) << hidden->Name;

    // The areas from left to right: local side, middle column, remote side.
    const int middle = FrmFTP->Panel1->Left();
    for (TControl* local : std::initializer_list<TControl*>{FrmFTP->DriveComboBox1, FrmFTP->FileListBox1,
                                                            FrmFTP->GroupBox4, FrmFTP->ScrollBox1, FrmFTP->GroupBox2})
        EXPECT_LE(local->Left() + local->Width(), middle) << local->Name;
    for (TControl* centre : std::initializer_list<TControl*>{FrmFTP->Image5, FrmFTP->Image4, FrmFTP->Panel2})
        EXPECT_GE(centre->Left(), middle) << centre->Name;
    const int remote = FrmFTP->ListView1->Left();
    EXPECT_GE(remote, FrmFTP->Panel1->Left() + FrmFTP->Panel1->Width());
    for (TControl* right : std::initializer_list<TControl*>{FrmFTP->GroupBox3, FrmFTP->ListInfo, FrmFTP->CmdConnect,
                                                            FrmFTP->CmdExit})
        EXPECT_GE(right->Left(), remote) << right->Name;
    for (TControl* c : std::initializer_list<TControl*>{FrmFTP->CmdExit, FrmFTP->GroupBox4, FrmFTP->ListInfo})
        EXPECT_LE(c->Top() + c->Height(), 473) << c->Name;
}

TEST_F(TransferWindowTest, ReturnStoresThreeOverFiveAndStopsAtTheFirstEmptyKey) {
    PlaceIni("[Options]\nF1=/d/e\nF2=/d/a\nF3=/d/c\nF4=/d/b\nF5=/d/d\nF6=\nF7=/d/kept\nSortD=1\n"
             "[History]\nLast DirBox=" + Work + "\nAscii=0\n");
    Start();
    EXPECT_EQ(FrmFTP->ListBoxPC->Items(), (std::vector<std::string>{"/d/a", "/d/b", "/d/c", "/d/d", "/d/e"}));
    EXPECT_TRUE(FrmFTP->RadBinary->Checked());
    // RefreshSavedListState: caret on the first entry, nothing highlighted, Open enabled.
    EXPECT_EQ(FrmFTP->ListBoxPC->ItemIndex(), 0);
    EXPECT_EQ(FrmFTP->ListBoxPC->SelCount(), 0);
    EXPECT_TRUE(FrmFTP->CmdOpen->Enabled());

    FrmFTP->ListBoxPC->Delete(4);
    FrmFTP->ListBoxPC->Delete(3);
    FrmFTP->ListBoxPC->Delete(1);
    FrmFTP->ListBoxPC->Add("/d/0 first");
    Visit([] { ClickOn(FrmFTP->CmdExit); });
    EXPECT_EQ(Read(IniPath()), "[Options]\nF1=/d/0 first\nF2=/d/a\nF3=/d/c\nF4=\nF5=\nF6=\nF7=/d/kept\nSortD=1\n"
                               "[History]\nLast DirBox=" + Work + "\nAscii=0\n");
    EXPECT_EQ(FrmFTP->ModalResult(), mrOk);
    EXPECT_TRUE(Boxes->Records.empty());
}

TEST_F(TransferWindowTest, EightHundredEntriesStoreSevenHundredFifty) {
    Start();
    std::vector<std::string> paths;
    for (int i = 0; i < 800; ++i) paths.push_back(Format("/files/%03d.dat", i));
    for (const std::string& p : paths) FrmFTP->ListBoxPC->Add(p);
    Visit([] { ClickOn(FrmFTP->CmdExit); });
    EXPECT_EQ(Value("F1"), paths[0]);
    EXPECT_EQ(Value("F750"), paths[749]);
    EXPECT_EQ(Value("F751"), "<missing>");
    EXPECT_EQ(Value("SortD"), "0");

    Restart();
    EXPECT_EQ(FrmFTP->ListBoxPC->Items(), std::vector<std::string>(paths.begin(), paths.begin() + 750));
}

TEST_F(TransferWindowTest, ABlankKeyInTheMiddleEndsTheList) {
    PlaceIni("[Options]\nF1=  /x/one  \nF2=   \nF3=/x/three\n[History]\n");
    Start();
    EXPECT_EQ(FrmFTP->ListBoxPC->Items(), std::vector<std::string>{"/x/one"});
    // No Last DirBox: the lists stay where they started.
    EXPECT_TRUE(FrmFTP->RadExplorer->Checked());
    EXPECT_TRUE(FrmFTP->RadAscii->Checked());
}

TEST_F(TransferWindowTest, OrderByExtensionIsStoredAsZeroAndComesBackAlphabetical) {
    Start();
    Visit([] {
        FrmFTP->RadSortExt->SetChecked(true);
        ClickOn(FrmFTP->CmdExit);
    });
    EXPECT_EQ(Value("SortD"), "0");
    Restart();
    EXPECT_TRUE(FrmFTP->RadSortAlpha->Checked());
    EXPECT_FALSE(FrmFTP->RadSortExt->Checked());

    Visit([] {
        FrmFTP->RadSortData->SetChecked(true);
        ClickOn(FrmFTP->CmdExit);
    });
    EXPECT_EQ(Value("SortD"), "1");
}

TEST_F(TransferWindowTest, EveryOtherCloseStoresOnlyTheFolderAndTheTransferType) {
    PlaceIni("[Options]\nF1=/keep/me\n[History]\nLast DirBox=" + AppFolder() + "\n");
    Start();
    std::filesystem::create_directories(Work + "/sub");
    const std::string before = Read(IniPath());

    // The close box.
    FrmFTP->ListBoxPC->Add("/new/entry");
    Visit([this] {
        FrmFTP->RadBinary->SetChecked(true);
        FrmFTP->DirectoryListBox1->SetDirectory(Work);
        FrmFTP->Widget()->close();
    });
    EXPECT_EQ(Read(IniPath()), "[Options]\nF1=/keep/me\n[History]\nLast DirBox=" + Work + "\nAscii=0\n");

    // Esc.
    Visit([this] {
        FrmFTP->RadAscii->SetChecked(true);
        FrmFTP->DirectoryListBox1->SetDirectory(Work + "/sub");
        QTest::keyClick(FrmFTP->Widget(), Qt::Key_Escape);
    });
    EXPECT_EQ(Value("Ascii"), "1");
    EXPECT_EQ(Value("Last DirBox"), Work + "/sub");

    // The window manager's close request.
    Visit([this] {
        FrmFTP->RadBinary->SetChecked(true);
        FrmFTP->DirectoryListBox1->SetDirectory(Work);
        QCloseEvent event;
        event.setAccepted(true);
        QApplication::sendEvent(FrmFTP->Widget(), &event);
    });
    EXPECT_EQ(Value("Ascii"), "0");
    EXPECT_EQ(Value("Last DirBox"), Work);
    EXPECT_EQ(Value("F2"), "<missing>");
    EXPECT_EQ(Value("SortD"), "<missing>");
    EXPECT_TRUE(Boxes->Records.empty());
}

TEST_F(TransferWindowTest, EnterRunsReturn) {
    Start();
    FrmFTP->ListBoxPC->Add("/by/enter");
    Visit([] {
        // Enter in a list goes on to the window's default button.
        QTest::keyClick(FrmFTP->FileListBox1->Widget(), Qt::Key_Return);
    });
    EXPECT_EQ(Value("F1"), "/by/enter");
    EXPECT_EQ(Value("SortD"), "0");
    EXPECT_EQ(FrmFTP->ModalResult(), mrOk);
}

TEST_F(TransferWindowTest, AStoredFolderThatIsGoneEndsTheCreation) {
    PlaceIni("[Options]\nF1=/p/q\nSortD=0\n[History]\nLast DirBox=" + Work + "/gone\nAscii=1\n");
    const std::string startFolder = platform::CurrentFolder();
    Start();
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_NE(ErrorTexts()[0].find(Work + "/gone"), std::string::npos) << ErrorTexts()[0];
    EXPECT_EQ(Boxes->Records[0].Caption, "Tarnwick FTP");
    // Steps before the folder ran; none after it.
    EXPECT_EQ(FrmFTP->ListBoxPC->Items(), std::vector<std::string>{"/p/q"});
    EXPECT_TRUE(FrmFTP->RadSortAlpha->Checked());
    EXPECT_TRUE(FrmFTP->RadBinary->Checked());
    // The explorer view, checked before the folder step, stays the one shown.
    EXPECT_TRUE(FrmFTP->RadExplorer->Checked());
    EXPECT_FALSE(FrmFTP->RadSaved->Checked());
    EXPECT_FALSE(FrmFTP->CmdOpen->Enabled());
    EXPECT_EQ(FrmFTP->DirectoryListBox1->Directory(), startFolder);
    EXPECT_EQ(platform::CurrentFolder(), startFolder);
    EXPECT_EQ(FrmFTP->Settings.ReadString("History", "Last DirBox", ""), Work + "/gone");
}

TEST_F(TransferWindowTest, RefusedWritesAreReportedAndTheWindowStillCloses) {
    // A folder standing where the file should be: refused even for root.
    std::filesystem::create_directories(IniPath());
    const std::string refused = "Unable to write to " + IniPath();
    Start();
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{refused});
    Boxes->Records.clear();

    FrmFTP->ListBoxPC->Add("/lost/entry");
    Visit([] { ClickOn(FrmFTP->CmdExit); });
    // Return stops at its first write, the close query at its first: both
    // are reported, and the window is closed all the same.
    EXPECT_EQ(ErrorTexts(), (std::vector<std::string>{refused, refused}));
    Boxes->Records.clear();

    Visit([] { FrmFTP->Widget()->close(); });
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{refused});
    EXPECT_TRUE(std::filesystem::is_directory(IniPath()));
}

TEST_F(TransferWindowTest, TheProgramsFileAndAHandWrittenOneReadTheSame) {
    std::filesystem::create_directories(Work + "/docs");
    // Hand-written: other spellings, blanks, CR LF, comments and unknown keys.
    PlaceIni("; notes\r\n[options]\r\n  f2 = /b/two  \r\nF1=/b/one\r\nsortd = 0\r\nOther=1\r\n"
             "[HISTORY]\r\nlast dirbox =  " + Work + "/docs \r\nASCII= 7\r\n");
    Start();
    EXPECT_EQ(FrmFTP->ListBoxPC->Items(), (std::vector<std::string>{"/b/one", "/b/two"}));
    EXPECT_TRUE(FrmFTP->RadSortAlpha->Checked());
    EXPECT_TRUE(FrmFTP->RadAscii->Checked());
    EXPECT_EQ(FrmFTP->DirectoryListBox1->Directory(), Work + "/docs");

    // The program's own file, written from the same state, loads the same.
    std::filesystem::remove(IniPath());
    Restart();
    FrmFTP->ListBoxPC->Add("/b/two");
    FrmFTP->ListBoxPC->Add("/b/one");
    Visit([this] {
        FrmFTP->RadSortAlpha->SetChecked(true);
        FrmFTP->RadAscii->SetChecked(true);
        FrmFTP->DirectoryListBox1->SetDirectory(Work + "/docs");
        ClickOn(FrmFTP->CmdExit);
    });
    std::string expected = "[Options]\nF1=/b/one\nF2=/b/two\n";
    for (int n = 3; n <= 750; ++n) expected += "F" + std::to_string(n) + "=\n";
    expected += "SortD=0\n[History]\nLast Dir=" + AppFolder() + "\nLast DriveBox=" + AppFolder() +
                "\nLast DirBox=" + Work + "/docs\nAscii=1\n";
    EXPECT_EQ(Read(IniPath()), expected);
    Restart();
    EXPECT_EQ(FrmFTP->ListBoxPC->Items(), (std::vector<std::string>{"/b/one", "/b/two"}));
    EXPECT_TRUE(FrmFTP->RadSortAlpha->Checked());
    EXPECT_TRUE(FrmFTP->RadAscii->Checked());
    EXPECT_EQ(FrmFTP->DirectoryListBox1->Directory(), Work + "/docs");
}

TEST_F(TransferWindowTest, TheRestoredFolderMovesTheFileListButNotTheDriveBox) {
    Write(Work + "/b.txt", "bb");
    Write(Work + "/.hidden", "h");
    Write(Work + "/a.txt", "a");
    std::filesystem::create_directories(Work + "/folder");
    PlaceIni("[Options]\n[History]\nLast DirBox=" + Work + "/\n");
    const std::string drive = platform::DriveOf(platform::CurrentFolder(), platform::MountedDrives());
    Start();
    EXPECT_EQ(FrmFTP->DirectoryListBox1->Directory(), Work);
    EXPECT_EQ(FrmFTP->FileListBox1->Items(), (std::vector<std::string>{".hidden", "a.txt", "b.txt"}));
    EXPECT_EQ(FrmFTP->LblCount->Caption(), "Total Files = 3");
    EXPECT_EQ(platform::CurrentFolder(), Work);
    EXPECT_EQ(FrmFTP->DriveComboBox1->Drive(), drive);
    // With an empty saved list the file list's caret is not moved.
    EXPECT_EQ(FrmFTP->FileListBox1->ItemIndex(), -1);
}

TEST_F(TransferWindowTest, TheViewRadiosSwitchTheLocalSide) {
    Start();
    FrmFTP->ListBoxPC->Add("/v/one");
    FrmFTP->ListBoxPC->Add("/v/two");
    ClickOn(FrmFTP->RadSaved);
    EXPECT_TRUE(FrmFTP->RadSaved->Checked());
    for (TControl* c : std::initializer_list<TControl*>{FrmFTP->Label9, FrmFTP->ScrollBox1, FrmFTP->GroupBox2,
                                                        FrmFTP->Image2})
        EXPECT_TRUE(c->Visible()) << c->Name;
    for (TControl* c : std::initializer_list<TControl*>{FrmFTP->DriveComboBox1, FrmFTP->DirectoryListBox1,
                                                        FrmFTP->FileListBox1, FrmFTP->GroupBox4})
        EXPECT_FALSE(c->Visible()) << c->Name;
    EXPECT_EQ(FrmFTP->ListBoxPC->ItemIndex(), 0);
    EXPECT_EQ(FrmFTP->ListBoxPC->SelCount(), 0);

    ClickOn(FrmFTP->RadExplorer);
    EXPECT_FALSE(FrmFTP->RadSaved->Checked());
    for (TControl* c : std::initializer_list<TControl*>{FrmFTP->Label9, FrmFTP->ScrollBox1, FrmFTP->GroupBox2,
                                                        FrmFTP->Image2})
        EXPECT_FALSE(c->Visible()) << c->Name;
    EXPECT_TRUE(FrmFTP->FileListBox1->Visible());
}

TEST_F(TransferWindowTest, TheHandOverStartsTimer1WhichFiresOnce) {
    Start();
    // A port on 127.0.0.1 with nothing listening: the connect is refused.
    bool seen = false;
    WhenModal([&] {
        seen = true;
        EXPECT_TRUE(FrmFTP->Timer1->Enabled());
        EXPECT_EQ(FrmFTP->EdServer->Text(), "127.0.0.1:1");
        // Bounded wait for the one shot and its refused connect.
        QElapsedTimer clock;
        clock.start();
        while (Boxes->Records.empty() && clock.elapsed() < 5000) Application->WaitForEvents(50);
        EXPECT_FALSE(FrmFTP->Timer1->Enabled());
        FrmFTP->Widget()->close();
    });
    FrmFTP->HandOver("user", "127.0.0.1:1", "pw");
    EXPECT_TRUE(seen);
    EXPECT_EQ(FrmFTP->ListInfo->Items(),
              (std::vector<std::string>{"Connecting to server 127.0.0.1:1", "Please be patient..."}));
    EXPECT_EQ(FrmFTP->ListInfo->ItemIndex(), 1);
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Text.rfind("Error ", 0), 0u);
}

TEST_F(TransferWindowTest, AVisitClosedBeforeTimer1FiresDoesNotConnect) {
    Start();
    Visit([] { FrmFTP->Widget()->close(); });
    EXPECT_FALSE(FrmFTP->Timer1->Enabled());
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
    while (std::chrono::steady_clock::now() < end) Application->WaitForEvents(50);
    EXPECT_EQ(FrmFTP->ListInfo->Count(), 0);
}

TEST(SettingsValueTest, BooleansAreReadByTheirIntegerValue) {
    long long v = 0;
    EXPECT_TRUE(ReadInteger(" -12 ", v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(ReadInteger("$1F", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(ReadInteger("0x10", v));
    EXPECT_EQ(v, 16);
    for (const char* bad : {"", "yes", "1x", "- 1", "--1", "$", "99999999999999999999"})
        EXPECT_FALSE(ReadInteger(bad, v)) << bad;

    char tmpl[] = "/tmp/tarn-ini-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    TSettingsFile file;
    file.Path = std::string(tmpl) + "/s.ini";
    std::ofstream(file.Path) << "[S]\nzero=0\nword=true\nten=10\n";
    EXPECT_FALSE(file.ReadBool("S", "zero", true));
    EXPECT_TRUE(file.ReadBool("S", "word", true));
    EXPECT_FALSE(file.ReadBool("S", "word", false));
    EXPECT_TRUE(file.ReadBool("S", "ten", false));
    EXPECT_TRUE(file.ReadBool("S", "missing", true));
    file.WriteBool("S", "zero", true);
    EXPECT_TRUE(file.ReadBool("S", "zero", false));
    std::filesystem::remove_all(tmpl);
}

TEST_F(TransferWindowTest, Screenshot) {
    Write(Work + "/report.txt", "r");
    Write(Work + "/photo.jpg", "p");
    Write(Work + "/notes.md", "n");
    std::filesystem::create_directories(Work + "/projects");
    std::filesystem::create_directories(Work + "/music");
    PlaceIni("[Options]\n[History]\nLast DirBox=" + Work + "\nAscii=0\n");
    Start();
    FrmFTP->LblRemoteDir->SetCaption("/home/demo");
    FrmFTP->ListView1->SetEnabled(true);
    FrmFTP->ListView1->AddItem("..", {}, 2);
    FrmFTP->ListView1->AddItem("public_html", {"4096", "Jan 5 12:30"}, 0);
    FrmFTP->ListView1->AddItem("backup.tar.gz", {"10240", "Dec 31 1999"}, 1);
    FrmFTP->ListView1->AddItem("index.html", {"2311", "Mar 1 09:00"}, 1);
    FrmFTP->ListView1->SetSelected(0, true);
    FrmFTP->AddLogLine("SUCCESSFULLY connected to server ftp.example.com");
    FrmFTP->AddLogLine("The directory list is now being displayed.");
    FrmFTP->Show();
    QApplication::processEvents();
    EXPECT_EQ(FrmFTP->Width(), 902);
    EXPECT_EQ(FrmFTP->Height(), 473);
    QDir().mkpath(TARN_SCREENSHOT_DIR);
    const QString path = QStringLiteral(TARN_SCREENSHOT_DIR) + "/transfer-window.png";
    ASSERT_TRUE(FrmFTP->Widget()->grab().save(path));
    EXPECT_GT(QFileInfo(path).size(), 0);
    FrmFTP->Hide();
}

}  // namespace

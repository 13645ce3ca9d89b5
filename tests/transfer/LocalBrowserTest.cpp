// The explorer view of the transfer window on real temporary folders: the
// file click and its labels, Open, making and removing folders, deleting and
// renaming files, and the filter. Each test moves the process's current
// folder elsewhere first, as a file dialog may, to show that every operation
// works in the folder on view.
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "TransferFixture.h"
#include "platform/DateFormat.h"
#include "platform/Folders.h"
#include "transfer/Unit1.h"

namespace {

namespace fs = std::filesystem;

class LocalBrowserTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        Elsewhere = TempDir + "/elsewhere";
        fs::create_directories(Elsewhere);
    }

    // Shows Work and then moves the current folder away from it.
    void Open() {
        StartIn(Work);
        ASSERT_EQ(FrmFTP->FileListBox1->Directory(), Work);
        platform::SetCurrentFolder(Elsewhere);
    }

    std::vector<std::string> Files() const { return FrmFTP->FileListBox1->Items(); }
    int FileIndex(const std::string& name) const { return FrmFTP->FileListBox1->IndexOf(name); }
    void ClickFile(const std::string& name, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        ASSERT_GE(FileIndex(name), 0) << name;
        ClickItem(FrmFTP->FileListBox1, FileIndex(name), modifiers);
    }
    // The entry of the folder list that stands for path.
    int FolderEntry(const std::string& path) const {
        for (int i = 0; i < FrmFTP->DirectoryListBox1->Count(); ++i)
            if (FrmFTP->DirectoryListBox1->ItemPath(i) == path) return i;
        return -1;
    }

    std::string Elsewhere;
};

TEST_F(LocalBrowserTest, AFileClickDescribesTheFileAndCountsTheHighlights) {
    Write(Work + "/a.txt", "hello");
    Write(Work + "/b.bin", "abc");
    const std::time_t noon = 1700000000;  // not a local midnight in any zone
    utimbuf times{noon, noon};
    ASSERT_EQ(utime((Work + "/b.bin").c_str(), &times), 0);
    Open();

    ClickFile("a.txt");
    EXPECT_EQ(FrmFTP->LblFileName->Caption(), "File Name: a.txt");
    EXPECT_EQ(FrmFTP->LblFileSize->Caption(), "File Size: 5 Bytes");
    EXPECT_EQ(FrmFTP->LblSelected->Caption(), "Total Highlighted = 1");

    ClickFile("b.bin", Qt::ControlModifier);
    EXPECT_EQ(FrmFTP->LblFileName->Caption(), "File Name: b.bin");
    EXPECT_EQ(FrmFTP->LblFileSize->Caption(), "File Size: 3 Bytes");
    EXPECT_EQ(FrmFTP->LblFileLastMod->Caption(), "File Last Modified: " + platform::DateTimeToStr(noon));
    EXPECT_EQ(FrmFTP->LblSelected->Caption(), "Total Highlighted = 2");

    // Taking the highlight away only recounts.
    ClickFile("b.bin", Qt::ControlModifier);
    EXPECT_EQ(FrmFTP->LblSelected->Caption(), "Total Highlighted = 1");
    EXPECT_EQ(FrmFTP->LblFileName->Caption(), "File Name: b.bin");

    // A file gone from the disk: no size, and its date label keeps the old text.
    fs::remove(Work + "/a.txt");
    ClickFile("a.txt");
    EXPECT_EQ(FrmFTP->LblFileName->Caption(), "File Name: a.txt");
    EXPECT_EQ(FrmFTP->LblFileSize->Caption(), "File Size: -1 Bytes");
    EXPECT_EQ(FrmFTP->LblFileLastMod->Caption(), "File Last Modified: " + platform::DateTimeToStr(noon));
    EXPECT_TRUE(Boxes->Records.empty());
}

TEST_F(LocalBrowserTest, OpenAsksTheShellForTheFocusedFileAndIgnoresItsAnswer) {
    Write(Work + "/doc one.txt", "x");
    Write(Work + "/two.html", "y");
    Open();
    ClickFile("two.html");
    ClickOn(FrmFTP->CmdHostView);
    ASSERT_EQ(ShellRequests.size(), 1u);
    EXPECT_EQ(ShellRequests[0].Operation, "open");
    EXPECT_EQ(ShellRequests[0].File, Work + "/two.html");
    EXPECT_EQ(ShellRequests[0].Parameters, "");
    EXPECT_EQ(ShellRequests[0].Directory, "");
    EXPECT_EQ(ShellRequests[0].ShowCmd, platform::SW_SHOWNORMAL);

    ShellResult = platform::SE_ERR_NOASSOC;
    DoubleClickItem(FrmFTP->FileListBox1, FileIndex("doc one.txt"));
    ASSERT_FALSE(ShellRequests.empty());
    EXPECT_EQ(ShellRequests.back().File, Work + "/doc one.txt");
    EXPECT_TRUE(Boxes->Records.empty());

    // An empty list opens nothing.
    fs::create_directories(Work + "/empty");
    FrmFTP->DirectoryListBox1->SetDirectory(Work + "/empty");
    ShellRequests.clear();
    ClickOn(FrmFTP->CmdHostView);
    EXPECT_TRUE(ShellRequests.empty());
}

TEST_F(LocalBrowserTest, MakeDirCreatesOneFolderInTheShownFolder) {
    Open();
    FrmFTP->EdFilter->SetText("zz");
    Boxes->AnswerText("new folder");
    ClickOn(FrmFTP->CmdHostCreate);
    ASSERT_EQ(Boxes->Records.size(), 2u);
    EXPECT_EQ(Boxes->Records[0].Kind, TDialogRecord::dkInput);
    EXPECT_EQ(Boxes->Records[0].Caption, "Create New Directory");
    EXPECT_EQ(Boxes->Records[0].Text, "Enter the directory name:");
    EXPECT_EQ(Boxes->Records[0].Value, "");
    EXPECT_EQ(Boxes->Records[1].Text, "The directory new folder was created.");
    EXPECT_EQ(Boxes->Records[1].Caption, "Tarnwick FTP");
    EXPECT_TRUE(fs::is_directory(Work + "/new folder"));
    EXPECT_FALSE(fs::exists(Elsewhere + "/new folder"));
    // The folder list was rebuilt and its change handler ran.
    EXPECT_GE(FolderEntry(Work + "/new folder"), 0);
    EXPECT_EQ(FrmFTP->EdFilter->Text(), "");

    // Cancel: nothing, silently.
    Boxes->Records.clear();
    Boxes->Answer({mrCancel, false, {}, {}});
    ClickOn(FrmFTP->CmdHostCreate);
    EXPECT_EQ(Boxes->Records.size(), 1u);

    // An existing name, an empty one, and every name that would leave the folder.
    const std::string refused =
        "The directory could not be created. Make sure the directory does not already exist, and make sure you "
        "have authority to create directories.";
    for (const std::string& name : std::vector<std::string>{"new folder", "", ".", "..", "../escaped", "sub/inner", Elsewhere + "/abs"}) {
        Boxes->Records.clear();
        Boxes->AnswerText(name);
        ClickOn(FrmFTP->CmdHostCreate);
        EXPECT_EQ(BoxTexts().back(), refused) << name;
    }
    EXPECT_FALSE(fs::exists(TempDir + "/escaped"));
    EXPECT_FALSE(fs::exists(Work + "/sub"));
    EXPECT_FALSE(fs::exists(Elsewhere + "/abs"));
}

TEST_F(LocalBrowserTest, RemoveDirRemovesOnlyAnEmptySubfolderThatIsHighlighted) {
    // The shown folder is Work ("work"); inside it an empty folder of the same name.
    fs::create_directories(Work + "/work");
    fs::create_directories(Work + "/empty");
    fs::create_directories(Work + "/full");
    Write(Work + "/full/keep.txt", "k");
    Open();
    const std::string mustBeEmpty =
        "The directory must be empty before it can be deleted. If the folder is empty, make sure you are "
        "highlighting the correct FOLDER in the list above.";
    TDirectoryListBox* dirs = FrmFTP->DirectoryListBox1;

    // The shown folder's own level (highlighted after every move) and the root
    // name no folder inside the shown one, whatever lies there.
    ASSERT_EQ(dirs->ItemPath(dirs->ItemIndex()), Work);
    ClickOn(FrmFTP->BitBtn3);
    dirs->SetItemIndex(0);
    ClickOn(FrmFTP->BitBtn3);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{mustBeEmpty, mustBeEmpty}));
    EXPECT_TRUE(fs::is_directory(Work + "/work"));

    Boxes->Records.clear();
    dirs->SetItemIndex(FolderEntry(Work + "/full"));
    ClickOn(FrmFTP->BitBtn3);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{mustBeEmpty});
    EXPECT_TRUE(fs::exists(Work + "/full/keep.txt"));

    Boxes->Records.clear();
    FrmFTP->EdFilter->SetText("x");
    dirs->SetItemIndex(FolderEntry(Work + "/empty"));
    ClickOn(FrmFTP->BitBtn3);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The directory was deleted"});
    EXPECT_FALSE(fs::exists(Work + "/empty"));
    EXPECT_EQ(FolderEntry(Work + "/empty"), -1);
    EXPECT_EQ(dirs->Directory(), Work);
    EXPECT_EQ(FrmFTP->EdFilter->Text(), "");
}

TEST_F(LocalBrowserTest, DeleteRemovesWhatWasHighlightedAndConfirmed) {
    Open();
    ClickOn(FrmFTP->CmdHostDel);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"There are no files in the list above."});

    for (const char* name : {"a", "b", "c", "d", "protected"}) Write(Work + "/" + name, name);
    chmod((Work + "/protected").c_str(), 0444);
    FrmFTP->DirectoryListBox1->Update();
    Boxes->Records.clear();
    ClickOn(FrmFTP->CmdHostDel);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "No file is selected in your list. Click and highlight any files you wish to delete "
                              "from the box above. (You can also hold the CTRL key down to select multiple items "
                              "from your list)."});

    ClickFile("a");
    ClickFile("c", Qt::ControlModifier);
    ClickFile("protected", Qt::ControlModifier);
    Boxes->Records.clear();
    Boxes->AnswerResult(mrCancel);
    ClickOn(FrmFTP->CmdHostDel);
    ASSERT_EQ(Boxes->Records.size(), 2u);
    EXPECT_EQ(Boxes->Records[0].Type, mtConfirmation);
    EXPECT_EQ(Boxes->Records[0].Caption, "Confirm");
    EXPECT_EQ(Boxes->Records[0].Buttons, unsigned(mbOKCancel));
    EXPECT_EQ(Boxes->Records[0].Text,
              "You are about to delete the 3 file(s) you have highlighted above. Click OK to delete.");
    EXPECT_EQ(Boxes->Records[1].Text, "Nothing deleted.");
    EXPECT_EQ(Files().size(), 5u);

    // While the box is open the list is re-read and "d" highlighted: what the
    // user agreed to is what goes.
    Boxes->Records.clear();
    Boxes->WhileOpen = [this](const TDialogRecord&) {
        FrmFTP->FileListBox1->Update();
        FrmFTP->FileListBox1->SetSelected(FileIndex("d"), true);
    };
    Boxes->AnswerResult(mrOk);
    ClickOn(FrmFTP->CmdHostDel);
    Boxes->WhileOpen = nullptr;
    EXPECT_EQ(Boxes->Records.size(), 1u);  // the write-protected file fails silently
    EXPECT_FALSE(fs::exists(Work + "/a"));
    EXPECT_FALSE(fs::exists(Work + "/c"));
    EXPECT_TRUE(fs::exists(Work + "/d"));
    EXPECT_TRUE(fs::exists(Work + "/protected"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"b", "d", "protected"}));
    EXPECT_EQ(FrmFTP->LblCount->Caption(), "Total Files = 3");
    EXPECT_EQ(FrmFTP->FileListBox1->ItemIndex(), 0);
    EXPECT_EQ(FrmFTP->HiddenListBox->Count(), 0);
    EXPECT_EQ(fs::directory_iterator(Elsewhere), fs::directory_iterator());
}

TEST_F(LocalBrowserTest, RenameRenamesTheFocusedEntryAndNeverReplacesAFile) {
    Write(Work + "/a.txt", "AAA");
    Write(Work + "/b.txt", "BBB");
    Write(Work + "/c.txt", "CCC");
    Open();
    const std::string nothing =
        "There is no file selected to rename. Highlight any file is the list above to rename it.";
    ClickOn(FrmFTP->CmdHostRen);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{nothing});

    // a and b highlighted, the caret left on c without its highlight.
    ClickFile("a.txt");
    ClickFile("b.txt", Qt::ControlModifier);
    ClickFile("c.txt", Qt::ControlModifier);
    ClickFile("c.txt", Qt::ControlModifier);
    ASSERT_EQ(FrmFTP->FileListBox1->SelCount(), 2);
    Boxes->Records.clear();
    Boxes->AnswerText("z.txt");
    ClickOn(FrmFTP->CmdHostRen);
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Caption, "Rename File");
    EXPECT_EQ(Boxes->Records[0].Text, "Enter the new files name:");
    EXPECT_EQ(Boxes->Records[0].Value, "c.txt");
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.txt", "b.txt", "z.txt"}));
    EXPECT_EQ(Read(Work + "/z.txt"), "CCC");

    // Onto an existing file, or out of the folder: refused, nothing lost.
    const std::string refused =
        "The file could not be renamed. Make sure another file in this folder does not already have this name.";
    ClickFile("z.txt");
    for (const std::string& name : std::vector<std::string>{"a.txt", "", "..", "../out.txt", "sub/in.txt", Elsewhere + "/abs.txt"}) {
        Boxes->Records.clear();
        Boxes->AnswerText(name);
        ClickOn(FrmFTP->CmdHostRen);
        EXPECT_EQ(BoxTexts().back(), refused) << name;
    }
    EXPECT_EQ(Read(Work + "/a.txt"), "AAA");
    EXPECT_EQ(Read(Work + "/z.txt"), "CCC");
    EXPECT_FALSE(fs::exists(TempDir + "/out.txt"));
    EXPECT_FALSE(fs::exists(Elsewhere + "/abs.txt"));

    // Its own name again is no failure; Cancel changes nothing.
    Boxes->Records.clear();
    Boxes->AnswerText("z.txt");
    ClickOn(FrmFTP->CmdHostRen);
    Boxes->Answer({mrCancel, false, {}, {}});
    ClickOn(FrmFTP->CmdHostRen);
    EXPECT_EQ(Boxes->Records.size(), 2u);
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.txt", "b.txt", "z.txt"}));
}

TEST_F(LocalBrowserTest, TheFilterNarrowsWhatIsShownUntilTheListIsReRead) {
    for (const char* name : {"alpha.txt", "alto.doc", "Alpine", "ball", "zebra"}) Write(Work + "/" + name, "");
    Open();
    QWidget* edit = FrmFTP->EdFilter->Widget();

    TypeText(edit, "   ");
    EXPECT_EQ(Files().size(), 5u);
    FrmFTP->EdFilter->Clear();

    TypeText(edit, "a");
    EXPECT_EQ(Files(), (std::vector<std::string>{"alpha.txt", "alto.doc", "ball", "zebra"}));
    TypeText(edit, "l");
    EXPECT_EQ(Files(), (std::vector<std::string>{"alpha.txt", "alto.doc", "ball"}));
    TypeText(edit, "p");
    EXPECT_EQ(Files(), std::vector<std::string>{"alpha.txt"});
    EXPECT_EQ(FrmFTP->FileListBox1->ItemIndex(), 0);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(FrmFTP->EdFilter->Text(), "al");
    EXPECT_EQ(Files(), std::vector<std::string>{"alpha.txt"});
    EXPECT_EQ(FrmFTP->LblCount->Caption(), "Total Files = 5");

    // A folder change re-reads the list and empties the filter.
    FrmFTP->DirectoryListBox1->Update();
    EXPECT_EQ(Files().size(), 5u);
    EXPECT_EQ(FrmFTP->EdFilter->Text(), "");
    TypeText(edit, "Al");
    EXPECT_EQ(Files(), std::vector<std::string>{"Alpine"});
}

TEST_F(LocalBrowserTest, LocalFileSizesAreExactAndTakeNamesLiterally) {
    Write(Work + "/abc", "12345");
    Write(Work + "/a*", "");
    fs::create_directories(Work + "/folder");
    {
        // A sparse file beyond 4 GiB.
        std::ofstream(Work + "/big");
        fs::resize_file(Work + "/big", 5'000'000'000ULL);
    }
    EXPECT_EQ(TFrmFTP::GetLocalFileSize(Work + "/abc"), 5);
    EXPECT_EQ(TFrmFTP::GetLocalFileSize(Work + "/big"), 5'000'000'000LL);
    EXPECT_EQ(TFrmFTP::GetLocalFileSize(Work + "/a*"), 0);
    EXPECT_EQ(TFrmFTP::GetLocalFileSize(Work + "/ab?"), -1);
    EXPECT_EQ(TFrmFTP::GetLocalFileSize(Work + "/folder"), 0);
    EXPECT_EQ(TFrmFTP::GetLocalFileSize(Work + "/missing"), -1);
    EXPECT_EQ(TFrmFTP::GetLocalFileSize(""), -1);
}

}  // namespace

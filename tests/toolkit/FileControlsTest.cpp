// The drive box, the folder list, the file list and the scroll box.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QListWidget>

#include "GuiFixture.h"
#include "base/Exceptions.h"
#include "platform/Drives.h"
#include "platform/Folders.h"
#include "toolkit/Containers.h"
#include "toolkit/DirectoryListBox.h"
#include "toolkit/DriveComboBox.h"
#include "toolkit/FileListBox.h"
#include "toolkit/Form.h"
#include "toolkit/ListBox.h"

namespace {

class FileControlsTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        Root = TempDir + "/root";
        for (const char* folder : {"/Beta", "/alpha", "/alpha/inner", "/.dot"})
            std::filesystem::create_directories(Root + folder);
        for (const char* file : {"/b.TXT", "/a.txt", "/.hidden", "/c.dat", "/noext"})
            std::ofstream(Root + file) << "x";
        ASSERT_EQ(chdir(Root.c_str()), 0);
        Window = new TForm(App.get());
    }
    std::vector<std::string> Entries(const TDirectoryListBox* list) const {
        std::vector<std::string> names;
        for (int i = 0; i < list->Count(); ++i) names.push_back(list->Strings(i));
        return names;
    }
    // The path levels of Root, as the folder list names them.
    std::vector<std::string> Levels() const {
        std::vector<std::string> levels{"/"};
        for (const auto& part : std::filesystem::path(Root).relative_path()) levels.push_back(part.string());
        return levels;
    }
    std::string Root;
    TForm* Window = nullptr;
};

TEST_F(FileControlsTest, FolderListShowsLevelsThenSortedSubfolders) {
    auto* list = new TDirectoryListBox(Window, Window);
    EXPECT_EQ(list->Directory(), Root);
    std::vector<std::string> expected = Levels();
    const int shown = static_cast<int>(expected.size()) - 1;
    for (const char* sub : {".dot", "alpha", "Beta"}) expected.push_back(sub);
    EXPECT_EQ(Entries(list), expected);
    EXPECT_EQ(list->ItemIndex(), shown);
    EXPECT_EQ(list->ItemPath(0), "/");
    EXPECT_EQ(list->ItemPath(shown + 2), Root + "/alpha");
}

TEST_F(FileControlsTest, FolderListOpensOnDoubleClickAndEnterAndRefusesAMissingFolder) {
    auto* list = new TDirectoryListBox(Window, Window);
    list->SetBounds(0, 0, 300, 400);
    Window->Show();
    std::vector<std::string> changes;
    list->OnChange = [&](TObject*) { changes.push_back(list->Directory()); };
    const int shown = list->ItemIndex();

    // Enter on the highlighted subfolder "alpha".
    list->SetItemIndex(shown + 2);
    QTest::keyClick(list->Widget(), Qt::Key_Return);
    EXPECT_EQ(list->Directory(), Root + "/alpha");
    // A double click on the level above goes back up.
    auto* widget = static_cast<QListWidget*>(list->Widget());
    const QRect up = widget->visualItemRect(widget->item(shown));
    QTest::mouseDClick(widget->viewport(), Qt::LeftButton, Qt::NoModifier, up.center());
    EXPECT_EQ(list->Directory(), Root);
    EXPECT_EQ(changes, (std::vector<std::string>{Root + "/alpha", Root}));

    // The folder shown and an empty text change nothing; relative paths start
    // at the current folder; "." and ".." levels are resolved.
    list->SetDirectory(Root + "/");
    list->SetDirectory("");
    EXPECT_EQ(changes.size(), 2u);
    list->SetDirectory("alpha/inner/..");
    EXPECT_EQ(list->Directory(), Root + "/alpha");

    EXPECT_THROW(list->SetDirectory(Root + "/missing"), Exception);
    EXPECT_EQ(list->Directory(), Root + "/alpha");
    EXPECT_EQ(list->Strings(list->ItemIndex()), "alpha");

    // Opening a folder that vanished meanwhile is reported, not fatal.
    std::filesystem::remove(Root + "/alpha/inner");
    list->SetItemIndex(list->Count() - 1);
    QTest::keyClick(list->Widget(), Qt::Key_Return);
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Type, mtError);
    EXPECT_EQ(list->Directory(), Root + "/alpha");

    list->Update();
    EXPECT_EQ(changes.back(), Root + "/alpha");
    EXPECT_EQ(list->Count(), static_cast<int>(Levels().size()) + 1);

    // A change the bound lists refuse takes the folder list back with them.
    list->OnChange = [&](TObject*) {
        if (list->Directory() == Root) throw Exception("refused");
    };
    EXPECT_THROW(list->SetDirectory(Root), Exception);
    EXPECT_EQ(list->Directory(), Root + "/alpha");
    EXPECT_EQ(list->Strings(list->ItemIndex()), "alpha");
    EXPECT_EQ(list->Count(), static_cast<int>(Levels().size()) + 1);
}

TEST_F(FileControlsTest, FileListShowsMatchingFilesAndFollowsItsFolder) {
    auto* files = new TFileListBox(Window, Window);
    files->SetMultiSelect(true);
    EXPECT_EQ(files->Directory(), Root);
    EXPECT_EQ(files->Mask(), "*.*");
    EXPECT_EQ(files->Items(), (std::vector<std::string>{".hidden", "a.txt", "b.TXT", "c.dat", "noext"}));

    files->SetMask("*.txt;*.dat");
    EXPECT_EQ(files->Items(), (std::vector<std::string>{"a.txt", "b.TXT", "c.dat"}));
    files->SetMask("*.*");

    // Entries replaced from code come back with the next reading.
    files->Delete(0);
    files->SetSelected(1, true);
    EXPECT_EQ(files->Count(), 4);
    files->Update();
    EXPECT_EQ(files->Count(), 5);
    EXPECT_EQ(files->SelCount(), 0);

    files->SetDirectory("alpha");
    EXPECT_EQ(files->Directory(), Root + "/alpha");
    EXPECT_EQ(platform::CurrentFolder(), Root + "/alpha");
    EXPECT_EQ(files->Count(), 0);

    EXPECT_THROW(files->SetDirectory(Root + "/missing"), Exception);
    EXPECT_EQ(files->Directory(), Root + "/alpha");
    EXPECT_EQ(platform::CurrentFolder(), Root + "/alpha");
}

TEST_F(FileControlsTest, MaskMatchingFollowsTheWindowsRules) {
    EXPECT_TRUE(TFileListBox::MatchesMask("noext", "*.*"));
    EXPECT_TRUE(TFileListBox::MatchesMask(".hidden", "*.*"));
    EXPECT_TRUE(TFileListBox::MatchesMask("PHOTO.JPG", "*.jpg"));
    EXPECT_TRUE(TFileListBox::MatchesMask("a1.htm", "*.html;a?.htm"));
    EXPECT_FALSE(TFileListBox::MatchesMask("a.txt", "*.jpg;*.gif"));
    EXPECT_FALSE(TFileListBox::MatchesMask("a.txt", ""));
}

TEST_F(FileControlsTest, DriveBoxListsRealFileSystemsAndStartsOnTheCurrentOne) {
    auto* drives = new TDriveComboBox(Window, Window);
    const std::vector<std::string> list = drives->Drives();
    ASSERT_FALSE(list.empty());
    EXPECT_NE(std::find(list.begin(), list.end(), "/"), list.end());
    for (const std::string& d : list) {
        EXPECT_NE(d.rfind("/proc", 0), 0u) << d;
        EXPECT_NE(d.rfind("/sys", 0), 0u) << d;
        EXPECT_NE(d.rfind("/dev", 0), 0u) << d;
    }
    EXPECT_EQ(drives->Drive(), platform::DriveOf(Root, list));

    int changes = 0;
    drives->OnChange = [&](TObject*) { ++changes; };
    drives->SetDrive(drives->Drive());
    EXPECT_EQ(changes, 0);
    if (drives->Drive() != "/") {
        drives->SetDrive("/");
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(drives->Drive(), "/");
    }
}

TEST_F(FileControlsTest, ScrollBoxShowsItsVisibleAreaOfAFixedRange) {
    auto* box = new TScrollBox(Window, Window);
    box->SetRange(800, 1200);
    box->SetScrollBarSize(10);
    box->SetVisibleArea(8, 64, 398, 242);
    auto* list = new TListBox(Window, box);
    list->SetBounds(0, 0, 800, 1200);
    Window->SetOuterSize(500, 400);
    Window->Show();
    QApplication::processEvents();
    EXPECT_EQ(box->VisibleWidth(), 398);
    EXPECT_EQ(box->VisibleHeight(), 242);
    EXPECT_EQ(box->RangeWidth(), 800);
    EXPECT_EQ(box->RangeHeight(), 1200);
    EXPECT_EQ(list->Width(), 800);
}

}  // namespace

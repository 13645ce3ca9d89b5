// Whole folders and several rows at once through the window, against vsftpd:
// a tree of a few hundred files up through the folder list's context menu
// and down through the remote list's, byte for byte and name for name; the
// existing-file question once per choice (Resume, Skip, Rename, Overwrite
// for all); Esc during a folder download; drops from the file manager and
// drags from the remote list.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "ServerFixture.h"
#include "toolkit/DragDrop.h"

namespace {

namespace fs = std::filesystem;

// A site of 12 folders holding 300 files: names with spaces, UTF-8 and a
// leading dash, empty files, and one larger file. The root's own files sort
// first, so the questions about them come before any other.
void MakeSite(const std::string& root) {
    fs::create_directories(root);
    WriteLocal(root + "/0resume.bin", RandomBytes(300000, 3));
    WriteLocal(root + "/1skip.txt", "site copy 1");
    WriteLocal(root + "/2rename.txt", "site copy 2");
    WriteLocal(root + "/3plain.txt", "site copy 3");
    for (int d = 0; d < 12; ++d) {
        const std::string folder = root + "/d" + std::to_string(d) + (d % 3 == 0 ? " with space" : "");
        fs::create_directories(folder + (d == 5 ? "/deeper/still" : ""));
        for (int f = 0; f < 24; ++f) {
            std::string name = "file " + std::to_string(f) + ".txt";
            if (f == 1) name = "-dash " + std::to_string(d);
            if (f == 2) name = "caf\xc3\xa9 \xe2\x82\xac " + std::to_string(d) + ".txt";
            const std::string text = f % 7 == 0 ? "" : "content " + std::to_string(d) + "/" + std::to_string(f) + "\n";
            WriteLocal(folder + (d == 5 && f > 20 ? "/deeper/still/" : "/") + name, text);
        }
    }
    WriteLocal(root + "/d4/large.bin", RandomBytes(6 << 20, 9));
}

class FolderTransfers : public ServerTest {
protected:
    static void Choose(TPopupMenu* menu, const std::string& item) {
        ASSERT_NE(menu->Find(item), nullptr);
        menu->Find(item)->Click();
    }
    static void Drop(TControl* target, QMimeData* data) {
        auto* area = qobject_cast<QAbstractScrollArea*>(target->Widget());
        QWidget* at = area != nullptr ? area->viewport() : target->Widget();
        const QPointF point(at->width() / 2.0, at->height() / 2.0);
        QDragEnterEvent enter(point.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(at, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(point, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(at, &drop);
        delete data;
    }
};

TEST_F(FolderTransfers, ATreeGoesUpAndComesDownWholeAndEachChoiceIsAskedOnce) {
    MakeSite(Local + "/site");
    const auto site = TreeOfFiles(Local + "/site");
    ASSERT_EQ(std::count_if(site.begin(), site.end(), [](const auto& e) { return e.second != "/"; }), 293);
    // A link loop on the local side is left out and said, not followed.
    fs::create_directory_symlink("..", Local + "/site/d0 with space/loop");
    Open();
    ClickOn(FrmFTP->RadBinary);

    HighlightFolder("site");
    Choose(FrmFTP->LocalFoldersMenu, "Upload");
    Settle();
    EXPECT_EQ(TreeOfFiles(Remote("site")), site) << Joined(Log());
    EXPECT_TRUE(Boxes->Records.empty());
    EXPECT_GE(RowOf("site"), 0) << "the remote list was read again";
    EXPECT_TRUE(Logged("Upload ended: 293 files moved, 0 skipped, 0 not moved.")) << Joined(Log());
    EXPECT_TRUE(Logged("Left out site/d0 with space/loop: link back into its own folder, not followed."))
        << Joined(Log());

    // Down into another local folder, through the remote list's menu.
    const std::string down = Work + "/down";
    fs::create_directories(down);
    FrmFTP->DirectoryListBox1->SetDirectory(down);
    const size_t listings = Sent({"LIST"}).size();
    ClickRow("site");
    Choose(FrmFTP->RemoteMenu, "Download");
    Settle();
    EXPECT_EQ(TreeOfFiles(down + "/site"), site) << Joined(Log());
    EXPECT_TRUE(Boxes->Records.empty());
    // One LIST per remote folder walked (13 + 2 below d5), one for the view.
    EXPECT_EQ(Sent({"LIST"}).size() - listings, 16u);
    EXPECT_NE(FrmFTP->DirectoryListBox1->Count(), 0);

    // Again, over a copy edited here: each choice once, then Overwrite for all.
    fs::resize_file(down + "/site/0resume.bin", 100000);
    WriteLocal(down + "/site/1skip.txt", "edited here, 1");
    WriteLocal(down + "/site/2rename.txt", "edited here, 2");
    WriteLocal(down + "/site/3plain.txt", "edited here, 3");
    WriteLocal(down + "/site/d1/file 3.txt", "edited deep");
    Boxes->WhileOpen = [this](const TDialogRecord& box) {
        const auto about = [&](const char* name) { return box.Text.rfind(std::string("\"") + name + "\"", 0) == 0; };
        EXPECT_EQ((box.Buttons & mbRetry) != 0, about("0resume.bin")) << box.Text;
        EXPECT_EQ(box.CheckBox, "Apply to all files of this transfer");
        if (about("0resume.bin")) Boxes->AnswerResult(mrRetry);
        else if (about("1skip.txt")) Boxes->AnswerResult(mrNo);
        else if (about("2rename.txt")) Boxes->AnswerResult(mrIgnore);
        else Boxes->AnswerResult(mrYes, true);
    };
    ClickRow("site");
    Choose(FrmFTP->RemoteMenu, "Download");
    Settle();
    Boxes->WhileOpen = nullptr;
    ASSERT_EQ(Boxes->Records.size(), 4u) << Joined(BoxTexts());
    EXPECT_EQ(Boxes->Records[3].Text.rfind("\"3plain.txt\"", 0), 0u);
    auto expected = site;
    expected["1skip.txt"] = "edited here, 1";
    expected["2rename.txt"] = "edited here, 2";
    expected["2rename (1).txt"] = "site copy 2";
    EXPECT_EQ(TreeOfFiles(down + "/site"), expected) << Joined(Log());
    EXPECT_EQ(Sent({"REST"}), std::vector<std::string>{"REST 100000"});
    EXPECT_TRUE(Logged("Download ended: 292 files moved, 1 skipped, 0 not moved.")) << Joined(Log());
}

// Esc while a folder comes down stops it: the file in flight does not
// replace the local one, nothing is left beside it, the rest is not fetched,
// and the session goes on.
TEST_F(FolderTransfers, EscDuringAFolderDownloadReplacesNothing) {
    ASSERT_TRUE(Server()->PutFile("tree/a.txt", "first"));
    ASSERT_TRUE(Server()->PutFile("tree/big.bin", std::string(30000000, 'x')));
    ASSERT_TRUE(Server()->PutFile("tree/z.txt", "last"));
    fs::create_directories(Local + "/tree");
    Write(Local + "/tree/big.bin", "edited by hand");
    Open();
    ClickOn(FrmFTP->RadBinary);
    ClickRow("tree");
    auto window = FrmFTP->FtpClient1->OnProgress;
    bool pressed = false, stopShown = false;
    FrmFTP->FtpClient1->OnProgress = [&](TObject* s, int64_t count, bool& abort) {
        if (!pressed && count > 0 && FrmFTP->FtpClient1->HostFileName.find("big.bin") != std::string::npos) {
            pressed = true;
            stopShown = FrmFTP->CmdStop->Visible();
            QTest::keyClick(FrmFTP->Widget(), Qt::Key_Escape);
        }
        window(s, count, abort);
    };
    Boxes->AnswerResult(mrYes);  // overwrite big.bin, once it has arrived
    ClickOn(FrmFTP->Image4);     // DOWNLOAD on a folder row
    Settle();
    FrmFTP->FtpClient1->OnProgress = window;
    ASSERT_TRUE(pressed) << Joined(Log());
    EXPECT_TRUE(stopShown);
    EXPECT_FALSE(FrmFTP->CmdStop->Visible());
    EXPECT_TRUE(FrmFTP->Visible());
    EXPECT_EQ(TreeOfFiles(Local + "/tree"),
              (std::map<std::string, std::string>{{"a.txt", "first"}, {"big.bin", "edited by hand"}}));
    const std::vector<std::string> fetched = Sent({"RETR"});
    ASSERT_EQ(fetched.size(), 2u) << Joined(fetched);
    EXPECT_TRUE(fetched[0].ends_with("/tree/a.txt") && fetched[1].ends_with("/tree/big.bin")) << Joined(fetched);
    bool stoppedLine = false;
    for (const std::string& line : Log()) stoppedLine = stoppedLine || line.find("Stopped: the files after") != std::string::npos;
    EXPECT_TRUE(stoppedLine) << Joined(Log());

    // The session goes on.
    ClickRow("tree");
    Boxes->AnswerResult(mrYes, true);
    ClickOn(FrmFTP->Image4);
    Settle();
    EXPECT_TRUE(Read(Local + "/tree/big.bin") == std::string(30000000, 'x')) << Joined(Log());
    EXPECT_EQ(Read(Local + "/tree/z.txt"), "last");
}

// Files dropped from the desktop's file manager onto the remote list go up;
// rows dragged from the remote list onto the file list come down.
TEST_F(FolderTransfers, DropsUploadAndDragsDownload) {
    fs::create_directories(Work + "/desk/pics");
    Write(Work + "/desk/pics/p 1.png", "png");
    Write(Work + "/desk/notes.txt", "notes");
    ASSERT_TRUE(Server()->PutFile("docs/readme.txt", "read me"));
    ASSERT_TRUE(Server()->PutFile("one.txt", "one"));
    Open();

    auto* urls = new QMimeData;
    urls->setUrls({QUrl::fromLocalFile(QString::fromStdString(Work + "/desk/pics")),
                   QUrl::fromLocalFile(QString::fromStdString(Work + "/desk/notes.txt")),
                   QUrl("https://example.org/not-a-file")});
    Drop(FrmFTP->ListView1, urls);
    Settle();
    EXPECT_EQ(Server()->FileContent("pics/p 1.png"), "png") << Joined(Log());
    EXPECT_EQ(Server()->FileContent("notes.txt"), "notes");

    ClickRow("docs");
    ClickRow("one.txt", Qt::ControlModifier);
    Drop(FrmFTP->FileListBox1, InternalDragData(FrmFTP->ListView1));
    Settle();
    EXPECT_EQ(Read(Local + "/docs/readme.txt"), "read me") << Joined(Log());
    EXPECT_EQ(Read(Local + "/one.txt"), "one");
    EXPECT_TRUE(Boxes->Records.empty()) << Joined(BoxTexts());
}

}  // namespace

// The whole program on a real X server: a folder of 60 files in nested
// folders (names with spaces and UTF-8, empty files, one of 256 MiB) goes up
// through the folder list's context menu and comes down again through the
// remote list's, both menus opened by a right click and chosen from on the
// display, compared byte for byte and name for name.
#include <filesystem>
#include <string>

#include <QApplication>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QTimer>

#include "TestFiles.h"
#include "app/Project1.h"
#include "peers/Peers.h"
#include "sites/Ufirst.h"
#include "transfer/SessionFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kLarge = std::uint64_t(256) << 20;

class FolderWindowE2eTest : public SessionTest {
protected:
    // A right click at the middle of the widget's viewport, and once the
    // menu is up, a choice of the item of that caption by the keyboard.
    static void ChooseFromContextMenu(QWidget* viewport, const QPoint& at, const QString& item) {
        bool chosen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr || chosen) return;
            for (QAction* action : menu->actions())
                if (action->text() == item) {
                    chosen = true;
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                }
        });
        poll.start(20);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &click);
        EXPECT_TRUE(chosen) << "no menu item " << item.toStdString();
    }
    bool LoggedStart(const std::string& start) const {
        for (const std::string& line : Log())
            if (line.rfind(start, 0) == 0) return true;
        return false;
    }
};

TEST_F(FolderWindowE2eTest, AFolderGoesUpAndComesDownThroughTheContextMenusOnARealDisplay) {
    peers::VsftpdServer server;
    ASSERT_TRUE(server.Start()) << server.Error();
    const std::string site = Work + "/site";
    for (int d = 0; d < 4; ++d) {
        const std::string folder = site + "/part " + std::to_string(d) + (d == 2 ? "/inner" : "");
        fs::create_directories(folder);
        for (int f = 0; f < 15; ++f)
            WriteLocal(folder + "/" + (f == 3 ? "\xc3\xbc" "ber " : "page ") + std::to_string(f) + ".html",
                       f % 5 == 0 ? "" : RandomBytes(1000 + 97 * static_cast<std::size_t>(f), d * 100 + f));
    }
    ASSERT_TRUE(WriteRandomFile(site + "/part 1/large.bin", kLarge, 31));
    const auto tree = TreeOfFiles(site);
    const std::string down = Work + "/down";
    fs::create_directories(down);

    PlaceIni("[Options]\n[History]\nLast DirBox=" + Work + "\n");
    StartUp();
    Frmfirst->Show();
    Frmfirst->Edwebsite->SetText("127.0.0.1:" + std::to_string(server.Port()));
    Frmfirst->EdUser->SetText(server.User());
    Frmfirst->Edpwd->SetText(server.Password());

    bool up = false, back = false;
    WhenModal([&] {
        struct ReturnAtEnd {
            ~ReturnAtEnd() { ClickOn(FrmFTP->CmdExit); }
        } returnAtEnd;
        EXPECT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
        ClickOn(FrmFTP->RadBinary);

        auto* folders = static_cast<QListWidget*>(FrmFTP->DirectoryListBox1->Widget());
        int index = -1;
        for (int i = 0; i < FrmFTP->DirectoryListBox1->Count(); ++i)
            if (FrmFTP->DirectoryListBox1->Strings(i) == "site") index = i;
        ASSERT_GE(index, 0) << FrmFTP->DirectoryListBox1->Directory();
        const QPoint onSite = folders->visualItemRect(folders->item(index)).center();
        QTest::mouseClick(folders->viewport(), Qt::LeftButton, Qt::NoModifier, onSite);
        ChooseFromContextMenu(folders->viewport(), onSite, "Upload");
        ASSERT_TRUE(PumpUntil([&] { return Connected() && LoggedStart("Upload ended: ") && RowOf("site") >= 0; },
                              300000))
            << Joined(Log());
        up = TreeOfFiles(server.Home() + "/site") == tree;

        FrmFTP->DirectoryListBox1->SetDirectory(down);
        auto* rows = static_cast<QTreeWidget*>(FrmFTP->ListView1->Widget());
        const QPoint onRow = rows->visualItemRect(rows->topLevelItem(RowOf("site"))).center();
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, Qt::NoModifier, onRow);
        ChooseFromContextMenu(rows->viewport(), onRow, "Download");
        ASSERT_TRUE(PumpUntil([&] { return Connected() && LoggedStart("Download ended: "); }, 300000))
            << Joined(Log());
        back = TreeOfFiles(down + "/site") == tree;
    });
    ClickOn(Frmfirst->CmdDownload);  // Connect

    EXPECT_TRUE(up) << Joined(Log());
    EXPECT_TRUE(back) << Joined(Log());
    EXPECT_TRUE(Boxes->Records.empty());
    const std::vector<std::string> log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Upload ended: 61 files moved, 0 skipped, 0 not moved."), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Download ended: 61 files moved, 0 skipped, 0 not moved."), log.end());
}

}  // namespace

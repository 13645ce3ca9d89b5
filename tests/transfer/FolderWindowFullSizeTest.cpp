// The window's folder transfer at a user's sizes, against vsftpd and
// pyftpdlib: the full-size tree (200 folders, 3,000 files with awkward
// names, empty files, a 200 MB file, a local link loop) up through the
// folder list's context menu and down again through the remote list's,
// compared name for name and byte for byte; the loop is left out and said.
// Labelled "fullsize".
#include <filesystem>
#include <string>

#include "FullSizeTree.h"
#include "SessionFixture.h"
#include "cli/CliTestSupport.h"

namespace {

namespace fs = std::filesystem;

class FolderWindowFullSizeTest : public SessionTest, public testing::WithParamInterface<cli::ServerKind> {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        Server = cli::MakeServer(GetParam());
        ASSERT_TRUE(Server->Start()) << Server->Error();
    }
    void TearDown() override {
        if (FrmFTP != nullptr && FrmFTP->FtpClient1->Connected()) {
            FrmFTP->FtpClient1->Quit();
            Settle();
        }
        SessionTest::TearDown();
        Server.reset();
    }
    static void Choose(TPopupMenu* menu, const std::string& item) {
        ASSERT_NE(menu->Find(item), nullptr) << item;
        menu->Find(item)->Click();
    }
    void ClickRow(const std::string& caption) {
        auto* tree = static_cast<QTreeWidget*>(FrmFTP->ListView1->Widget());
        const int row = RowOf(caption);
        ASSERT_GE(row, 0) << caption;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(tree->topLevelItem(row)).center());
    }

    std::unique_ptr<peers::FtpServerPeer> Server;
};

TEST_P(FolderWindowFullSizeTest, TheFullSizeTreeGoesUpAndComesDownThroughTheMenus) {
    const std::string local = Work + "/local";
    fs::create_directories(local + "/site");
    fullsize::MakeTree(local + "/site");
    ASSERT_FALSE(HasFatalFailure());
    const auto expected = fullsize::Snapshot(local + "/site");
    ASSERT_EQ(expected.size(), fullsize::kEntries);

    StartIn(local);
    Target(*Server);
    FrmFTP->CmdconnectClick(nullptr);
    Settle();
    ASSERT_TRUE(Connected()) << Joined(Log());
    ClickOn(FrmFTP->RadBinary);

    HighlightFolder("site");
    Choose(FrmFTP->LocalFoldersMenu, "Upload");
    Settle();
    EXPECT_EQ(fullsize::Snapshot(Server->Home() + "/site"), expected) << Joined(Log());
    EXPECT_FALSE(fs::exists(fs::symlink_status(Server->Home() + "/site/" + fullsize::kLoop)));
    EXPECT_TRUE(Logged("Upload ended: 3001 files moved, 0 skipped, 0 not moved.")) << Joined(Log());
    EXPECT_TRUE(Logged("Left out site/" + std::string(fullsize::kLoop) +
                       ": link back into its own folder, not followed."))
        << Joined(Log());
    EXPECT_GE(RowOf("site"), 0) << "the remote list was read again";

    const std::string down = Work + "/down";
    fs::create_directories(down);
    FrmFTP->DirectoryListBox1->SetDirectory(down);
    ClickRow("site");
    Choose(FrmFTP->RemoteMenu, "Download");
    Settle();
    EXPECT_EQ(fullsize::Snapshot(down + "/site"), expected) << Joined(Log());
    EXPECT_TRUE(Logged("Download ended: 3001 files moved, 0 skipped, 0 not moved.")) << Joined(Log());
    EXPECT_TRUE(Boxes->Records.empty()) << Joined(BoxTexts());
}

INSTANTIATE_TEST_SUITE_P(Servers, FolderWindowFullSizeTest,
                         testing::Values(cli::ServerKind::Vsftpd, cli::ServerKind::Pyftpdlib), cli::KindName);

}  // namespace

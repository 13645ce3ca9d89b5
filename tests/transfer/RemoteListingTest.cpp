// The remote listing: the listing file read into the table, the three sort
// orders, the view rebuilt from it, and walking the server's folders by
// double click (real servers on 127.0.0.1).
#include <filesystem>

#include "SessionFixture.h"
#include "base/Strings.h"
#include "platform/ProgramPaths.h"

namespace {

using Names = std::vector<std::string>;

std::string Line(const std::string& name, bool folder = false) {
    return std::string(folder ? "drwxr-xr-x" : "-rw-r--r--") + "    1 1001     1001           12 Jan 05 12:30 " +
           name + "\r\n";
}

}  // namespace

class RemoteListingTest : public SessionTest {
protected:
    // Writes the listing file as the engine would and loads it.
    void Load(const std::string& text) {
        Write(ListingFile, text);
        FrmFTP->LoadRemoteListing();
    }
};

TEST_F(RemoteListingTest, EmptyMissingAndOrdinaryListingFiles) {
    StartIn(Work);
    Load("");
    EXPECT_EQ(Rows(), Names{".."});
    EXPECT_FALSE(std::filesystem::exists(ListingFile));

    Load("total 48\r\n" + Line(".", true) + Line("..", true) + Line("docs", true) + Line("old report.txt  ") +
         "lrwxrwxrwx 1 root root 7 Mar 1 09:00 bin -> usr/bin\r\n\r\n");
    EXPECT_EQ(FrmFTP->RemoteCount, 3);
    EXPECT_EQ(Rows(), (Names{"..", "bin -> usr/bin", "docs", "old report.txt  "}));
    EXPECT_EQ(FrmFTP->ListView1->SubItems(3), (Names{"12", "Jan 05 12:30"}));
    EXPECT_EQ(FrmFTP->ListView1->StateIndex(1), 0);
    EXPECT_FALSE(std::filesystem::exists(ListingFile));

    // No file: the count is 0 and the view keeps its rows.
    FrmFTP->LoadRemoteListing();
    EXPECT_EQ(FrmFTP->RemoteCount, 0);
    EXPECT_EQ(Rows().size(), 4u);
}

// A Windows server's DOS-style listing fills the same rows: folders sort
// first and show the folder picture, files keep their sizes.
TEST_F(RemoteListingTest, WindowsServerListingSortsLikeAUnixOne) {
    StartIn(Work);
    FrmFTP->RadSortData->SetChecked(true);
    Load("01-31-24  09:15PM                 1234 file.txt\r\n"
         "01-31-24  09:15PM       <DIR>          Folder\r\n"
         "02-01-24  10:00AM                   17 My Notes.txt\r\n");
    EXPECT_EQ(Rows(), (Names{"..", "Folder", "My Notes.txt", "file.txt"}));
    EXPECT_EQ(FrmFTP->ListView1->StateIndex(1), 0);
    EXPECT_EQ(FrmFTP->ListView1->StateIndex(3), 1);
    EXPECT_EQ(FrmFTP->ListView1->SubItems(1), (Names{"", "01-31-24 09:15PM"}));
    EXPECT_EQ(FrmFTP->ListView1->SubItems(3), (Names{"1234", "01-31-24 09:15PM"}));
}

TEST_F(RemoteListingTest, EachSortOrder) {
    StartIn(Work);
    const std::string listing = Line("notes") + Line("alpha") + Line("sub", true) + Line("a.tar.gz") +
                                Line("Zeta") + Line("a.txt") + Line("Adir", true) + Line("b.TXT");
    FrmFTP->RadSortAlpha->SetChecked(true);
    Load(listing);
    EXPECT_EQ(Rows(), (Names{"..", "Adir", "Zeta", "a.tar.gz", "a.txt", "alpha", "b.TXT", "notes", "sub"}));

    // A new choice shows only with the next listing.
    FrmFTP->RadSortData->SetChecked(true);
    EXPECT_EQ(Rows()[1], "Adir");
    EXPECT_EQ(Rows()[2], "Zeta");
    Load(listing);
    EXPECT_EQ(Rows(), (Names{"..", "Adir", "sub", "Zeta", "a.tar.gz", "a.txt", "alpha", "b.TXT", "notes"}));

    // By extension: folders first; no extension before any, then by bytes
    // (".TXT" < ".gz" < ".txt"); equal extensions keep the order the
    // exchange sort leaves them in.
    FrmFTP->RadSortExt->SetChecked(true);
    Load(listing);
    EXPECT_EQ(Rows(), (Names{"..", "sub", "Adir", "notes", "Zeta", "alpha", "b.TXT", "a.tar.gz", "a.txt"}));
}

TEST_F(RemoteListingTest, ExchangeSortOrderOfEqualKeysAndTheExtensionRule) {
    StartIn(Work);
    FrmFTP->RadSortExt->SetChecked(true);
    // b.txt moves out of place 1 to the end, passing c.txt.
    Load(Line("b.txt") + Line("a.gz") + Line("c.txt") + Line("d.gz"));
    EXPECT_EQ(Rows(), (Names{"..", "a.gz", "d.gz", "c.txt", "b.txt"}));

    // No extension when the last full stop comes before a backslash or colon.
    Load(Line("x.z") + Line("v.d\\w") + Line("u.d:w") + Line("t.a"));
    EXPECT_EQ(Rows(), (Names{"..", "v.d\\w", "u.d:w", "t.a", "x.z"}));
}

TEST_F(RemoteListingTest, SurplusLinesBeyondTheTableAreIgnored) {
    StartIn(Work);
    FrmFTP->RadSortAlpha->SetChecked(true);
    std::string listing;
    for (int i = 0; i < TRemoteEntries::kCapacity + 5; ++i) listing += Line(Format("f%05d", i));
    Load(listing);
    EXPECT_EQ(FrmFTP->RemoteCount, TRemoteEntries::kCapacity);
    EXPECT_EQ(FrmFTP->ListView1->Count(), TRemoteEntries::kCapacity + 1);
    EXPECT_EQ(FrmFTP->ListView1->Caption(TRemoteEntries::kCapacity), "f09999");
    EXPECT_EQ(Log().back(), "Only the first 10000 entries of the listing are shown.");
}

TEST_F(RemoteListingTest, DoubleClickWithNothingSelectedExplainsAndEndsBusy) {
    StartIn(Work);
    Load(Line("a.txt"));
    FrmFTP->ListView1->SetEnabled(true);
    FrmFTP->ListView1->SetSelected(0, false);
    ASSERT_EQ(FrmFTP->ListView1->SelCount(), 0);
    FrmFTP->ListView1DblClick(FrmFTP->ListView1);
    EXPECT_EQ(BoxTexts(), (Names{"Please double-click any folder name to change folders, or double-click the "
                                 "\"..\" if you wish to go back a folder. Use the arrow buttons to download and "
                                 "upload files."}));
    EXPECT_TRUE(FrmFTP->ListView1->Enabled());
    EXPECT_EQ(FrmFTP->Cursor(), crDefault);
}

TEST_F(RemoteListingTest, WalkFoldersByDoubleClick) {
    peers::VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.MakeFolder("docs"));
    ASSERT_TRUE(ftp.MakeFolder("docs/deeper"));
    ASSERT_TRUE(ftp.PutFile("docs/inner.txt", "i"));
    ASSERT_TRUE(ftp.PutFile("top.txt", "t"));
    ConnectTo(ftp);
    ASSERT_EQ(Rows(), (Names{"..", "docs", "top.txt"}));

    // Into a folder: CWD, then PWD and a listing from the completion, then
    // the handler's own listing.
    size_t mark = ftp.Commands().size();
    DoubleClickRow(RowOf("docs"));
    ASSERT_TRUE(PumpUntil([&] { return FrmFTP->ListView1->Enabled() && ftp.Commands().size() >= mark + 6; }));
    PumpFor(100);
    std::vector<std::string> got = CommandsSince(ftp, mark);
    for (std::string& c : got)
        if (c.rfind("PORT ", 0) == 0) c = "PORT";
    EXPECT_EQ(got, (Names{"CWD docs", "PWD", "PORT", "LIST", "PORT", "LIST"}));
    EXPECT_EQ(FrmFTP->LblRemoteDir->Caption(), ftp.Home() + "/docs");
    EXPECT_EQ(Rows(), (Names{"..", "deeper", "inner.txt"}));
    EXPECT_TRUE(Boxes->Records.empty());

    // Up again through "..".
    mark = ftp.Commands().size();
    DoubleClickRow(0);
    ASSERT_TRUE(PumpUntil([&] { return FrmFTP->LblRemoteDir->Caption() == ftp.Home(); }));
    EXPECT_EQ(CommandsSince(ftp, mark).at(0), "CWD ..");
    ASSERT_TRUE(PumpUntil([&] { return Rows() == Names{"..", "docs", "top.txt"}; }));

    // A file is no folder: the explanation (the server's refusal goes to
    // the log), then PWD and a fresh listing of the same folder.
    mark = ftp.Commands().size();
    DoubleClickRow(RowOf("top.txt"));
    ASSERT_TRUE(PumpUntil([&] { return !Boxes->Records.empty() && FrmFTP->ListView1->Enabled(); }));
    EXPECT_EQ(BoxTexts(), Names{TFrmFTP::kNotAFolder});
    EXPECT_TRUE(Logged("Error 550 Failed to change directory.")) << Joined(Log());
    EXPECT_EQ(std::string(TFrmFTP::kNotAFolder).rfind("You attempted to double-click an item that was not a "
                                                      "FOLDER NAME. You can double-click on any folder name",
                                                      0),
              0u);
    ASSERT_TRUE(ftp.WaitForCommand("LIST"));
    const Names after = CommandsSince(ftp, mark);
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[0], "CWD top.txt");
    EXPECT_EQ(after[1], "PWD");
    EXPECT_EQ(FrmFTP->LblRemoteDir->Caption(), ftp.Home());
    EXPECT_EQ(Rows(), (Names{"..", "docs", "top.txt"}));
}

TEST_F(RemoteListingTest, RealListingInEachOrder) {
    peers::PyftpdlibServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    for (const char* name : {"notes", "alpha", "a.tar.gz", "Zeta", "a.txt", "b.TXT"}) ASSERT_TRUE(ftp.PutFile(name, "x"));
    ASSERT_TRUE(ftp.MakeFolder("sub"));
    ASSERT_TRUE(ftp.MakeFolder("Adir"));
    ConnectTo(ftp);
    // The settings file of StartIn holds no SortD: "Order by Data Type".
    EXPECT_EQ(Rows(), (Names{"..", "Adir", "sub", "Zeta", "a.tar.gz", "a.txt", "alpha", "b.TXT", "notes"}));

    FrmFTP->RadSortAlpha->SetChecked(true);
    FrmFTP->RefreshRemoteList();
    EXPECT_EQ(Rows(), (Names{"..", "Adir", "Zeta", "a.tar.gz", "a.txt", "alpha", "b.TXT", "notes", "sub"}));

    FrmFTP->RadSortExt->SetChecked(true);
    FrmFTP->RefreshRemoteList();
    const Names rows = Rows();
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(Names(rows.begin() + 1, rows.begin() + 3), (Names{"Adir", "sub"}));
    EXPECT_EQ(Names(rows.begin() + 6, rows.end()), (Names{"b.TXT", "a.tar.gz", "a.txt"}));
}

TEST_F(RemoteListingTest, HostileNamesNeverReachTheList) {
    peers::PyftpdlibServer ftp({.Mode = "hostile_listing"});
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ConnectTo(ftp);
    EXPECT_EQ(Rows(), (Names{"..", "up -> ../..", "plain.txt"}));
    EXPECT_TRUE(Logged("Ignored 4 listing line(s) whose name is not a plain file name."));
    EXPECT_FALSE(std::filesystem::exists(ListingFile));
}

// A download onto a local file, or an upload onto a remote one, of the same
// name asks first: Overwrite, Skip (also Return) or Rename to a free name.
#include <filesystem>
#include <string>
#include <vector>

#include "ServerFixture.h"

namespace {

namespace fs = std::filesystem;

class ExistingFiles : public ServerTest {};

TEST_F(ExistingFiles, TheUserChoosesBeforeAFileIsReplaced) {
    ASSERT_TRUE(Server()->PutFile("index.html", "server copy"));
    ASSERT_TRUE(Server()->PutFile("new.txt", "no question"));
    Write(Local + "/index.html", "edited by hand");
    Write(Local + "/index (1).html", "taken");
    Open();
    Relist();

    ClickRow("new.txt");
    ClickOn(FrmFTP->Image4);
    Settle();
    EXPECT_TRUE(Boxes->Records.empty()) << "nothing there: nothing asked";

    ClickRow("index.html");
    Boxes->AnswerResult(mrNo);
    ClickOn(FrmFTP->Image4);
    Settle();
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(BoxTexts()[0].rfind("\"index.html\" is already in the local folder", 0), 0u) << BoxTexts()[0];
    EXPECT_EQ(Read(Local + "/index.html"), "edited by hand");
    EXPECT_TRUE(Logged("\"index.html\" is already in the local folder: not downloaded."));

    ClickRow("index.html");
    Boxes->AnswerResult(mrIgnore);
    ClickOn(FrmFTP->Image4);
    Settle();
    EXPECT_EQ(Read(Local + "/index.html"), "edited by hand");
    EXPECT_EQ(Read(Local + "/index (1).html"), "taken");
    EXPECT_EQ(Read(Local + "/index (2).html"), "server copy");

    ClickRow("index.html");
    Boxes->AnswerResult(mrYes);
    ClickOn(FrmFTP->Image4);
    Settle();
    EXPECT_EQ(Read(Local + "/index.html"), "server copy");
    EXPECT_EQ(Sent({"RETR"}), (std::vector<std::string>{"RETR new.txt", "RETR index.html", "RETR index.html"}));

    // Uploads ask about the remote list's names the same way.
    Write(Local + "/index.html", "my new page");
    FrmFTP->FileListBox1->Update();
    const std::vector<std::string> files = FrmFTP->FileListBox1->Items();
    const int row = static_cast<int>(std::find(files.begin(), files.end(), "index.html") - files.begin());
    ASSERT_LT(row, static_cast<int>(files.size()));
    ClickItem(FrmFTP->FileListBox1, row);
    Boxes->AnswerResult(mrIgnore);
    ClickOn(FrmFTP->Image5);
    Settle();
    EXPECT_EQ(Server()->FileContent("index.html"), "server copy");
    EXPECT_EQ(Server()->FileContent("index (1).html"), "my new page");
    ClickItem(FrmFTP->FileListBox1, row);
    Boxes->AnswerResult(mrNo);
    ClickOn(FrmFTP->Image5);
    Settle();
    EXPECT_EQ(Sent({"STOR"}), std::vector<std::string>{"STOR index (1).html"});
    EXPECT_TRUE(Logged("\"index.html\" is already in the remote folder: not uploaded."));
}

// Resume is offered for a smaller file in binary type and adds what it
// lacks (REST, then RETR or STOR); "apply to all" answers the rest of one
// upload of several files.
TEST_F(ExistingFiles, ResumeAddsWhatIsMissingAndOneAnswerCanStandForAll) {
    const std::string down = RandomBytes(200000, 4), up = RandomBytes(150000, 5);
    ASSERT_TRUE(Server()->PutFile("down.bin", down));
    ASSERT_TRUE(Server()->PutFile("up.bin", up.substr(0, 70000)));
    ASSERT_TRUE(Server()->PutFile("a.txt", "server a"));
    ASSERT_TRUE(Server()->PutFile("b.txt", "server b"));
    Write(Local + "/down.bin", down.substr(0, 50000));
    Write(Local + "/up.bin", up);
    Write(Local + "/a.txt", "local a");
    Write(Local + "/b.txt", "local b");
    ASSERT_TRUE(Server()->PutFile("link.bin", "longer than what the link points to"));
    Write(Work + "/elsewhere.bin", "short");
    fs::create_symlink(Work + "/elsewhere.bin", Local + "/link.bin");
    Open();
    Relist();

    ClickOn(FrmFTP->RadAscii);
    ClickRow("down.bin");
    ClickOn(FrmFTP->Image4);  // Return: Skip
    Settle();
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Buttons & mbRetry, 0u) << "no Resume in ASCII type";

    ClickOn(FrmFTP->RadBinary);
    ClickRow("down.bin");
    Boxes->AnswerResult(mrRetry);
    ClickOn(FrmFTP->Image4);
    Settle();
    ASSERT_EQ(Boxes->Records.size(), 2u);
    EXPECT_NE(Boxes->Records[1].Buttons & mbRetry, 0u);
    EXPECT_TRUE(Read(Local + "/down.bin") == down) << Joined(Log());

    // Nothing is appended through a link.
    ClickRow("link.bin");
    ClickOn(FrmFTP->Image4);  // Return: Skip
    Settle();
    ASSERT_EQ(Boxes->Records.size(), 3u);
    EXPECT_EQ(Boxes->Records[2].Buttons & mbRetry, 0u);
    Boxes->Records.pop_back();

    FrmFTP->FileListBox1->Update();
    const std::vector<std::string> files = FrmFTP->FileListBox1->Items();
    auto row = [&](const std::string& name) {
        return static_cast<int>(std::find(files.begin(), files.end(), name) - files.begin());
    };
    ClickItem(FrmFTP->FileListBox1, row("up.bin"));
    Boxes->AnswerResult(mrRetry);
    ClickOn(FrmFTP->Image5);
    Settle();
    EXPECT_TRUE(Server()->FileContent("up.bin") == up) << Joined(Log());
    EXPECT_EQ(Sent({"REST", "RETR", "STOR"}),
              (std::vector<std::string>{"REST 50000", "RETR down.bin", "REST 70000", "STOR up.bin"}));

    ClickItem(FrmFTP->FileListBox1, row("a.txt"));
    ClickItem(FrmFTP->FileListBox1, row("b.txt"), Qt::ControlModifier);
    Boxes->AnswerResult(mrNo, true);  // Skip, for all
    ClickOn(FrmFTP->Image5);
    Settle();
    EXPECT_EQ(Boxes->Records.size(), 4u);
    EXPECT_EQ(Server()->FileContent("a.txt"), "server a");
    EXPECT_EQ(Server()->FileContent("b.txt"), "server b");
    EXPECT_TRUE(Logged("\"b.txt\" is already in the remote folder: not uploaded."));
}

}  // namespace

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

}  // namespace

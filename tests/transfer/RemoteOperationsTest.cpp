// The four server buttons against vsftpd: their request lines, boxes and
// messages, the commands they send, and what the server holds afterwards.
#include <filesystem>
#include <string>
#include <vector>

#include "ServerFixture.h"

namespace {

namespace fs = std::filesystem;

const std::string kNothingHighlighted =
    "Click and highlight any file above that you wish to delete, then click the delete button.";
const std::string kRemoveFailed =
    "This directory cannot be removed. The directory must be empty before you can remove this. Delete the items out of the directory first, then remove the directory. Also make sure you have authority to remove this directory.";
const std::string kRenameFailed =
    "This file cannot be renamed. Make sure you have chosen a file to rename, not a folder. Also make sure you have authority to rename this file.";
const std::string kDeleteFailed =
    "The file could not be deleted. Make sure the file exists and is accessible on the server. Also make sure you have highlighted a FILE to be deleted.";

class RemoteOperations : public ServerTest {};

TEST_F(RemoteOperations, MakeDirAsksForANameAndSendsItAsTyped) {
    Open();
    Boxes->Answer({mrCancel, false, {}, {}});
    ClickOn(FrmFTP->CmdServCreate);
    Boxes->AnswerText("new dir");
    ClickOn(FrmFTP->CmdServCreate);
    Settle();

    ASSERT_GE(Boxes->Records.size(), 2u);
    const TDialogRecord& input = Boxes->Records[0];
    EXPECT_EQ(input.Kind, TDialogRecord::dkInput);
    EXPECT_EQ(input.Caption, "Create New Directory");
    EXPECT_EQ(input.Text, "Enter the directory name:");
    EXPECT_EQ(input.Value, "");
    EXPECT_EQ(Boxes->Records.size(), 2u);
    EXPECT_EQ(LogCount("Requesting to MAKE a new DIRECTORY..."), 2);
    EXPECT_EQ(LogCount("Issuing commands..."), 1);
    EXPECT_EQ(Sent({"MKD"}), (std::vector<std::string>{"MKD new dir"}));
    EXPECT_TRUE(fs::is_directory(Remote("new dir")));
    EXPECT_GE(Row("new dir"), 0);
}

TEST_F(RemoteOperations, MakeDirWithAnEmptyNameShowsTheServersRefusal) {
    Open();
    Boxes->AnswerText("");
    ClickOn(FrmFTP->CmdServCreate);
    Settle();
    EXPECT_EQ(Sent({"MKD"}), (std::vector<std::string>{"MKD"}));
    ASSERT_EQ(BoxTexts().size(), 2u);
    EXPECT_EQ(BoxTexts()[1].rfind("Error ", 0), 0u) << BoxTexts()[1];
}

TEST_F(RemoteOperations, RemoveDirConfirmsWithTheFocusedName) {
    ASSERT_TRUE(Server()->MakeFolder("empty"));
    ASSERT_TRUE(Server()->PutFile("full/inside.txt", "x"));
    Open();
    Relist();
    // Nothing highlighted, then highlighted but nothing focused.
    FrmFTP->ListView1->SetSelected(0, false);
    ClickOn(FrmFTP->CmdServRemDir);
    Relist();
    ClickOn(FrmFTP->CmdServRemDir);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kNothingHighlighted, kRemoveFailed}));

    Boxes->Records.clear();
    ClickRow("empty");
    Boxes->AnswerResult(mrNo);
    ClickOn(FrmFTP->CmdServRemDir);
    EXPECT_TRUE(Sent({"RMD"}).empty());
    Boxes->AnswerResult(mrYes);
    ClickOn(FrmFTP->CmdServRemDir);
    Settle();
    ASSERT_GE(Boxes->Records.size(), 2u);
    EXPECT_EQ(Boxes->Records[0].Type, mtConfirmation);
    EXPECT_EQ(Boxes->Records[0].Caption, "Confirm");
    EXPECT_EQ(Boxes->Records[0].Text, "You sure you want to remove empty?");
    EXPECT_EQ(Boxes->Records[0].Buttons, mbYesNo);
    EXPECT_FALSE(fs::exists(Remote("empty")));

    // A folder that is not empty: the server's refusal, the folder stays.
    Boxes->Records.clear();
    ClickRow("full");
    Boxes->AnswerResult(mrYes);
    ClickOn(FrmFTP->CmdServRemDir);
    Settle();
    EXPECT_EQ(Sent({"RMD"}), (std::vector<std::string>{"RMD empty", "RMD full"}));
    EXPECT_TRUE(fs::exists(Remote("full/inside.txt")));
    ASSERT_EQ(BoxTexts().size(), 2u);
    EXPECT_EQ(BoxTexts()[1], "Error 550 Remove directory operation failed.");
    EXPECT_EQ(LogCount("Requesting to REMOVE a DIRECTORY..."), 5);
}

TEST_F(RemoteOperations, RenameProposesTheFocusedNameAndSendsBoth) {
    ASSERT_TRUE(Server()->PutFile("old.txt", "content"));
    Open();
    Relist();
    FrmFTP->ListView1->SetSelected(0, false);
    ClickOn(FrmFTP->CmdServRen);
    Relist();
    ClickOn(FrmFTP->CmdServRen);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"You must first click and highlight a file to be renamed.",
                                                    kRenameFailed}));
    Boxes->Records.clear();

    ClickRow("old.txt");
    Boxes->Answer({mrCancel, false, {}, {}});
    ClickOn(FrmFTP->CmdServRen);
    EXPECT_TRUE(Sent({"RNFR"}).empty());
    Boxes->AnswerText("old.txt");  // unchanged: still sent
    ClickOn(FrmFTP->CmdServRen);
    Settle();
    ClickRow("old.txt");
    Boxes->AnswerText("new name.txt");
    ClickOn(FrmFTP->CmdServRen);
    Settle();

    ASSERT_GE(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Kind, TDialogRecord::dkInput);
    EXPECT_EQ(Boxes->Records[0].Caption, "Rename File");
    EXPECT_EQ(Boxes->Records[0].Text, "Enter the new files name:");
    EXPECT_EQ(Boxes->Records[0].Value, "old.txt");
    EXPECT_EQ(Sent({"RNFR", "RNTO"}), (std::vector<std::string>{"RNFR old.txt", "RNTO old.txt", "RNFR old.txt",
                                                                "RNTO new name.txt"}));
    EXPECT_EQ(Server()->FileContent("new name.txt"), "content");
    EXPECT_EQ(LogCount("SUCCESSFULLY renamed file."), 2);
    EXPECT_GE(Row("new name.txt"), 0);
}

TEST_F(RemoteOperations, DeleteSendsEveryHighlightedRowInListOrder) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) ASSERT_TRUE(Server()->PutFile(name, name));
    Open();
    Relist();
    FrmFTP->ListView1->SetSelected(0, false);
    ClickOn(FrmFTP->CmdServDel);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kNothingHighlighted}));
    Boxes->Records.clear();

    ClickRow("a.txt");
    ClickRow("c.txt", Qt::ControlModifier);
    ClickRow("d.txt", Qt::ControlModifier);
    Boxes->AnswerResult(mrNo);
    ClickOn(FrmFTP->CmdServDel);
    EXPECT_TRUE(Sent({"DELE"}).empty());
    Boxes->AnswerResult(mrYes);
    ClickOn(FrmFTP->CmdServDel);
    Settle();

    ASSERT_EQ(Boxes->Records.size(), 2u);
    EXPECT_EQ(Boxes->Records[1].Text, "You sure you want to delete the item(s) you chose? ");
    EXPECT_EQ(Boxes->Records[1].Type, mtConfirmation);
    EXPECT_EQ(Sent({"DELE"}), (std::vector<std::string>{"DELE a.txt", "DELE c.txt", "DELE d.txt"}));
    EXPECT_FALSE(fs::exists(Remote("a.txt")));
    EXPECT_TRUE(fs::exists(Remote("b.txt")));
    for (const char* name : {"a.txt", "c.txt", "d.txt"})
        EXPECT_EQ(LogCount(std::string("SUCCESSFULLY deleted file ") + name), 1) << name;
    EXPECT_EQ(FrmFTP->ListView1->Count(), 2);  // ".." and b.txt
}

TEST_F(RemoteOperations, DeletingTheDotDotRowShowsTheServersRefusal) {
    Open();
    Relist();  // ".." highlighted, nothing focused: Delete works on highlights
    Boxes->AnswerResult(mrYes);
    ClickOn(FrmFTP->CmdServDel);
    Settle();
    EXPECT_EQ(Sent({"DELE"}), (std::vector<std::string>{"DELE .."}));
    ASSERT_EQ(BoxTexts().size(), 2u);
    EXPECT_EQ(BoxTexts()[1].rfind("Error 550", 0), 0u) << BoxTexts()[1];
    EXPECT_FALSE(Logged("SUCCESSFULLY deleted file .."));
}

// A name with a line break would end its command early and send another:
// the handlers refuse it with their own message and send nothing.
TEST_F(RemoteOperations, NamesThatWouldSplitACommandAreRefused) {
    ASSERT_TRUE(Server()->PutFile("victim.txt", "x"));
    Open();
    Relist();
    const int row = FrmFTP->ListView1->AddItem("x\r\nDELE victim.txt", {"1", "Jan 1 2000"}, 1);
    FrmFTP->ListView1->SetSelected(row, true);
    FrmFTP->ListView1->SetItemFocused(row);
    Boxes->AnswerResult(mrYes);
    ClickOn(FrmFTP->CmdServDel);
    Boxes->AnswerText("ok.txt");
    ClickOn(FrmFTP->CmdServRen);
    Boxes->AnswerResult(mrYes);
    ClickOn(FrmFTP->CmdServRemDir);
    Boxes->AnswerText("a\nRMD b");
    ClickOn(FrmFTP->CmdServCreate);
    Settle();
    const std::vector<std::string> texts = BoxTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), kDeleteFailed), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), kRenameFailed), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), kRemoveFailed), texts.end());
    EXPECT_EQ(texts.back(),
              "The directory could not be created. Make sure the directory does not already exist, and make sure you have authority to create directories.");
    EXPECT_TRUE(Sent({"DELE", "RNFR", "RNTO", "RMD", "MKD"}).empty());
    EXPECT_TRUE(fs::exists(Remote("victim.txt")));
}

// A Latin-1 name shows as "caf\uFFFD.txt". OK on it unchanged keeps its bytes,
// on the server and on the local disk; an edit around the mark cannot keep
// them and is refused with a box, nothing renamed; a name typed anew is taken.
TEST_F(RemoteOperations, NamesThatAreNotUtf8KeepTheirBytesThroughTheRenameBox) {
    const std::string latin1 = "caf\xe9.txt", shown = "caf\xEF\xBF\xBD.txt", edited = "caf\xEF\xBF\xBD-2.txt";
    ASSERT_TRUE(Server()->PutFile(latin1, "remote"));
    Write(Local + "/" + latin1, "local");
    Open();
    Relist();

    for (const std::string& answer : {shown, edited}) {
        ClickRow(latin1);
        Boxes->AnswerText(answer);
        ClickOn(FrmFTP->CmdServRen);
        Settle();
    }
    ASSERT_GE(Boxes->Records.size(), 3u);
    EXPECT_EQ(Boxes->Records[0].Value, shown);
    EXPECT_EQ(Boxes->Records[2].Type, mtError);
    EXPECT_NE(Boxes->Records[2].Text.find("not UTF-8"), std::string::npos) << Boxes->Records[2].Text;
    // One rename went out (vsftpd's log shows the byte as "?"), onto itself.
    EXPECT_EQ(Sent({"RNFR", "RNTO"}).size(), 2u);
    EXPECT_EQ(Server()->FileContent(latin1), "remote");
    EXPECT_FALSE(fs::exists(Remote(shown)));
    ClickRow(latin1);
    Boxes->AnswerText("cafe.txt");
    ClickOn(FrmFTP->CmdServRen);
    Settle();
    EXPECT_EQ(Server()->FileContent("cafe.txt"), "remote");

    // The local file list's rename goes through the same box.
    Boxes->Records.clear();
    for (const std::string& answer : {shown, edited}) {
        ClickItem(FrmFTP->FileListBox1, FrmFTP->FileListBox1->IndexOf(latin1));
        Boxes->AnswerText(answer);
        ClickOn(FrmFTP->CmdHostRen);
    }
    ASSERT_EQ(Boxes->Records.size(), 3u);
    EXPECT_EQ(Boxes->Records[2].Type, mtError);
    EXPECT_EQ(Read(Local + "/" + latin1), "local");
    EXPECT_EQ(fs::directory_iterator(Local)->path().filename().string(), latin1);
    ClickItem(FrmFTP->FileListBox1, FrmFTP->FileListBox1->IndexOf(latin1));
    Boxes->AnswerText("cafe.txt");
    ClickOn(FrmFTP->CmdHostRen);
    EXPECT_EQ(Read(Local + "/cafe.txt"), "local");
}

}  // namespace

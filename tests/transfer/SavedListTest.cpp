// The saved upload list of the transfer window: Add with its remembered
// folder, Remove, Clear, the totals of the highlighted files and the help
// icon, on real temporary files; its context menu against vsftpd.
#include <filesystem>
#include <string>
#include <vector>

#include "ServerFixture.h"
#include "TransferFixture.h"
#include "transfer/Unit1.h"

namespace {

namespace fs = std::filesystem;

class SavedListTest : public TransferTest {
protected:
    // The window in the saved view, with the given entries.
    void OpenSaved(const std::vector<std::string>& entries) {
        StartIn(Work);
        for (const std::string& e : entries) FrmFTP->ListBoxPC->Add(e);
        ClickOn(FrmFTP->RadSaved);
    }
    void ClickEntry(int index, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        ClickItem(FrmFTP->ListBoxPC, index, modifiers);
    }
    std::vector<std::string> Entries() const { return FrmFTP->ListBoxPC->Items(); }
};

TEST_F(SavedListTest, AddKeepsEveryChosenFileAndOpensWhereTheLastOneWas) {
    fs::create_directories(Work + "/docs");
    Start();  // first start: Last Dir is the program's folder
    ClickOn(FrmFTP->RadSaved);
    Boxes->AnswerFiles({Work + "/docs/b.txt"});
    ClickOn(FrmFTP->Cmdadd);
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Kind, TDialogRecord::dkOpenFile);
    EXPECT_EQ(Boxes->Records[0].Value, AppFolder());
    EXPECT_EQ(Boxes->Records[0].Text, FrmFTP->OpenDialog1->Filter);
    EXPECT_EQ(Entries(), std::vector<std::string>{Work + "/docs/b.txt"});
    EXPECT_EQ(Value("Last Dir"), Work + "/docs/");
    EXPECT_TRUE(FrmFTP->CmdOpen->Enabled());

    // The same file again, then one from elsewhere: the dialog opens in docs.
    Boxes->AnswerFiles({Work + "/docs/b.txt"});
    ClickOn(FrmFTP->Cmdadd);
    Boxes->AnswerFiles({Work + "/a.txt"});
    ClickOn(FrmFTP->Cmdadd);
    EXPECT_EQ(Boxes->Records[1].Value, Work + "/docs/");
    EXPECT_EQ(Boxes->Records[2].Value, Work + "/docs/");
    EXPECT_EQ(Entries(), (std::vector<std::string>{Work + "/a.txt", Work + "/docs/b.txt", Work + "/docs/b.txt"}));
    EXPECT_EQ(Value("Last Dir"), Work + "/");

    // A cancelled dialog changes nothing but the carets.
    FrmFTP->ListBoxPC->SetItemIndex(2);
    Boxes->Answer({mrCancel, false, {}, {}});
    ClickOn(FrmFTP->Cmdadd);
    EXPECT_EQ(Entries().size(), 3u);
    EXPECT_EQ(Value("Last Dir"), Work + "/");
    EXPECT_EQ(FrmFTP->ListBoxPC->ItemIndex(), 0);

    // Both copies are stored by Return and come back.
    Visit([] { ClickOn(FrmFTP->CmdExit); });
    Restart();
    EXPECT_EQ(Entries(), (std::vector<std::string>{Work + "/a.txt", Work + "/docs/b.txt", Work + "/docs/b.txt"}));
}

TEST_F(SavedListTest, RemoveTakesOutTheHighlightedEntriesOnly) {
    const std::string nothing =
        "You need to click and highlight a file in your list. Nothing is highlighted to be removed from the list.";
    OpenSaved({});
    ClickOn(FrmFTP->CmdRem);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{nothing});

    for (const char* e : {"/s/a", "/s/b", "/s/c", "/s/d"}) FrmFTP->ListBoxPC->Add(e);
    Boxes->Records.clear();
    ClickOn(FrmFTP->CmdRem);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{nothing});
    EXPECT_EQ(Entries().size(), 4u);

    ClickEntry(1);
    ClickEntry(3, Qt::ControlModifier);
    Boxes->Records.clear();
    ClickOn(FrmFTP->CmdRem);
    EXPECT_TRUE(Boxes->Records.empty());
    EXPECT_EQ(Entries(), (std::vector<std::string>{"/s/a", "/s/c"}));
    EXPECT_EQ(FrmFTP->ListBoxPC->SelCount(), 0);
    EXPECT_EQ(FrmFTP->ListBoxPC->ItemIndex(), 0);
    EXPECT_TRUE(FrmFTP->CmdOpen->Enabled());

    ClickEntry(0);
    ClickEntry(1, Qt::ShiftModifier);
    const std::string described = FrmFTP->LblSelSize->Caption();
    EXPECT_EQ(described, "-1 bytes <-- c");
    ClickOn(FrmFTP->CmdRem);
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(FrmFTP->CmdOpen->Enabled());
    EXPECT_EQ(FrmFTP->LblSelSize->Caption(), described);
}

TEST_F(SavedListTest, ClearAsksAndKeepsTheListUnlessAnsweredYes) {
    OpenSaved({"/c/one", "/c/two"});
    FrmFTP->LblTotalBytes->SetCaption("kept");
    Boxes->AnswerResult(mrCancel);
    ClickOn(FrmFTP->CmdClear);
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Type, mtConfirmation);
    EXPECT_EQ(Boxes->Records[0].Caption, "Confirm");
    EXPECT_EQ(Boxes->Records[0].Buttons, unsigned(mbYes | mbCancel));
    EXPECT_EQ(Boxes->Records[0].Text,
              "You have chosen to clear your entire file list (this will not delete the files but only removes them "
              "from the list). Click \"YES\" to confirm.");
    EXPECT_EQ(Entries().size(), 2u);

    Boxes->AnswerResult(mrYes);
    ClickOn(FrmFTP->CmdClear);
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(FrmFTP->CmdOpen->Enabled());
    EXPECT_EQ(FrmFTP->LblTotalBytes->Caption(), "kept");
    EXPECT_TRUE(fs::exists(Work));
}

TEST_F(SavedListTest, TotalsAddUpTheHighlightedFilesBeyondTwoGigabytes) {
    Write(Work + "/ten", "0123456789");
    Write(Work + "/twenty", "01234567890123456789");
    {
        std::ofstream(Work + "/large");
        fs::resize_file(Work + "/large", 3'000'000'000ULL);
    }
    // Sorted: large, missing, ten, twenty.
    OpenSaved({Work + "/ten", Work + "/twenty", Work + "/missing", Work + "/large"});
    ASSERT_EQ(Entries()[1], Work + "/missing");

    ClickEntry(2);
    EXPECT_EQ(FrmFTP->LblSelSize->Caption(), "10 bytes <-- ten");
    EXPECT_EQ(FrmFTP->LblTotalBytes->Caption(), "10 bytes <-- Total Bytes Highlighted");

    // The last highlighted entry in list order is described; a missing file counts -1.
    ClickEntry(3, Qt::ControlModifier);
    ClickEntry(1, Qt::ControlModifier);
    EXPECT_EQ(FrmFTP->LblSelSize->Caption(), "20 bytes <-- twenty");
    EXPECT_EQ(FrmFTP->LblTotalBytes->Caption(), "29 bytes <-- Total Bytes Highlighted");

    ClickEntry(0, Qt::ControlModifier);
    EXPECT_EQ(FrmFTP->LblTotalBytes->Caption(), "3000000029 bytes <-- Total Bytes Highlighted");

    // Nothing highlighted: the labels keep their text.
    ClickEntry(0);
    ClickEntry(0, Qt::ControlModifier);
    ASSERT_EQ(FrmFTP->ListBoxPC->SelCount(), 0);
    EXPECT_EQ(FrmFTP->LblSelSize->Caption(), "3000000000 bytes <-- large");
    EXPECT_EQ(FrmFTP->LblTotalBytes->Caption(), "3000000000 bytes <-- Total Bytes Highlighted");
    EXPECT_TRUE(Boxes->Records.empty());
}

TEST_F(SavedListTest, TheHelpIconExplainsTheList) {
    OpenSaved({});
    ClickOn(FrmFTP->Image2);
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Type, mtCustom);
    EXPECT_EQ(Boxes->Records[0].Caption, "Tarnwick FTP");
    EXPECT_EQ(Boxes->Records[0].Text,
              "You can add any file types to your list and they will always remain in your list for easy uploading "
              "now or at a later date. You can also use the \"Select/Upload\" button to upload any file that is not "
              "in your saved list");
}

// The list's context menu: Upload sends the highlighted entries (Stop in
// the first leaves the rest unsent, as the button's own click does), Remove
// from the list and Add... do what the buttons do.
class SavedListMenuTest : public ServerTest {};

TEST_F(SavedListMenuTest, TheMenuUploadsStopsAndEditsTheList) {
    Write(Local + "/a big.bin", std::string(20000000, 'a'));
    Write(Local + "/b.txt", "bee");
    Write(Local + "/c.txt", "sea");
    Open();
    for (const char* name : {"a big.bin", "b.txt", "c.txt"}) FrmFTP->ListBoxPC->Add(Local + "/" + name);
    ClickOn(FrmFTP->RadSaved);
    TPopupMenu* menu = FrmFTP->SavedListMenu;
    ASSERT_NE(menu, nullptr);
    std::vector<std::string> captions;
    for (int i = 0; i < menu->Count(); ++i) captions.push_back(menu->Items(i)->Caption());
    EXPECT_EQ(captions, (std::vector<std::string>{"Upload", "Add...", "Remove from the list"}));

    // Nothing highlighted: the button's own word.
    FrmFTP->ListBoxPC->SetSelected(0, false);
    menu->Find("Upload")->Click();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "Click and highlight any files you wish to upload from the box on your left. (You can "
                              "also hold the CTRL key down to select multiple items from your list)."});
    Boxes->Records.clear();

    ClickItem(FrmFTP->ListBoxPC, 0);
    ClickItem(FrmFTP->ListBoxPC, 1, Qt::ControlModifier);
    bool clicked = false;
    auto window = FrmFTP->FtpClient1->OnProgress;
    FrmFTP->FtpClient1->OnProgress = [&](TObject* s, int64_t count, bool& abort) {
        if (!clicked && count > 0) {
            clicked = true;
            ClickOn(FrmFTP->CmdStop);
        }
        window(s, count, abort);
    };
    menu->Find("Upload")->Click();
    Settle();
    FrmFTP->FtpClient1->OnProgress = window;
    ASSERT_TRUE(clicked) << Joined(Log());
    EXPECT_TRUE(Boxes->Records.empty()) << Joined(BoxTexts());  // a stop is no error
    EXPECT_TRUE(Logged("Stopped: \"a big.bin\" was not uploaded whole; the server may keep the part that arrived."))
        << Joined(Log());
    const std::vector<std::string> sent = Sent({"STOR"});
    ASSERT_EQ(sent.size(), 1u) << Joined(sent) << "b.txt went after the stop";
    EXPECT_TRUE(sent[0].ends_with("a big.bin")) << sent[0];

    Relist();
    Boxes->AnswerResult(mrYes, true);  // overwrite the part that arrived
    menu->Find("Upload")->Click();
    Settle();
    EXPECT_EQ(Server()->FileContent("a big.bin"), std::string(20000000, 'a')) << Joined(Log());
    EXPECT_EQ(Server()->FileContent("b.txt"), "bee");
    EXPECT_FALSE(std::filesystem::exists(Remote("c.txt")));

    menu->Find("Remove from the list")->Click();
    EXPECT_EQ(FrmFTP->ListBoxPC->Items(), std::vector<std::string>{Local + "/c.txt"});
    Boxes->AnswerFiles({Local + "/b.txt"});
    menu->Find("Add...")->Click();
    EXPECT_EQ(FrmFTP->ListBoxPC->Items(), (std::vector<std::string>{Local + "/b.txt", Local + "/c.txt"}));
}

}  // namespace

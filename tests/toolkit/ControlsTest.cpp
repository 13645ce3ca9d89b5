#include <stdexcept>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>

#include "GuiFixture.h"
#include "base/Exceptions.h"
#include "toolkit/Buttons.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Edit.h"
#include "toolkit/Form.h"
#include "toolkit/ListBox.h"
#include "toolkit/QtDialogs.h"
#include "toolkit/RadioButton.h"

namespace {

class ControlsTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        Window = new TForm(App.get());
    }
    TForm* Window = nullptr;
};

TEST_F(ControlsTest, EditLimitCountsUtf8BytesAndNeverSplitsACharacter) {
    auto* edit = new TEdit(Window, Window);
    edit->SetMaxLength(5);
    TypeText(edit->Widget(), QString::fromUtf8("ééé"));
    EXPECT_EQ(edit->Text(), "éé");
    TypeText(edit->Widget(), "ab");
    EXPECT_EQ(edit->Text(), "éé" "a");

    // A paste takes what fits, in whole characters.
    edit->SetText("a");
    QApplication::clipboard()->setText(QString::fromUtf8("ßßß"));
    QTest::keySequence(edit->Widget(), QKeySequence::Paste);
    EXPECT_EQ(edit->Text(), "a" "ßß");

    // Text from code is not limited.
    edit->SetText("0123456789");
    EXPECT_EQ(edit->Text(), "0123456789");
}

TEST_F(ControlsTest, EditForcesCapitalsAndReportsChanges) {
    auto* edit = new TEdit(Window, Window);
    edit->SetCharCase(ecUpperCase);
    int changes = 0;
    edit->OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, edit);
        ++changes;
    };
    TypeText(edit->Widget(), "ab c");
    EXPECT_EQ(edit->Text(), "AB C");
    EXPECT_EQ(changes, 4);
}

TEST_F(ControlsTest, SortedListKeepsBytesAndTellsCaretFromHighlight) {
    auto* list = new TListBox(Window, Window);
    list->SetBounds(0, 0, 200, 200);
    list->SetSorted(true);
    int clicks = 0;
    list->OnClick = [&](TObject*) { ++clicks; };
    for (const char* s : {"delta", "Bravo", "alpha", "charlie", "\xff raw"}) list->Add(s);
    EXPECT_EQ(list->Items(), (std::vector<std::string>{"alpha", "Bravo", "charlie", "delta", "\xff raw"}));
    EXPECT_EQ(list->IndexOf("\xff raw"), 4);

    list->SetItemIndex(2);
    EXPECT_EQ(clicks, 0);  // picking from code runs no handler
    EXPECT_TRUE(list->Selected(2));
    Window->Show();
    QTest::keyClick(list->Widget(), Qt::Key_Down);
    EXPECT_EQ(list->ItemIndex(), 3);
    EXPECT_EQ(clicks, 1);

    list->SetMultiSelect(true);
    list->SetSelected(0, true);
    list->SetSelected(3, false);
    list->SetItemIndex(1);  // the caret moves, the highlights stay
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_TRUE(list->Selected(0));
    EXPECT_FALSE(list->Selected(1));
    EXPECT_EQ(list->SelCount(), 1);
}

TEST_F(ControlsTest, RadioHandlerRunsWhenCheckedFromCode) {
    auto* a = new TRadioButton(Window, Window);
    auto* b = new TRadioButton(Window, Window);
    std::vector<std::string> ran;
    a->OnClick = [&](TObject*) { ran.push_back("a"); };
    b->OnClick = [&](TObject*) { ran.push_back("b"); };
    a->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    b->SetChecked(true);  // already checked: nothing new
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b"}));
    b->SetChecked(false);
    EXPECT_FALSE(a->Checked());
    EXPECT_FALSE(b->Checked());
}

TEST_F(ControlsTest, AnExceptionInAHandlerGoesToTheErrorBoxAndEndsOnlyThatHandler) {
    auto* button = new TButton(Window, Window);
    button->SetBounds(0, 0, 80, 24);
    int runs = 0;
    button->OnClick = [&](TObject*) {
        ++runs;
        if (runs == 1) throw Exception("Disk full");
        if (runs == 2) throw std::runtime_error("plain");
    };
    ClickOn(button);
    ClickOn(button);
    ClickOn(button);
    EXPECT_EQ(runs, 3);
    ASSERT_EQ(Boxes->Records.size(), 2u);
    EXPECT_EQ(Boxes->Records[0].Type, mtError);
    EXPECT_EQ(Boxes->Records[0].Caption, "Tarnwick FTP");
    EXPECT_EQ(Boxes->Records[0].Text, "Disk full");
    EXPECT_EQ(Boxes->Records[1].Text, "plain");
}

TEST_F(ControlsTest, ModalWindowEndsThroughItsCloseQuery) {
    auto* ok = new TButton(Window, Window);
    ok->ModalResult = mrOk;
    ok->SetDefault(true);
    auto* other = new TButton(Window, Window);
    int queries = 0;
    Window->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++queries > 1; };

    WhenModal([&] {
        ClickOn(ok);  // refused by the close query
        QApplication::processEvents();
        EXPECT_TRUE(Window->Modal());
        Window->Widget()->setFocus();
        QTest::keyClick(Window->Widget(), Qt::Key_Return);  // Enter: the default button
    });
    EXPECT_EQ(Window->ShowModal(), mrOk);
    EXPECT_EQ(queries, 2);
    EXPECT_FALSE(Window->Visible());

    // The close box asks too, and a modal window closed so answers Cancel.
    WhenModal([&] { Window->Widget()->close(); });
    EXPECT_EQ(Window->ShowModal(), mrCancel);
    EXPECT_EQ(queries, 3);

    // Esc closes a modal window without a cancel button, also through the
    // close query, and a refusal keeps it open.
    Window->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++queries != 4; };
    WhenModal([&] {
        QTest::keyClick(Window->Widget(), Qt::Key_Escape);
        QApplication::processEvents();
        EXPECT_TRUE(Window->Modal());
        QTest::keyClick(Window->Widget(), Qt::Key_Escape);
    });
    EXPECT_EQ(Window->ShowModal(), mrCancel);
    EXPECT_EQ(queries, 5);
    (void)other;

    // A window shown normally ignores Esc.
    Window->Show();
    QTest::keyClick(Window->Widget(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(Window->Visible());
    EXPECT_EQ(queries, 5);
    Window->Hide();
}

TEST_F(ControlsTest, DialogSeamNamesAndAnswersEveryBox) {
    ShowMessage("notice");
    Boxes->AnswerResult(mrNo);
    EXPECT_EQ(MessageDlg("sure?", mtConfirmation, mbYesNo), mrNo);
    EXPECT_EQ(MessageDlg("default answer", mtWarning, mbYesNo), mrYes);
    Boxes->AnswerText("typed");
    EXPECT_EQ(InputBox("Caption", "Prompt", "start"), "typed");
    EXPECT_EQ(InputBox("Caption", "Prompt", "start"), "start");  // unanswered: cancelled
    TOpenDialog open(Window);
    open.Filter = "Text|*.txt";
    EXPECT_FALSE(open.Execute());
    Boxes->AnswerFiles({"/tmp/a.txt", "/tmp/b.txt"});
    ASSERT_TRUE(open.Execute());
    EXPECT_EQ(open.FileName(), "/tmp/a.txt");

    // Captions of our own and a default button are recorded; unanswered,
    // the default button is the answer.
    const TButtonCaptions captions{{mbYes, "Trust always"}, {mbNo, "Trust once"}};
    EXPECT_EQ(MessageDlg("trust?", mtWarning, mbYesNoCancel, captions, mbCancel), mrCancel);
    EXPECT_EQ(Boxes->Records.back().Captions, captions);
    EXPECT_EQ(Boxes->Records.back().DefaultButton, unsigned(mbCancel));
    Boxes->Records.pop_back();

    ASSERT_EQ(Boxes->Records.size(), 7u);
    EXPECT_EQ(Boxes->Records[0].Caption, "Tarnwick FTP");
    EXPECT_EQ(Boxes->Records[0].Type, mtCustom);
    EXPECT_EQ(Boxes->Records[1].Caption, "Confirm");
    EXPECT_EQ(Boxes->Records[1].Buttons, unsigned(mbYesNo));
    EXPECT_EQ(Boxes->Records[2].Caption, "Warning");
    EXPECT_EQ(Boxes->Records[3].Kind, TDialogRecord::dkInput);
    EXPECT_EQ(Boxes->Records[3].Value, "start");
    EXPECT_EQ(Boxes->Records[5].Kind, TDialogRecord::dkOpenFile);
    EXPECT_EQ(Boxes->Records[5].Text, "Text|*.txt");
}

// The real box shows the captions given and Return presses the default
// button; the others answer as the buttons they stand for.
TEST_F(ControlsTest, QtMessageBoxShowsCaptionsOfItsOwnAndReturnPressesTheDefault) {
    SetDialogs(std::make_unique<TQtDialogs>());
    Boxes = nullptr;
    const TButtonCaptions captions{{mbYes, "Trust always"}, {mbNo, "Trust once"}, {mbCancel, "Cancel"}};
    QStringList shown;
    QString byDefault;
    WhenModal([&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (const QAbstractButton* b : box->buttons()) shown << b->text();
        if (box->defaultButton() != nullptr) byDefault = box->defaultButton()->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(MessageDlg("Trust it?", mtWarning, mbYesNoCancel, captions, mbCancel), mrCancel);
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"Cancel", "Trust always", "Trust once"}));
    EXPECT_EQ(byDefault, "Cancel");

    WhenModal([&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons())
            if (b->text() == "Trust once") b->click();
    });
    EXPECT_EQ(MessageDlg("Trust it?", mtWarning, mbYesNoCancel, captions, mbCancel), mrNo);
}

}  // namespace

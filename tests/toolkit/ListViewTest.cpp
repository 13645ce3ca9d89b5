#include <string>
#include <vector>

#include <QTreeWidget>

#include "GuiFixture.h"
#include "toolkit/Form.h"
#include "toolkit/ImageList.h"
#include "toolkit/ListView.h"

namespace {

class ListViewTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        Window = new TForm(App.get());
        Window->SetOuterSize(400, 300);
        Images = new TImageList(Window);
        Images->Add(piFolderOpen);
        Images->Add(piDocument);
        Images->Add(piOutline);
        View = new TListView(Window, Window);
        View->SetBounds(0, 0, 400, 300);
        View->AddColumn("Name", 115);
        View->AddColumn("Size", 65);
        View->AddColumn("Last Modified", 105);
        View->SetRowSelect(true);
        View->SetMultiSelect(true);
        View->SetStateImages(Images);
        View->AddItem("..", {}, 2);
        View->AddItem("docs", {"512", "Jan 5 12:30"}, 0);
        View->AddItem("old report.txt ", {"10240", "Dec 31 1999"}, 1);
        View->AddItem("\xe9t\xe9", {"1", "Mar 1 09:00"}, 1);
        Window->Show();
        QApplication::processEvents();
    }
    QPoint RowCentre(int row) const {
        auto* tree = static_cast<QTreeWidget*>(View->Widget());
        return tree->visualItemRect(tree->topLevelItem(row)).center();
    }
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(static_cast<QTreeWidget*>(View->Widget())->viewport(), Qt::LeftButton, modifiers,
                          RowCentre(row));
    }

    TForm* Window = nullptr;
    TImageList* Images = nullptr;
    TListView* View = nullptr;
};

TEST_F(ListViewTest, ColumnsRowsAndStateImagesKeepWhatWasGiven) {
    ASSERT_EQ(View->ColumnCount(), 3);
    EXPECT_EQ(View->ColumnCaption(2), "Last Modified");
    EXPECT_EQ(View->ColumnWidth(0), 115);
    EXPECT_EQ(View->ColumnWidth(1), 65);
    EXPECT_EQ(View->Count(), 4);
    EXPECT_EQ(View->Caption(2), "old report.txt ");
    EXPECT_EQ(View->Caption(3), "\xe9t\xe9");  // not UTF-8: still byte for byte
    EXPECT_TRUE(View->SubItems(0).empty());
    EXPECT_EQ(View->SubItems(1), (std::vector<std::string>{"512", "Jan 5 12:30"}));
    EXPECT_EQ(View->StateIndex(0), 2);
    EXPECT_EQ(View->StateIndex(1), 0);
    EXPECT_FALSE(static_cast<QTreeWidget*>(View->Widget())->topLevelItem(0)->icon(0).isNull());
    View->Clear();
    EXPECT_EQ(View->Count(), 0);
    EXPECT_EQ(View->ItemFocused(), -1);
}

TEST_F(ListViewTest, HighlightsFromCodeGiveNoFocusAndFocusLeavesHighlights) {
    View->SetSelected(0, true);
    View->SetSelected(3, true);
    EXPECT_EQ(View->SelCount(), 2);
    EXPECT_EQ(View->FirstSelected(), 0);
    EXPECT_EQ(View->ItemFocused(), -1);

    View->SetItemFocused(2);
    EXPECT_EQ(View->ItemFocused(), 2);
    EXPECT_FALSE(View->Selected(2));
    EXPECT_EQ(View->SelCount(), 2);
    View->SetItemFocused(-1);
    EXPECT_EQ(View->ItemFocused(), -1);
}

TEST_F(ListViewTest, AClickFocusesAndHighlightsAndCtrlExtends) {
    int clicks = 0;
    int doubles = 0;
    View->OnClick = [&](TObject*) { ++clicks; };
    View->OnDblClick = [&](TObject*) { ++doubles; };
    View->SetSelected(0, true);
    ClickRow(1);
    EXPECT_EQ(View->ItemFocused(), 1);
    EXPECT_EQ(View->SelCount(), 1);
    EXPECT_TRUE(View->Selected(1));
    ClickRow(3, Qt::ControlModifier);
    EXPECT_EQ(View->ItemFocused(), 3);
    EXPECT_TRUE(View->Selected(1));
    EXPECT_TRUE(View->Selected(3));
    // Ctrl on a highlighted row takes its highlight away; the focus stays on it.
    ClickRow(1, Qt::ControlModifier);
    EXPECT_EQ(View->ItemFocused(), 1);
    EXPECT_FALSE(View->Selected(1));
    EXPECT_EQ(clicks, 3);

    // A double click counts anywhere, also below the rows.
    auto* viewport = static_cast<QTreeWidget*>(View->Widget())->viewport();
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(50, viewport->height() - 5));
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, RowCentre(2));
    EXPECT_EQ(doubles, 2);
}

TEST_F(ListViewTest, SingleSelectionKeepsOneHighlight) {
    View->SetMultiSelect(false);
    View->SetSelected(1, true);
    View->SetSelected(2, true);
    EXPECT_EQ(View->SelCount(), 1);
    EXPECT_TRUE(View->Selected(2));
}

}  // namespace

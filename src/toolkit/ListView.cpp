#include "toolkit/ListView.h"

#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidget>

#include "toolkit/DragDrop.h"
#include "toolkit/ImageList.h"
#include "toolkit/Text.h"

namespace {

constexpr int kBytesRole = Qt::UserRole;
constexpr int kStateRole = Qt::UserRole + 1;

class ListViewWidget : public QTreeWidget {
public:
    ListViewWidget(TListView* view, QWidget* parent) : QTreeWidget(parent), View(view) {}

protected:
    // Qt would focus the first row when the view gains the focus; here a row
    // gets the focus only when clicked, moved to, or focused from code.
    void focusInEvent(QFocusEvent* event) override {
        const bool hadFocusedRow = currentIndex().isValid();
        QTreeWidget::focusInEvent(event);
        if (!hadFocusedRow && currentIndex().isValid())
            selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        QTreeWidget::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton) View->NotifyClick();
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QTreeWidget::mouseDoubleClickEvent(event);
        if (event->button() == Qt::LeftButton) View->NotifyDblClick();
    }
    // The keyboard changes the highlights and the focus as a click does
    // (arrows, Ctrl+Space, Ctrl+A): such a change runs OnClick too.
    void keyPressEvent(QKeyEvent* event) override {
        const QModelIndexList before = selectionModel()->selectedRows();
        const QModelIndex focusBefore = currentIndex();
        QTreeWidget::keyPressEvent(event);
        if (selectionModel()->selectedRows() != before || currentIndex() != focusBefore) View->NotifyClick();
    }

    // A drag carries the view itself: the drop target asks it for its rows.
    void startDrag(Qt::DropActions) override {
        auto* drag = new QDrag(this);
        drag->setMimeData(InternalDragData(View));
        drag->exec(Qt::CopyAction);
    }

private:
    TListView* View;
};

std::string BytesOf(const QTreeWidgetItem* item, int column) {
    return item->data(column, kBytesRole).toByteArray().toStdString();
}

void SetBytes(QTreeWidgetItem* item, int column, const std::string& s) {
    item->setText(column, ToQString(s));
    item->setData(column, kBytesRole, QByteArray(s.data(), static_cast<qsizetype>(s.size())));
}

}  // namespace

TListView::TListView(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new ListViewWidget(this, AParent->ClientWidget())) {
    Tree()->setRootIsDecorated(false);
    Tree()->setItemsExpandable(false);
    Tree()->setUniformRowHeights(true);
    Tree()->setColumnCount(0);
    Tree()->header()->setStretchLastSection(false);
    Tree()->header()->setSectionsMovable(false);
    Tree()->setSelectionMode(QAbstractItemView::SingleSelection);
    Tree()->setSelectionBehavior(QAbstractItemView::SelectItems);
    Tree()->setAllColumnsShowFocus(false);
}

QTreeWidget* TListView::Tree() const { return static_cast<QTreeWidget*>(Widget()); }

void TListView::AddColumn(const std::string& caption, int width) {
    const int column = Tree()->columnCount();
    Tree()->setColumnCount(column + 1);
    QTreeWidgetItem* header = Tree()->headerItem();
    header->setText(column, ToQString(caption));
    header->setData(column, kBytesRole, QByteArray(caption.data(), static_cast<qsizetype>(caption.size())));
    Tree()->setColumnWidth(column, width);
}

int TListView::ColumnCount() const { return Tree()->columnCount(); }
std::string TListView::ColumnCaption(int index) const { return BytesOf(Tree()->headerItem(), index); }
int TListView::ColumnWidth(int index) const { return Tree()->columnWidth(index); }

void TListView::SetRowSelect(bool value) {
    Tree()->setSelectionBehavior(value ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    Tree()->setAllColumnsShowFocus(value);
}

void TListView::SetDragEnabled(bool value) {
    Tree()->setDragEnabled(value);
    Tree()->setDragDropMode(value ? QAbstractItemView::DragOnly : QAbstractItemView::NoDragDrop);
}

void TListView::SetMultiSelect(bool value) {
    FMultiSelect = value;
    Tree()->setSelectionMode(value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void TListView::SetStateImages(TImageList* images) {
    FStateImages = images;
    if (images != nullptr) Tree()->setIconSize(QSize(images->Size(), images->Size()));
}

int TListView::Count() const { return Tree()->topLevelItemCount(); }

int TListView::AddItem(const std::string& caption, const std::vector<std::string>& subItems, int stateIndex) {
    auto* item = new QTreeWidgetItem;
    SetBytes(item, 0, caption);
    for (size_t i = 0; i < subItems.size(); ++i) SetBytes(item, static_cast<int>(i) + 1, subItems[i]);
    item->setData(0, kStateRole, stateIndex);
    if (FStateImages != nullptr && stateIndex >= 0) item->setIcon(0, FStateImages->Icon(stateIndex));
    // Rows are items of a flat list, never edited or dropped into.
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    Tree()->addTopLevelItem(item);
    return Count() - 1;
}

void TListView::Clear() { Tree()->clear(); }

std::string TListView::Caption(int index) const {
    const QTreeWidgetItem* item = Tree()->topLevelItem(index);
    return item != nullptr ? BytesOf(item, 0) : std::string();
}

std::vector<std::string> TListView::SubItems(int index) const {
    std::vector<std::string> subItems;
    const QTreeWidgetItem* item = Tree()->topLevelItem(index);
    if (item == nullptr) return subItems;
    // Only the sub-items given: a row added without them has none.
    for (int column = 1; column < Tree()->columnCount(); ++column) {
        if (!item->data(column, kBytesRole).isValid()) break;
        subItems.push_back(BytesOf(item, column));
    }
    return subItems;
}

int TListView::StateIndex(int index) const {
    const QTreeWidgetItem* item = Tree()->topLevelItem(index);
    return item != nullptr ? item->data(0, kStateRole).toInt() : -1;
}

bool TListView::Selected(int index) const {
    const QTreeWidgetItem* item = Tree()->topLevelItem(index);
    return item != nullptr && item->isSelected();
}

void TListView::SetSelected(int index, bool value) {
    if (QTreeWidgetItem* item = Tree()->topLevelItem(index)) {
        // In a single-selection view a new highlight replaces the old one.
        if (value && !FMultiSelect) Tree()->clearSelection();
        item->setSelected(value);
    }
}

int TListView::SelCount() const { return static_cast<int>(Tree()->selectedItems().size()); }

int TListView::FirstSelected() const {
    for (int i = 0; i < Count(); ++i)
        if (Selected(i)) return i;
    return -1;
}

int TListView::ItemFocused() const {
    const QModelIndex current = Tree()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TListView::SetItemFocused(int index) {
    QItemSelectionModel* selection = Tree()->selectionModel();
    if (index < 0 || index >= Count()) {
        selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        return;
    }
    selection->setCurrentIndex(Tree()->model()->index(index, 0), QItemSelectionModel::NoUpdate);
}

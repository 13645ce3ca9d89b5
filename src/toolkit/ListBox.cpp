#include "toolkit/ListBox.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include "toolkit/Text.h"

namespace {

constexpr int kBytesRole = Qt::UserRole;

// OnClick follows every change of the highlights or the caret that the user
// makes, however: a click, a drag across items, arrow keys, Ctrl+Space,
// Ctrl+A. Each input event that changes them runs it once; a click on an
// item that changes nothing runs it too, as a click always did.
class ListWidget : public QListWidget {
public:
    ListWidget(TListBox* box, QWidget* parent) : QListWidget(parent), Box(box) {
        connect(this, &QListWidget::itemDoubleClicked, this, [this] { Box->NotifyDblClick(); });
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        PressPicked = Track([&] { QListWidget::mousePressEvent(event); });
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        Track([&] { QListWidget::mouseMoveEvent(event); });
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        const bool onItem = event->button() == Qt::LeftButton && itemAt(event->position().toPoint()) != nullptr;
        const bool picked = Track([&] { QListWidget::mouseReleaseEvent(event); });
        if (!picked && !PressPicked && onItem) Box->NotifyUserPick();
        PressPicked = false;
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        Track([&] { QListWidget::mouseDoubleClickEvent(event); });
    }
    void keyPressEvent(QKeyEvent* event) override {
        Track([&] { QListWidget::keyPressEvent(event); });
    }

private:
    struct Picks {
        int Caret;
        std::vector<int> Highlighted;
        bool operator==(const Picks&) const = default;
    };
    Picks Current() const {
        Picks p{currentRow(), {}};
        for (int i = 0; i < count(); ++i)
            if (item(i)->isSelected()) p.Highlighted.push_back(i);
        return p;
    }
    // Runs one input event; answers (and tells the box) whether it changed
    // the picks.
    template <class Event>
    bool Track(Event run) {
        const Picks before = Current();
        run();
        if (Current() == before) return false;
        Box->NotifyUserPick();
        return true;
    }

    TListBox* Box;
    bool PressPicked = false;
};

// Every item as high as designed.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), Height(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), Height};
    }

private:
    int Height;
};

std::string BytesOf(const QListWidgetItem* item) { return item->data(kBytesRole).toByteArray().toStdString(); }

QListWidgetItem* MakeItem(const std::string& s) {
    auto* item = new QListWidgetItem(ToQString(s));
    item->setData(kBytesRole, QByteArray(s.data(), static_cast<qsizetype>(s.size())));
    return item;
}

}  // namespace

TListBox::TListBox(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new ListWidget(this, AParent->ClientWidget())) {
    List()->setSelectionMode(QAbstractItemView::SingleSelection);
    List()->setUniformItemSizes(true);
}

QListWidget* TListBox::List() const { return static_cast<QListWidget*>(Widget()); }

int TListBox::Count() const { return List()->count(); }

std::string TListBox::Strings(int index) const {
    const QListWidgetItem* item = List()->item(index);
    return item != nullptr ? BytesOf(item) : std::string();
}

std::vector<std::string> TListBox::Items() const {
    std::vector<std::string> items;
    for (int i = 0; i < Count(); ++i) items.push_back(Strings(i));
    return items;
}

int TListBox::SortedPosition(const std::string& s) const {
    const QString q = ToQString(s);
    int lo = 0;
    int hi = Count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const std::string other = Strings(mid);
        int c = QString::compare(ToQString(other), q, Qt::CaseInsensitive);
        if (c == 0) c = other.compare(s);
        if (c <= 0) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

// Items compare ignoring the case of letters, then by bytes: the order
// SortedPosition keeps, so a list filled at once reads as one filled item by
// item.
void TListBox::SetItems(std::vector<std::string> items) {
    if (FSorted) {
        std::vector<std::pair<QString, std::string>> keyed;
        keyed.reserve(items.size());
        for (std::string& s : items) keyed.emplace_back(ToQString(s), std::move(s));
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
            const int c = QString::compare(a.first, b.first, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a.second < b.second;
        });
        items.clear();
        for (auto& k : keyed) items.push_back(std::move(k.second));
    }
    Clear();
    for (const std::string& s : items) List()->addItem(MakeItem(s));
}

int TListBox::Add(const std::string& s) {
    const int index = FSorted ? SortedPosition(s) : Count();
    List()->insertItem(index, MakeItem(s));
    return index;
}

void TListBox::Insert(int index, const std::string& s) {
    List()->insertItem(index, MakeItem(s));
}

void TListBox::Delete(int index) { delete List()->takeItem(index); }

void TListBox::Clear() { List()->clear(); }

int TListBox::IndexOf(const std::string& s) const {
    for (int i = 0; i < Count(); ++i)
        if (Strings(i) == s) return i;
    return -1;
}

void TListBox::SetSorted(bool value) {
    FSorted = value;
    if (!value) return;
    std::vector<std::string> items = Items();
    Clear();
    for (const std::string& s : items) Add(s);
}

void TListBox::SetMultiSelect(bool value) {
    FMultiSelect = value;
    List()->setSelectionMode(value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

int TListBox::ItemIndex() const { return List()->currentRow(); }

void TListBox::SetItemIndex(int index) {
    if (index < 0 || index >= Count()) {
        List()->setCurrentRow(-1);
        List()->clearSelection();
        return;
    }
    // In a single-selection list the caret is the selection; in a
    // multi-selection one, moving the caret leaves the highlights alone.
    List()->setCurrentRow(index, FMultiSelect ? QItemSelectionModel::NoUpdate : QItemSelectionModel::ClearAndSelect);
}

bool TListBox::Selected(int index) const {
    const QListWidgetItem* item = List()->item(index);
    return item != nullptr && item->isSelected();
}

void TListBox::SetSelected(int index, bool value) {
    if (QListWidgetItem* item = List()->item(index)) item->setSelected(value);
}

void TListBox::SetItemHeight(int pixels) {
    FItemHeight = pixels;
    QAbstractItemDelegate* old = List()->itemDelegate();
    List()->setItemDelegate(pixels > 0 ? new FixedHeightDelegate(pixels, List()) : new QStyledItemDelegate(List()));
    delete old;
}

int TListBox::SelCount() const { return static_cast<int>(List()->selectedItems().size()); }

#include "toolkit/DirectoryListBox.h"

#include <algorithm>
#include <vector>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QListWidget>

#include "base/Exceptions.h"
#include "platform/Folders.h"
#include "platform/LocalFiles.h"
#include "toolkit/Handler.h"
#include "toolkit/Pictures.h"
#include "toolkit/Text.h"

namespace {

constexpr int kNameRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;

class FolderListWidget : public QListWidget {
public:
    FolderListWidget(TDirectoryListBox* box, QWidget* parent) : QListWidget(parent), Box(box) {}

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QListWidgetItem* item = itemAt(event->position().toPoint());
        if (event->button() != Qt::LeftButton || item == nullptr) return;
        setCurrentItem(item);
        Open();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            // Enter belongs to the list here, not to the window's default button.
            Open();
            return;
        }
        QListWidget::keyPressEvent(event);
    }

private:
    void Open() {
        RunHandler([this] { Box->OpenCurrent(); });
    }
    TDirectoryListBox* Box;
};

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

TDirectoryListBox::TDirectoryListBox(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new FolderListWidget(this, AParent->ClientWidget())) {
    List()->setSelectionMode(QAbstractItemView::SingleSelection);
    List()->setUniformItemSizes(true);
    const std::string start = platform::CurrentFolder();
    try {
        Build(start);
    } catch (const Exception&) {
        // An unreadable current folder: the list stays empty until moved.
        FDirectory = start;
    }
}

QListWidget* TDirectoryListBox::List() const { return static_cast<QListWidget*>(Widget()); }

void TDirectoryListBox::Build(const std::string& folder) {
    std::vector<std::string> subfolders;
    for (const platform::FolderEntry& entry : platform::ReadFolder(folder))
        if (entry.IsFolder) subfolders.push_back(entry.Name);
    std::sort(subfolders.begin(), subfolders.end(), [](const std::string& a, const std::string& b) {
        const int c = QString::compare(ToQString(a), ToQString(b), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });

    List()->clear();
    const QIcon open(PicturePixmap(piFolderOpen, 16));
    const QIcon closed(PicturePixmap(piFolderClosed, 16));
    auto add = [this](const QIcon& icon, int depth, const std::string& name, const std::string& path) {
        auto* item = new QListWidgetItem(icon, QString(depth * 2, QLatin1Char(' ')) + ToQString(name));
        item->setData(kNameRole, Bytes(name));
        item->setData(kPathRole, Bytes(path));
        List()->addItem(item);
    };
    // The levels: "/", then each name down to the folder itself.
    int depth = 0;
    add(open, depth, "/", "/");
    std::string path;
    for (size_t start = 1; start < folder.size();) {
        size_t end = folder.find('/', start);
        if (end == std::string::npos) end = folder.size();
        const std::string name = folder.substr(start, end - start);
        path += "/" + name;
        add(open, ++depth, name, path);
        start = end + 1;
    }
    const int shown = List()->count() - 1;
    for (const std::string& name : subfolders) add(closed, depth + 1, name, platform::JoinPath(folder, name));
    FDirectory = folder;
    List()->setCurrentRow(shown);
}

void TDirectoryListBox::SetDirectory(const std::string& folder) {
    if (folder.empty()) return;
    const std::string target = platform::NormalFolder(folder);
    if (target == FDirectory) return;
    const std::string previous = FDirectory;
    Build(target);
    try {
        Changed();
    } catch (...) {
        // The lists bound to this one refused the folder: stay with them.
        try {
            Build(previous);
        } catch (const Exception&) {
            // The old folder is gone too; the list keeps showing the new one.
        }
        throw;
    }
}

void TDirectoryListBox::Update() {
    Build(FDirectory);
    Changed();
}

// Called directly: a failing change handler fails the move that caused it,
// up to whoever asked for the move (the user's open is wrapped).
void TDirectoryListBox::Changed() {
    if (OnChange) OnChange(this);
}

int TDirectoryListBox::Count() const { return List()->count(); }

std::string TDirectoryListBox::Strings(int index) const {
    const QListWidgetItem* item = List()->item(index);
    return item != nullptr ? item->data(kNameRole).toByteArray().toStdString() : std::string();
}

std::string TDirectoryListBox::ItemPath(int index) const {
    const QListWidgetItem* item = List()->item(index);
    return item != nullptr ? item->data(kPathRole).toByteArray().toStdString() : std::string();
}

int TDirectoryListBox::ItemIndex() const { return List()->currentRow(); }
void TDirectoryListBox::SetItemIndex(int index) { List()->setCurrentRow(index); }

void TDirectoryListBox::OpenCurrent() {
    if (ItemIndex() >= 0) SetDirectory(ItemPath(ItemIndex()));
}

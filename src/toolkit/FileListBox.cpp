#include "toolkit/FileListBox.h"

#include <fnmatch.h>

#include <QFileIconProvider>
#include <QListWidget>

#include "base/Exceptions.h"
#include "platform/Folders.h"
#include "platform/LocalFiles.h"

TFileListBox::TFileListBox(TComponent* AOwner, TControl* AParent) : TListBox(AOwner, AParent) {
    SetSorted(true);
    FDirectory = platform::CurrentFolder();
    try {
        Update();
    } catch (const Exception&) {
        // An unreadable current folder: the list stays empty until moved.
    }
}

void TFileListBox::SetDirectory(const std::string& folder) {
    const std::string target = platform::NormalFolder(folder);
    platform::SetCurrentFolder(target);
    const std::string previous = FDirectory;
    FDirectory = target;
    try {
        Update();
    } catch (const Exception&) {
        // An enterable folder that cannot be read: the entries still shown
        // belong to the previous folder, and so must the list's folder.
        FDirectory = previous;
        try {
            platform::SetCurrentFolder(previous);
        } catch (const Exception&) {
            // Gone meanwhile; the current folder stays where it was moved.
        }
        throw;
    }
}

void TFileListBox::SetMask(const std::string& mask) {
    FMask = mask;
    Update();
}

bool TFileListBox::MatchesMask(const std::string& name, const std::string& mask) {
    size_t start = 0;
    while (start <= mask.size()) {
        size_t end = mask.find(';', start);
        if (end == std::string::npos) end = mask.size();
        std::string pattern = mask.substr(start, end - start);
        // "Any name with any extension" includes names without one.
        if (pattern == "*.*") pattern = "*";
        if (!pattern.empty() && fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0) return true;
        start = end + 1;
    }
    return false;
}

// The list is re-read after every download: one icon for all files, as a
// lookup per name (its type, then the icon theme) on this thread would cost
// far more than reading the folder.
void TFileListBox::Update() {
    std::vector<std::string> names;
    for (platform::FolderEntry& entry : platform::ReadFolder(FDirectory))
        if (!entry.IsFolder && MatchesMask(entry.Name, FMask)) names.push_back(std::move(entry.Name));
    SetItems(std::move(names));
    const QIcon icon = QFileIconProvider().icon(QAbstractFileIconProvider::File);
    for (int i = 0; i < Count(); ++i) List()->item(i)->setIcon(icon);
}

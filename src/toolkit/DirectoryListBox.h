// TDirectoryListBox: the folder list. It shows the levels of the shown folder's
// path, from the root down to the folder itself (the root as "/", each other
// level by its name), then the folder's subfolders, sorted; one entry is
// highlighted (the shown folder, after each move).
//
//  - A double click or Enter on an entry opens it: the list moves to that
//    folder. A folder that cannot be read raises (through the handler
//    wrapper, the error box), and the list stays where it was.
//  - OnChange runs each time the list moves to another folder, and after
//    Update.
#pragma once

#include <string>

#include "toolkit/Control.h"

class QListWidget;

class TDirectoryListBox : public TControl {
public:
    TDirectoryListBox(TComponent* AOwner, TControl* AParent);

    // The shown folder: absolute, without a trailing "/" (except the root).
    std::string Directory() const { return FDirectory; }
    // Moves to folder (relative paths from the process's current folder).
    // An empty text or the folder already shown changes nothing; a folder
    // that cannot be read raises Exception and changes nothing. An exception
    // of OnChange reaches the caller, and the list goes back to the folder
    // it showed before (so that it never shows another folder than the file
    // list bound to it).
    void SetDirectory(const std::string& folder);
    // Moves to a drive's current folder, its mount point.
    void SetDrive(const std::string& drive) { SetDirectory(drive); }
    // Reads the shown folder again, then runs OnChange.
    void Update();

    int Count() const;
    // The entry's name as shown ("/" for the root).
    std::string Strings(int index) const;
    int ItemIndex() const;
    void SetItemIndex(int index);
    // The folder an entry stands for.
    std::string ItemPath(int index) const;
    // Opens the highlighted entry (what a double click or Enter does).
    void OpenCurrent();

    TNotifyEvent OnChange;

private:
    QListWidget* List() const;
    void Build(const std::string& folder);
    void Changed();

    std::string FDirectory;
};

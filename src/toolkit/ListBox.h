// TListBox: a list of byte strings.
//
//  - Sorted: an added string goes to its sorted place (ignoring the case of
//    letters, then byte order), as the list control of the original sorted.
//  - ItemIndex is the caret (the item with the focus rectangle); Selected(i)
//    tells the highlighted items. With single selection they coincide.
//  - OnClick runs whenever the user changes the highlights or the caret, by
//    mouse (click or drag) or keyboard (arrows, Ctrl+Space, Ctrl+A), and for
//    every click on an item; changes made from code do not run it.
//  - The strings come back exactly as added, byte for byte.
#pragma once

#include <string>
#include <vector>

#include "toolkit/Control.h"

class QListWidget;

class TListBox : public TControl {
public:
    TListBox(TComponent* AOwner, TControl* AParent);

    int Count() const;
    std::string Strings(int index) const;
    int Add(const std::string& s);
    void Insert(int index, const std::string& s);
    void Delete(int index);
    void Clear();
    int IndexOf(const std::string& s) const;
    std::vector<std::string> Items() const;
    // Replaces every item at once (in sorted order when Sorted): what a
    // re-read of a large folder needs, where adding one by one would move
    // the items after each new one.
    void SetItems(std::vector<std::string> items);

    bool Sorted() const { return FSorted; }
    void SetSorted(bool value);
    bool MultiSelect() const { return FMultiSelect; }
    void SetMultiSelect(bool value);

    int ItemIndex() const;
    void SetItemIndex(int index);
    bool Selected(int index) const;
    void SetSelected(int index, bool value);
    int SelCount() const;
    // Height of every item in pixels (0: the style's).
    void SetItemHeight(int pixels);
    int ItemHeight() const { return FItemHeight; }

    // Used by the list's widget.
    void NotifyUserPick() { Click(); }
    void NotifyDblClick() { DblClick(); }

protected:
    QListWidget* List() const;

private:
    int SortedPosition(const std::string& s) const;

    int FItemHeight = 0;

    bool FSorted = false;
    bool FMultiSelect = false;
};

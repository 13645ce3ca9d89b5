// TListView: the report-style list view: columns with captions and widths,
// one row per item (a caption and sub-items), a small state image per row.
//
//  - Highlighted rows (Selected) and the focused row (ItemFocused) are kept
//    apart, as the windows rely on: highlighting a row from code gives no row
//    the focus, and moving the focus from code leaves the highlights alone.
//    A user's click focuses and highlights the row clicked.
//  - Row select: a highlight covers the whole row. Multi-select: Ctrl and
//    Shift extend the highlight.
//  - OnClick and OnDblClick run for clicks anywhere in the list, on a row or
//    on the empty part below the rows; OnClick also runs when a key changes
//    the highlights or the focus.
//  - Captions and sub-items come back byte for byte as given.
#pragma once

#include <string>
#include <vector>

#include "toolkit/Control.h"

class QTreeWidget;
class TImageList;

class TListView : public TControl {
public:
    TListView(TComponent* AOwner, TControl* AParent);

    void AddColumn(const std::string& caption, int width);
    int ColumnCount() const;
    std::string ColumnCaption(int index) const;
    int ColumnWidth(int index) const;

    void SetRowSelect(bool value);
    void SetMultiSelect(bool value);
    bool MultiSelect() const { return FMultiSelect; }
    // Highlighted rows can be dragged onto a drop target (see DragDrop.h).
    void SetDragEnabled(bool value);
    // The pictures of the rows' state images (not owned; must outlive the view).
    void SetStateImages(TImageList* images);

    int Count() const;
    // Appends a row; stateIndex -1 shows no image. Returns its index.
    int AddItem(const std::string& caption, const std::vector<std::string>& subItems = {}, int stateIndex = -1);
    void Clear();
    std::string Caption(int index) const;
    std::vector<std::string> SubItems(int index) const;
    int StateIndex(int index) const;

    // Highlights.
    bool Selected(int index) const;
    void SetSelected(int index, bool value);
    int SelCount() const;
    // The first highlighted row, or -1.
    int FirstSelected() const;

    // The focused row, or -1 when no row has the focus.
    int ItemFocused() const;
    void SetItemFocused(int index);

    // Used by the view's widget.
    void NotifyClick() { Click(); }
    void NotifyDblClick() { DblClick(); }

private:
    QTreeWidget* Tree() const;

    bool FMultiSelect = false;
    TImageList* FStateImages = nullptr;
};

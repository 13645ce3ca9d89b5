// TFileListBox: the files (not folders) of one folder whose names match a
// mask, sorted, each with the file icon; a list box in every other
// respect (multi-select, caret versus highlights, entries replaceable from
// code, as a filter does).
//
//  - SetDirectory moves the list to a folder and makes it the process's
//    current folder; a folder that cannot be entered or read raises
//    Exception and leaves list, Directory and current folder as they were.
//  - Update reads the folder again (only then do entries removed from code
//    come back).
//  - Mask: patterns separated by ";", "*" and "?" as wildcards, letters in
//    either case; "*.*" matches every name, with or without a full stop.
//  - Every entry is listed whatever its attributes (hidden files included).
#pragma once

#include <string>

#include "toolkit/ListBox.h"

class TFileListBox : public TListBox {
public:
    TFileListBox(TComponent* AOwner, TControl* AParent);

    std::string Directory() const { return FDirectory; }
    void SetDirectory(const std::string& folder);
    std::string Mask() const { return FMask; }
    void SetMask(const std::string& mask);
    void Update();

    static bool MatchesMask(const std::string& name, const std::string& mask);

private:
    std::string FDirectory;
    std::string FMask = "*.*";
};

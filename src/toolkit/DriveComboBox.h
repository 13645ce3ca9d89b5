// TDriveComboBox: a drop-down list of the machine's drives, the mounted real
// file systems, each named by its mount point (which is also the drive's
// current folder). It starts on the drive of the process's current folder.
// OnChange runs whenever the chosen drive changes, picked by the user or set
// from code (an exception of it then reaches the caller; the box keeps the
// drive just chosen). Nothing else is linked to it.
#pragma once

#include <string>
#include <vector>

#include "toolkit/Control.h"

class QComboBox;

class TDriveComboBox : public TControl {
public:
    TDriveComboBox(TComponent* AOwner, TControl* AParent);

    std::string Drive() const { return FDrive; }
    // A path not among the drives chooses the drive holding it.
    void SetDrive(const std::string& drive);
    std::vector<std::string> Drives() const { return FDrives; }

    TNotifyEvent OnChange;

    // Used by the box's widget.
    void NotifyPicked(int index);

private:
    QComboBox* Combo() const;

    std::vector<std::string> FDrives;
    std::string FDrive;
};

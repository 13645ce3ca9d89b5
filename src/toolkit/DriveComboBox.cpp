#include "toolkit/DriveComboBox.h"

#include <algorithm>

#include <QComboBox>

#include "platform/Drives.h"
#include "platform/Folders.h"
#include "toolkit/Handler.h"
#include "toolkit/Pictures.h"
#include "toolkit/Text.h"

TDriveComboBox::TDriveComboBox(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new QComboBox(AParent->ClientWidget())), FDrives(platform::MountedDrives()) {
    const QIcon icon(PicturePixmap(piFolderClosed, 16));
    for (const std::string& drive : FDrives) Combo()->addItem(icon, ToQString(drive));
    FDrive = platform::DriveOf(platform::CurrentFolder(), FDrives);
    Combo()->setCurrentIndex(static_cast<int>(std::find(FDrives.begin(), FDrives.end(), FDrive) - FDrives.begin()));
    QObject::connect(Combo(), &QComboBox::activated, Combo(), [this](int index) { NotifyPicked(index); });
}

QComboBox* TDriveComboBox::Combo() const { return static_cast<QComboBox*>(Widget()); }

void TDriveComboBox::SetDrive(const std::string& drive) {
    const std::string chosen = platform::DriveOf(platform::NormalFolder(drive), FDrives);
    if (chosen == FDrive) return;
    FDrive = chosen;
    Combo()->setCurrentIndex(static_cast<int>(std::find(FDrives.begin(), FDrives.end(), chosen) - FDrives.begin()));
    // Called directly: an exception of the handler reaches the caller.
    if (OnChange) OnChange(this);
}

void TDriveComboBox::NotifyPicked(int index) {
    if (index < 0 || index >= static_cast<int>(FDrives.size())) return;
    RunHandler([&] { SetDrive(FDrives[static_cast<size_t>(index)]); });
}

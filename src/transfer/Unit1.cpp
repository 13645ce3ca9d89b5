#include "transfer/Unit1.h"

#include "base/Strings.h"
#include "platform/Folders.h"
#include "platform/ProgramPaths.h"
#include "toolkit/Application.h"
#include "transfer/FormDesign.h"

TFrmFTP* FrmFTP = nullptr;

namespace {

std::string SavedKey(int n) { return "F" + std::to_string(n); }

}  // namespace

TFrmFTP::TFrmFTP(TComponent* AOwner) : TForm(AOwner) {
    Name = "FrmFTP";
    SetCaption("Tarnwick FTP");
    SetOuterSize(902, 473);
    Position = poScreenCenter;
    SetColor(kFormColor);

    // The areas from left to right; the hidden and non-visual parts last.
    BuildLocalBrowser();
    BuildSavedList();
    BuildTransfers();
    BuildRemoteListing();
    BuildRemoteOperations();
    BuildSession();

    CmdExit = Make<TBitBtn>(this, this, "CmdExit");
    CmdExit->SetBounds(758, 434, 136, 30);
    CmdExit->SetCaption("Return");
    CmdExit->SetFont(ArialFont());
    CmdExit->SetGlyph(glOk);
    CmdExit->ModalResult = mrOk;
    CmdExit->SetDefault(true);
    CmdExit->OnClick = [this](TObject* s) { CmdExitClick(s); };

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
}

void TFrmFTP::FormCreate(TObject*) {
    RemoteEntries.ClearTexts();
    LblFileName->SetCaption("");
    LblFileSize->SetCaption("");
    LblFileLastMod->SetCaption("");
    TransferActive = false;
    RadBinary->SetChecked(true);

    WindowsFolder = platform::GetWindowsFolder();
    SettingsFilePath = WindowsFolder + "/" + "TarnFtp.ini";
    ListingFile = WindowsFolder + "/ftptemp.txt";
    Settings.Path = SettingsFilePath;

    if (platform::FileExists(SettingsFilePath)) LoadSettings();
    else CreateSettings();
    RefreshSavedListState();
}

void TFrmFTP::LoadSettings() {
    // The saved list ends at the first blank key.
    for (int n = 1;; ++n) {
        const std::string path = Trim(Settings.ReadString("Options", SavedKey(n), ""));
        if (path.empty()) break;
        ListBoxPC->Add(path);
    }
    if (Settings.ReadBool("Options", "SortD", true)) RadSortData->SetChecked(true);
    else RadSortAlpha->SetChecked(true);

    // A folder that is gone or cannot be entered raises here and ends the
    // creation: the transfer type stays binary and no view is chosen.
    DirectoryListBox1->SetDirectory(Settings.ReadString("History", "Last DirBox", ""));

    if (Settings.ReadBool("History", "Ascii", true)) RadAscii->SetChecked(true);
    else RadBinary->SetChecked(true);
    RadExplorer->SetChecked(true);
}

void TFrmFTP::CreateSettings() {
    for (int n = 1; n <= kSavedKeys; ++n) Settings.WriteString("Options", SavedKey(n), "");
    Settings.WriteString("History", "Last Dir", WindowsFolder);
    Settings.WriteString("History", "Last DriveBox", WindowsFolder);
    Settings.WriteString("History", "Last DirBox", WindowsFolder);
}

void TFrmFTP::CmdExitClick(TObject*) {
    // Quitting an open session (log line "Disconnected from server " + host,
    // Quit, caption "Connect") comes first here once FtpClient1 exists.
    StoreSavedList();
    Close();
}

// Keys after the list's end are emptied up to the first one that already
// was empty; entries after the last key are not stored.
void TFrmFTP::StoreSavedList() {
    for (int n = 1; n <= kSavedKeys; ++n) {
        bool last = false;
        if (n <= ListBoxPC->Count()) {
            Settings.WriteString("Options", SavedKey(n), ListBoxPC->Strings(n - 1));
        } else if (Trim(Settings.ReadString("Options", SavedKey(n), "")).empty()) {
            last = true;
        } else {
            Settings.WriteString("Options", SavedKey(n), "");
        }
        Settings.WriteBool("Options", "SortD", RadSortData->Checked());
        if (last) break;
    }
}

// A refused write is reported in the default error box, and the window
// closes all the same: the user must never be kept in a window that cannot
// be left. The writes after the refused one are skipped.
void TFrmFTP::FormCloseQuery(TObject*, bool& CanClose) {
    try {
        Settings.WriteString("History", "Last DirBox", DirectoryListBox1->Directory());
        Settings.WriteBool("History", "Ascii", RadAscii->Checked());
    } catch (const std::exception& e) {
        Application->ShowException(e);
    }
    CanClose = true;
}

void TFrmFTP::HandOver(const std::string& User, const std::string& Host, const std::string& Password) {
    EdUserID->SetText(User);
    EdServer->SetText(Host);
    EdPassword->SetText(Password);
    RefreshSavedListState();
    Timer1->SetEnabled(true);
    ShowModal();
}

#include "transfer/Unit1.h"

#include "base/Exceptions.h"
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

    // The engine first, so that every concern can attach to it; then the
    // areas from left to right; the hidden and non-visual parts last.
    BuildEngine();
    BuildLocalBrowser();
    BuildSavedList();
    BuildTransfers();
    BuildStop();
    BuildRemoteListing();
    BuildRemoteOperations();
    BuildFolderTransfers();
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
    // The explorer view is what the window shows from the start, so uploads
    // take their files from it whatever happens below (a first start, a
    // stored folder that is gone).
    RadExplorer->SetChecked(true);

    // Without the per-user folder there is no place for the settings or the
    // listing file: say so once and go on without them, writing nothing
    // anywhere else.
    try {
        WindowsFolder = platform::GetWindowsFolder();
    } catch (const std::exception& e) {
        Application->ShowException(Exception(std::string(e.what()) + ". Your settings will not be kept this time."));
        RefreshSavedListState();
        return;
    }
    SettingsFilePath = WindowsFolder + "/" + "TarnFtp.ini";
    ListingFile = WindowsFolder + "/ftptemp.txt";
    Settings.Path = SettingsFilePath;
    TrustedCertificates.Path = WindowsFolder + "/TarnFtpCerts.txt";
    PassiveServers.Path = WindowsFolder + "/TarnFtpPassive.txt";

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
}

void TFrmFTP::CreateSettings() {
    for (int n = 1; n <= kSavedKeys; ++n) Settings.WriteString("Options", SavedKey(n), "");
    Settings.WriteString("History", "Last Dir", WindowsFolder);
    Settings.WriteString("History", "Last DriveBox", WindowsFolder);
    Settings.WriteString("History", "Last DirBox", WindowsFolder);
}

// While a file moves, the close query refuses and says why; the transfer's
// files and session stay as they are.
void TFrmFTP::CmdExitClick(TObject*) {
    if (TransferRunning()) {
        Close();
        return;
    }
    EndSession();
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
//
// Every way of leaving (Return, Esc, the close box) ends the session, and a
// visit closed before Timer1 fired ends its delayed connect too: a session
// left open behind the hidden window would make the next visit's connect
// disconnect instead.
//
// The one exception to closing: a file transfer running, since the window
// would otherwise be left with its download or upload still going. The wait
// is bounded by the engine's time-out.
void TFrmFTP::FormCloseQuery(TObject*, bool& CanClose) {
    if (TransferRunning()) {
        AddLogLine(kTransferRunning);
        CanClose = false;
        return;
    }
    Timer1->SetEnabled(false);
    try {
        Settings.WriteString("History", "Last DirBox", DirectoryListBox1->Directory());
        Settings.WriteBool("History", "Ascii", RadAscii->Checked());
    } catch (const std::exception& e) {
        Application->ShowException(e);
    }
    EndSession();
    CanClose = true;
}

// A Quit that fails leaves the engine connected: one more try, then the
// connection is dropped. A request still running (a connect waiting for its
// greeting, a listing) gets no QUIT: its reply would be read as the running
// request's, and a server that never answers would keep the window for the
// whole time-out. That connection is dropped at once.
void TFrmFTP::EndSession() {
    if (!FtpClient1->Connected()) return;
    if (EngineIdle()) {
        QuitSession();
        if (FtpClient1->Connected()) QuitSession();
    } else {
        AddLogLine("Disconnected from server " + ShownServer());
        QuitRequested = true;
    }
    CmdConnect->SetCaption("Connect");
    if (FtpClient1->Connected()) FtpClient1->CancelAsync();
}

void TFrmFTP::HandOver(const std::string& User, const std::string& Host, const std::string& Password) {
    EdUserID->SetText(User);
    EdServer->SetText(Host);
    EdPassword->SetText(Password);
    RefreshSavedListState();
    Timer1->SetEnabled(true);
    ShowModal();
}

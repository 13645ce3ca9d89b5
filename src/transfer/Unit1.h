// TFrmFTP: the transfer window. Created hidden at start-up, shown modally by
// the site manager's Connect, hidden again when closed, destroyed with the
// application.
//
// The window is declared here whole; its code lies in one file per concern:
//   Unit1.cpp            the window, its creation, "TarnFtp.ini", Return and
//                        the close query
//   LocalBrowser.cpp     drive box, folder list, file list and their group
//   SavedList.cpp        the saved upload list and the choice of view
//   Session.cpp          log, Connect, the hidden site edits, Timer1
//   RemoteListing.cpp    the remote list, its entry table and sort choice
//   Transfers.cpp        upload/download images, transfer type, progress
//   RemoteOperations.cpp the server buttons
// Each Build... routine creates its concern's controls with their design
// values; the constructor calls them in the order of the window's areas.
//
// Contract: runs on the user-interface thread only. Every close of the window
// (Return, the close box, the window manager, Esc) runs FormCloseQuery, which
// stores the local folder and the transfer type and always lets it close.
#pragma once

#include <cstdint>
#include <string>

#include "toolkit/Buttons.h"
#include "toolkit/Containers.h"
#include "toolkit/Dialogs.h"
#include "toolkit/DirectoryListBox.h"
#include "toolkit/DriveComboBox.h"
#include "toolkit/Edit.h"
#include "toolkit/FileListBox.h"
#include "toolkit/Form.h"
#include "toolkit/Image.h"
#include "toolkit/ImageList.h"
#include "toolkit/Label.h"
#include "toolkit/ListBox.h"
#include "toolkit/ListView.h"
#include "toolkit/RadioButton.h"
#include "toolkit/Timer.h"
#include "transfer/RemoteEntries.h"
#include "transfer/SettingsFile.h"

class TFrmFTP : public TForm {
public:
    explicit TFrmFTP(TComponent* AOwner);

    // --- Local browser, explorer view (LocalBrowser.cpp) ---
    TDriveComboBox* DriveComboBox1;
    TDirectoryListBox* DirectoryListBox1;
    TFileListBox* FileListBox1;
    TGroupBox* GroupBox4;
    TButton* CmdHostCreate;
    TButton* CmdHostDel;
    TButton* BitBtn3;
    TButton* CmdHostRen;
    TButton* CmdHostView;
    TLabel* Label2;
    TEdit* EdFilter;
    TLabel* LblCount;
    TLabel* LblSelected;
    TLabel* LblFileName;
    TLabel* LblFileSize;
    TLabel* LblFileLastMod;
    TListBox* HiddenListBox;  // not visible
    TListBox* ListBoxHide;    // not visible; shared with the saved list

    void DriveComboBox1Change(TObject* Sender);
    void DirectoryListBox1Change(TObject* Sender);
    void FileListBox1Click(TObject* Sender);
    void FileListBox1DblClick(TObject* Sender);
    void CmdHostViewClick(TObject* Sender);
    void CmdHostCreateClick(TObject* Sender);
    void BitBtn3Click(TObject* Sender);
    void CmdHostDelClick(TObject* Sender);
    void CmdHostRenClick(TObject* Sender);
    void EdFilterChange(TObject* Sender);

    // The size of the local file at path in bytes, -1 when nothing is
    // there. The size labels and the uploads use it.
    static int64_t GetLocalFileSize(const std::string& path);

    // --- Saved upload list and the choice of view (SavedList.cpp) ---
    TLabel* Label9;
    TScrollBox* ScrollBox1;
    TListBox* ListBoxPC;
    TGroupBox* GroupBox2;
    TButton* Cmdadd;
    TButton* CmdRem;
    TButton* CmdClear;
    TButton* CmdOpen;
    TLabel* LblSelSize;
    TLabel* LblTotalBytes;
    TImage* Image2;
    TOpenDialog* OpenDialog1;
    TPanel* Panel2;
    TRadioButton* RadExplorer;
    TLabel* Label7;
    TRadioButton* RadSaved;
    TLabel* LblSaved;

    void RadExplorerClick(TObject* Sender);
    void RadSavedClick(TObject* Sender);
    void CmdaddClick(TObject* Sender);
    void CmdRemClick(TObject* Sender);
    void CmdClearClick(TObject* Sender);
    void ListBoxPCClick(TObject* Sender);
    void Image2Click(TObject* Sender);
    void RefreshSavedListState();
    // The Add dialog opens in the folder of the file last added.
    void RestoreLastDir();
    void StoreLastDir(const std::string& path);

    // --- Transfers (Transfers.cpp) ---
    TImage* Image5;
    TLabel* Label3;
    TImage* Image4;
    TLabel* Label4;
    TPanel* Panel1;
    TRadioButton* RadAscii;
    TLabel* Label5;
    TRadioButton* RadBinary;
    TLabel* Label6;
    TLabel* LblEvent;
    TLabel* LblFilePassed;
    TLabel* Lblstat1;
    TLabel* Lblperc;
    bool TransferActive = false;

    // --- Remote listing (RemoteListing.cpp) ---
    TLabel* LblRemoteDir;
    TListView* ListView1;
    TImageList* ImageList1;
    TGroupBox* GroupBox3;
    TRadioButton* RadSortAlpha;
    TRadioButton* RadSortData;
    TRadioButton* RadSortExt;
    TRemoteEntries RemoteEntries;
    int RemoteCount = 0;

    // --- Remote file operations (RemoteOperations.cpp) ---
    TBitBtn* CmdServCreate;
    TBitBtn* CmdServRemDir;
    TBitBtn* CmdServDel;
    TBitBtn* CmdServRen;
    TListBox* ListInvis;  // not visible

    // --- Session (Session.cpp) ---
    TLabel* Label1;
    TListBox* ListInfo;
    TBitBtn* CmdConnect;
    // Not visible: the site handed over by the site manager.
    TEdit* EdServer;
    TEdit* EdUserID;
    TEdit* EdPassword;
    TTimer* Timer1;
    // FtpClient1 (TFtpClient, owned by this window) joins here once the
    // engine exists in src/ftp.

    void Timer1Timer(TObject* Sender);
    // Appends a line to the log and selects it, so that the log shows it.
    void AddLogLine(const std::string& text);

    // --- The window as a whole (Unit1.cpp) ---
    TBitBtn* CmdExit;
    TSettingsFile Settings;

    void FormCreate(TObject* Sender);
    void CmdExitClick(TObject* Sender);
    void FormCloseQuery(TObject* Sender, bool& CanClose);

    // The hand-over from the site manager: fills the hidden edits, refreshes
    // the saved-list state, starts Timer1 and shows the window modally.
    void HandOver(const std::string& User, const std::string& Host, const std::string& Password);

    // How many Options/F keys hold the saved upload list.
    static constexpr int kSavedKeys = 750;

private:
    // Where a name of the file list lives: the folder the list was read from.
    std::string ShownFile(const std::string& name) const;

    void BuildLocalBrowser();
    void BuildSavedList();
    void BuildTransfers();
    void BuildRemoteListing();
    void BuildRemoteOperations();
    void BuildSession();

    void LoadSettings();
    void CreateSettings();
    void StoreSavedList();
};

extern TFrmFTP* FrmFTP;

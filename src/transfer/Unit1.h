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
//   CertificateTrust.cpp trust in the server's TLS certificate
//   RemoteListing.cpp    the remote list, its entry table and sort choice
//   Transfers.cpp        upload/download images, transfer type, progress
//   RemoteOperations.cpp the server buttons
//   ExistingFiles.cpp    the question before a file is replaced
//   StopTransfer.cpp     Stop (and Esc) while files move
//   FolderTransfers.cpp  several rows or files and whole folders at once:
//                        context menus, drops, DOWNLOAD on a folder row
// Each Build... routine creates its concern's controls with their design
// values; the constructor calls them in the order of the window's areas.
//
// Contract: runs on the user-interface thread only. Every close of the window
// (Return, the close box, the window manager, Esc) runs FormCloseQuery, which
// stores the local folder and the transfer type, ends the FTP session and lets
// it close, unless a file transfer is still running. While files move, Esc
// is Stop's key instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ftp/FtpCli.h"
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
#include "toolkit/PopupMenu.h"
#include "toolkit/RadioButton.h"
#include "toolkit/Timer.h"
#include "transfer/PassiveServers.h"
#include "transfer/RemoteEntries.h"
#include "transfer/SettingsFile.h"
#include "transfer/TrustedCertificates.h"
#include "tree/TreeTypes.h"

struct TFtpUrl;

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
    // Stop: shown while a file moves (StopTransfer.cpp).
    TButton* CmdStop = nullptr;
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
    // Expected size of the running transfer in bytes.
    int64_t TransferSize = 0;
    std::string UploadPath;
    std::string DownloadName;

    void Image5Click(TObject* Sender);
    void Label3Click(TObject* Sender);
    void Image4Click(TObject* Sender);
    // Uploads every highlighted file of the local list in view.
    void UploadSelected();
    // Downloads the focused remote row into the folder the file list shows
    // (a folder row: the folder whole, into a folder of its name).
    void DownloadFocused();
    void FtpClient1Progress(TObject* Sender, int64_t Count, bool& Abort);
    void ShowProgress();
    void ResetProgress();

    // --- Several entries at once (FolderTransfers.cpp) ---
    // "Download" on the remote list; "Upload" on the file list and on the
    // folder list (the highlighted folder).
    TPopupMenu* RemoteMenu = nullptr;
    TPopupMenu* LocalFilesMenu = nullptr;
    TPopupMenu* LocalFoldersMenu = nullptr;
    // The saved list's own: "Upload" (the highlighted entries, as UPLOAD in
    // that view), "Add..." and "Remove from the list" (as its buttons).
    TPopupMenu* SavedListMenu = nullptr;
    // Rows of the remote list by name, files and folders (whole), into the
    // local folder on view; local files and folders (whole) into the remote
    // folder on view. One question per file already there (or one for all),
    // Stop ends the rest, and the lists are read again once at the end.
    void DownloadRows(const std::vector<std::string>& names);
    void UploadPaths(const std::vector<std::string>& paths);
    // The names of the highlighted rows of the remote list, ".." left out.
    std::vector<std::string> SelectedRows() const;

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

    // Asks the engine for a listing of the server's current folder into
    // ListingFile; the ftpDirAsync completion shows it (LoadRemoteListing).
    void RefreshRemoteList();
    // Reads, parses, sorts and shows ListingFile, then deletes it.
    void LoadRemoteListing();
    // Key "Alpha", "Data" or "Ext".
    void SortRemoteEntries(const std::string& key);
    // Exchanges rows i and j (1-based) in all four columns.
    void SwapRemoteEntries(int i, int j);
    void FillRemoteView();
    void ListView1DblClick(TObject* Sender);
    // What a double click on a row that is not a folder gets.
    static constexpr const char* kNotAFolder =
        "You attempted to double-click an item that was not a FOLDER NAME. You can double-click on any folder name to view folder contents, or double-click the \"..\" to manuever to the previous folder. If you wish to download files from the server, simply click once to highlight the file, then click the Download button.";

    // --- Remote file operations (RemoteOperations.cpp) ---
    TBitBtn* CmdServCreate;
    TBitBtn* CmdServRemDir;
    TBitBtn* CmdServDel;
    TBitBtn* CmdServRen;
    TListBox* ListInvis;  // not visible

    void CmdServCreateClick(TObject* Sender);
    void CmdServRemDirClick(TObject* Sender);
    void CmdServDelClick(TObject* Sender);
    void CmdServRenClick(TObject* Sender);

    // --- Session (Session.cpp) ---
    TLabel* Label1;
    TListBox* ListInfo;
    TBitBtn* CmdConnect;
    // Not visible: the site handed over by the site manager.
    TEdit* EdServer;
    TEdit* EdUserID;
    TEdit* EdPassword;
    TTimer* Timer1;
    // The FTP engine, owned by this window; created before every other
    // control so that each concern can attach its handlers to it.
    TFtpClient* FtpClient1;
    // The name last given to DELE, for the completion's success line
    // (set by the server buttons).
    std::string LastDeletedName;

    void CmdconnectClick(TObject* Sender);
    void Timer1Timer(TObject* Sender);
    void FtpClient1SessionConnected(TObject* Sender, std::uint16_t Error);
    void FtpClient1SessionClosed(TObject* Sender, std::uint16_t Error);
    // Active mode failed: log it (the server is remembered once passive
    // mode has worked, UpdatePassiveMemory).
    void FtpClient1PassiveFallback(TObject* Sender);
    // The completion table: reports Error, then runs RqType's follow-up.
    void FtpClient1RequestDone(TObject* Sender, TFtpRequest RqType, std::uint16_t Error);
    void ReportError(std::uint16_t Error);
    // Appends a line to the log and selects it, so that the log shows it.
    void AddLogLine(const std::string& text);
    // The busy state: the remote list disabled and the hourglass over the
    // server side, the log and the window. No button is disabled.
    void SetBusy();
    void ClearBusy();

    // --- Trust in the server's certificate (CertificateTrust.cpp) ---
    // The certificates trusted always, in "TarnFtpCerts.txt" beside the
    // settings file.
    TTrustedCertificates TrustedCertificates;

    // Before a connect: the server as the store names it, and its stored
    // public key pinned (nothing for plain FTP). False, after an error box,
    // when the store exists but cannot be read: no TLS connect then.
    bool PinStoredCertificate(const TFtpUrl& address);
    // After a connect: a renewed certificate accepted in place of the pin
    // (trusted by the system for the host) becomes the stored pin.
    void StoreRenewedCertificate();
    // The completion of a connect whose certificate was refused. An untrusted
    // one: shows it and asks (trust always, once, or cancel), and connects
    // again trusting it. One other than the one trusted (nor trusted by the
    // system): the alarm, and only "Trust the new certificate" (not the
    // default) stores it and connects again. False for a refusal with no certificate to decide on,
    // which takes the plain error path.
    bool CertificateRefused();

    // --- Passive mode per server (PassiveMode.cpp) ---
    // The servers where passive mode had to be used and worked, in
    // "TarnFtpPassive.txt" beside the settings file.
    TPassiveServers PassiveServers;
    // "host:port" of the connect's server for that memory.
    std::string PassiveServer;
    // Both files as read at the connect, so that a tree of small files does
    // not read them again at every file.
    bool EverySitePassive = false;
    bool PassiveRemembered = false;

    // Before a connect: passive from the start when [Options] Passive is "1"
    // (set by hand: every site) or the server is remembered; active first
    // otherwise.
    void ChoosePassiveMode(const TFtpUrl& address);
    // After a listing or transfer: a passive session that worked is
    // remembered for its server (unless every site is passive anyway); a
    // remembered server whose passive data connection failed is forgotten,
    // and the session tries active mode first again.
    void UpdatePassiveMemory(TFtpRequest RqType, std::uint16_t Error);

    // SFTP (HostKeyTrust.cpp). Makes FtpClient1 the SFTP engine for an
    // sftp:// address, the FTP engine otherwise, keeping its settings and
    // handlers; nothing changes when it already is.
    void ChooseEngine(bool sftp);
    // The completion of a connect whose host key was refused: an unknown key
    // is shown and asked about (trust always, once, or cancel) and the
    // connect runs again; a changed one gets an error box. False when no
    // host key was refused.
    bool HostKeyRefused();

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
    // Why Disconnect and Return (every close) wait while a file moves.
    static constexpr const char* kTransferRunning =
        "A file transfer is still running. Please wait until it has finished, then try again.";

private:
    // Where a name of the file list lives: the folder the list was read from.
    std::string ShownFile(const std::string& name) const;

    // --- Stopping a transfer (StopTransfer.cpp) ---
    // Shown while a file moves; a click ends the transfer at the next data
    // event. A stopped download never replaces the local file.
    bool StopAsked = false;
    void BuildStop();
    void CmdStopClick(TObject* Sender);
    // Shows Stop for the length of one transfer and logs StoppedLine when a
    // stop ended it.
    class TStoppable {
    public:
        TStoppable(TFrmFTP& form, std::string stoppedLine);
        ~TStoppable();
        TStoppable(const TStoppable&) = delete;
        TStoppable& operator=(const TStoppable&) = delete;

    private:
        TFrmFTP& Form;
        std::string StoppedLine;
    };

    // --- Files already there (ExistingFiles.cpp) ---
    // Before a download replaces a file of the local folder or an upload one
    // of the remote folder on view, the user chooses Overwrite, Resume
    // (offered when the file there is smaller and the type is binary), Skip
    // or Rename (the new file gets a free name), and may apply the choice to
    // the rest of the transfer (StandingChoice, cleared when the user starts
    // the next one). Name is the name the file will be stored under, changed
    // for Rename.
    std::optional<TExistingChoice> StandingChoice;
    TExistingAnswer AskExisting(const TExistingFile& file, const std::string& where);
    TExistingChoice DecideExisting(const TExistingFile& file, const std::string& where);
    // sourceSize -1: not known (no Resume then).
    TExistingChoice ChooseLocalName(std::string& name, std::int64_t sourceSize);
    // resumeAt: the size of the remote file for Resume, else 0.
    TExistingChoice ChooseRemoteName(std::string& name, std::int64_t sourceSize, std::int64_t& resumeAt);
    // The size of the remote list's entry of that name, -1 when it has none.
    std::int64_t RemoteListSize(const std::string& name) const;

    // --- Several entries at once (FolderTransfers.cpp) ---
    // Lives for the length of one transfer of several entries: the
    // completion table leaves its requests alone, Stop ends the rest.
    class TTransferBatch;
    TTransferBatch* Batch = nullptr;
    void BuildFolderTransfers();
    // One folder whole through the folder transfer; RootName is its name
    // as the log shows it.
    void TransferFolder(bool upload, const std::string& localRoot, const std::string& remoteRoot,
                        const std::string& rootName);
    void ShowFolderProgress(const TTreeProgress& progress, bool upload);
    // The batch's end: what was done and what not, and the lists read again.
    void FinishBatch(bool upload);
    void StopBatch();
    // A data event of a folder transfer's file: true when it took it.
    bool BatchFilePosition(int64_t Count);
    void SetTransferType();

    void BuildEngine();
    void BuildLocalBrowser();
    void BuildSavedList();
    void BuildTransfers();
    void BuildRemoteListing();
    void BuildRemoteOperations();
    void BuildSession();

    // --- Transfers and remote operations (Transfers.cpp) ---
    // The byte count of the running transfer has reached its size; the
    // success line waits for the request's own success.
    bool TransferReachedSize = false;
    // One file of an upload; false when the engine was busy and nothing was
    // sent, or when the user stopped it (the files after it stay). The saved
    // view sets the type through Binary and TypeSet.
    bool UploadFile(const std::string& path, bool savedView);
    void FinishTransfer(bool succeeded);
    // One file row of the remote list, by its caption and sub-items.
    void DownloadFile(const std::string& name, const std::vector<std::string>& subItems);
    // GET, PUT and their resumed forms.
    static bool IsFileTransfer(TFtpRequest request);
    // The remote list's picture of a folder row.
    static constexpr int kFolderImage = 0;
    // Error of the last PUT or GET completion; -1 until it has arrived.
    int TransferResult = -1;
    // Whether the PUT or GET just run ended with 0, by its own completion.
    // A request the engine refused has none: the busy state ends here and
    // the log says so.
    bool TransferSucceeded();
    // The completion of a PUT or GET: its result, and the end of its
    // progress display's counting, so that the listing that follows cannot
    // drive it.
    void TransferDone(std::uint16_t Error);
    // The progress display repaints when what it shows changes, at most
    // every kRepaintEveryMs: a pump per data event would cost more than the
    // transfer itself.
    static constexpr std::uint64_t kRepaintEveryMs = 50;
    int64_t ShownPercent = -1;
    bool ProgressChanged = false;
    std::uint64_t LastProgressPump = 0;
    void RepaintProgress(bool now);
    // The engine takes a request now (no request of its own is running).
    bool EngineIdle() const;
    // A download or upload is on its way: the engine runs a GET or PUT.
    bool TransferRunning() const;
    // Whether the engine can take a request the user just asked for. When it
    // cannot (no session, or a request still running), the log says why and
    // the handler stops before it sets the busy state or any name.
    bool EngineTakesRequest();
    // The engine's names a request reads; an empty one is left as it is.
    struct TRequestNames {
        std::optional<std::string> HostDirName = std::nullopt;
        std::optional<std::string> HostFileName = std::nullopt;
        std::optional<std::string> LocalFileName = std::nullopt;
    };
    // The one way the window changes the engine's names. While a request runs
    // (a handler nested in its synchronous call) the names belong to it: RETR
    // and STOR read theirs after PORT, RNTO after RNFR. Then nothing changes
    // and the answer is false.
    bool SetRequestNames(const TRequestNames& names);
    // Text that can travel as one command's argument: no CR, LF or NUL,
    // which would end the command early and start another.
    static bool FitsOneCommand(const std::string& text);

    void LoadSettings();
    void CreateSettings();
    void StoreSavedList();
    // Logs "Disconnected from server " with the host and quits (the toggle
    // and EndSession).
    void QuitSession();
    // Leaves no session behind: quits (twice if need be) when no request
    // runs, then drops what is still open. Every close of the window runs it.
    void EndSession();
    // Reads the host box's address for a connect; false (said in the log
    // and a box) when it cannot be used.
    bool TakeHostAddress(TFtpUrl& address);
    // Logs the connect and runs it on the engine's settings, busy meanwhile.
    void OpenSession();

    // "host:port" of the connect's server for the certificate store; empty
    // without TLS.
    std::string CertificateServer;
    void AskTrust(const TSslCertInfo& cert);
    // Stores cert's public key for CertificateServer, logging the outcome.
    void TrustAlways(const TSslCertInfo& cert);
    void ReportChangedCertificate(const TSslCertInfo& cert);

    // We sent QUIT since the last connect: the server's close is expected.
    bool QuitRequested = false;
    // The CWD running was asked for by a double click on a row.
    bool FolderChangeAsked = false;
    // The host box's address as shown and logged (no password).
    std::string ShownServer() const;
    // The folder of the connect's address, opened once the login succeeds.
    std::string FolderAfterLogin;
};

extern TFrmFTP* FrmFTP;

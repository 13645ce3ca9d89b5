// The server session: the engine FtpClient1 and its stored configuration,
// the log, the Connect toggle, the hidden edits through which a site
// arrives, Timer1 (the delayed connect), the busy state, and the completion
// table through which every server request of the window ends.
#include "transfer/Unit1.h"

#include "ftp/FtpUrl.h"
#include "toolkit/Application.h"
#include "toolkit/Handler.h"
#include "transfer/FormDesign.h"

namespace {

// The engine's stored port, the one a host box without a port reaches.
constexpr char kStoredPort[] = "ftp";

}  // namespace

void TFrmFTP::BuildEngine() {
    FtpClient1 = new TFtpClient(this);
    FtpClient1->Name = "FtpClient1";
    FtpClient1->Timeout = 45;
    FtpClient1->MultiThreaded = false;
    FtpClient1->Port = kStoredPort;
    FtpClient1->LocalAddr = "0.0.0.0";
    FtpClient1->DisplayFileFlag = false;
    FtpClient1->SetBinary(true);
    FtpClient1->SetShareMode(ftpShareDenyNone);
    FtpClient1->Options = ftpAcceptLF;
    FtpClient1->SetConnectionType(ftpDirect);
    // Behind a home router active mode often cannot work; the engine then
    // goes passive for the session and the window remembers it.
    FtpClient1->PassiveFallback = true;
    // OnError stays unset: a request the engine refuses raises inside the
    // synchronous call, which turns it into a false result. The engine keeps
    // the exceptions of its event handlers to itself, so the handlers run
    // through RunHandler to reach the error box.
    FtpClient1->OnSessionConnected = [this](TObject* s, std::uint16_t e) {
        RunHandler([&] { FtpClient1SessionConnected(s, e); });
    };
    FtpClient1->OnSessionClosed = [this](TObject* s, std::uint16_t e) {
        RunHandler([&] { FtpClient1SessionClosed(s, e); });
    };
    FtpClient1->OnPassiveFallback = [this](TObject* s) {
        RunHandler([&] { FtpClient1PassiveFallback(s); });
    };
    FtpClient1->OnRequestDone = [this](TObject* s, TFtpRequest rq, std::uint16_t e) {
        RunHandler([&] { FtpClient1RequestDone(s, rq, e); });
    };
}

void TFrmFTP::BuildSession() {
    Label1 = Make<TLabel>(this, this, "Label1");
    Label1->SetBounds(522, 300, 80, 16);
    Label1->SetFont(ArialFont());
    Label1->SetCaption("Log Status:");

    ListInfo = Make<TListBox>(this, this, "ListInfo");
    ListInfo->SetBounds(522, 316, 230, 148);
    ListInfo->SetFont(ArialFont());
    ListInfo->SetColor(kFormColor);
    ListInfo->SetItemHeight(13);

    CmdConnect = Make<TBitBtn>(this, this, "CmdConnect");
    CmdConnect->SetBounds(758, 398, 136, 30);
    CmdConnect->SetCaption("Connect");
    CmdConnect->SetFont(ArialFont());
    CmdConnect->SetGlyph(glConnect);
    CmdConnect->OnClick = [this](TObject* s) { CmdconnectClick(s); };

    auto hiddenEdit = [this](const char* name) {
        TEdit* edit = Make<TEdit>(this, this, name);
        edit->SetVisible(false);
        return edit;
    };
    EdServer = hiddenEdit("EdServer");
    EdServer->SetText("ftp.example.com");
    EdUserID = hiddenEdit("EdUserID");
    EdPassword = hiddenEdit("EdPassword");

    Timer1 = new TTimer(this);
    Timer1->Name = "Timer1";
    Timer1->SetEnabled(false);
    Timer1->SetInterval(500);
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
}

void TFrmFTP::AddLogLine(const std::string& text) {
    ListInfo->Add(text);
    ListInfo->SetItemIndex(ListInfo->Count() - 1);
}

void TFrmFTP::SetBusy() {
    ListView1->SetEnabled(false);
    for (TControl* c : std::initializer_list<TControl*>{ListView1, GroupBox3, this, ListInfo, CmdServDel, CmdServRen,
                                                       CmdServRemDir, CmdServCreate})
        c->SetCursor(crHourGlass);
}

void TFrmFTP::ClearBusy() {
    ListView1->SetEnabled(true);
    for (TControl* c : std::initializer_list<TControl*>{GroupBox3, ListView1, this, ListInfo, CmdServDel, CmdServRen,
                                                       CmdServRemDir, CmdServCreate})
        c->SetCursor(crDefault);
}

// Decided by the engine's Connected, not by the caption: after a refused
// login the server may keep the connection while the caption reads
// "Connect", and the next click then disconnects.
//
// QUIT goes out whatever runs, so it would cut a transfer short, and its
// reply would end the transfer's request as if it had succeeded: while a
// file moves the toggle is refused and says why.
void TFrmFTP::CmdconnectClick(TObject*) {
    if (TransferRunning()) {
        AddLogLine(kTransferRunning);
        return;
    }
    ClearBusy();
    ListView1->Clear();
    if (FtpClient1->Connected()) {
        QuitSession();
        CmdConnect->SetCaption("Connect");
        return;
    }
    Timer1->SetEnabled(false);
    TFtpUrl address;
    if (!TakeHostAddress(address)) return;
    QuitRequested = false;
    ChooseEngine(address.Sftp);
    FtpClient1->HostName = address.Host;
    FtpClient1->Port = address.Port.empty() ? (address.Sftp ? "22" : kStoredPort) : address.Port;
    // ftpes:// and ftps:// in the host box; the engine takes 990 for "ftp" then.
    FtpClient1->Security = address.Security;
    if (!PinStoredCertificate(address)) return;
    ChoosePassiveMode(address);
    // A pasted URL's user and password are the ones the user gave last.
    FtpClient1->UserName = address.HasUser || EdUserID->Text().empty() ? address.User : EdUserID->Text();
    FtpClient1->PassWord = address.HasPassword || EdPassword->Text().empty() ? address.Password : EdPassword->Text();
    FolderAfterLogin = address.Path;
    OpenSession();
}

void TFrmFTP::OpenSession() {
    ListInfo->Add("Connecting to server " + ShownServer());
    AddLogLine("Please be patient...");
    SetBusy();
    try {
        FtpClient1->Connect();
    } catch (...) {
        ClearBusy();
        throw;
    }
    ClearBusy();
}

// The host box may hold "host:port" or a pasted ftp:// URL; the site record
// keeps the text as typed, so it is read here, at every connect. A bad
// address is said in the log and in a box, and nothing is attempted.
bool TFrmFTP::TakeHostAddress(TFtpUrl& address) {
    std::string error;
    if (ParseHostAddress(EdServer->Text(), address, error)) {
        // Decoded %0D or %0A would end the command the name goes out in.
        if (FitsOneCommand(address.User) && FitsOneCommand(address.Password) && FitsOneCommand(address.Path))
            return true;
        error = "the address " + UrlWithoutPassword(EdServer->Text()) + " holds a line break in its user, password or folder";
    }
    error = "Cannot connect: " + error + ".";
    AddLogLine(error);
    MessageDlg(error, mtError, mbOK);
    return false;
}

// A pasted URL is shown as user@host:port: its password is never shown or
// logged.
std::string TFrmFTP::ShownServer() const { return ShownAddress(EdServer->Text()); }

void TFrmFTP::QuitSession() {
    AddLogLine("Disconnected from server " + ShownServer());
    QuitRequested = true;
    FtpClient1->Quit();
}

// One shot, about 500 ms after the hand-over shows the window.
void TFrmFTP::Timer1Timer(TObject* Sender) {
    Timer1->SetEnabled(false);
    CmdconnectClick(Sender);
}

// Runs while the connect request is still going: the engine refuses the
// refresh's requests, so only its settings and its log line remain. The
// listing itself follows the connect's completion.
void TFrmFTP::FtpClient1SessionConnected(TObject*, std::uint16_t) { RefreshRemoteList(); }

// A connection the server (or the network) ended without our QUIT: say so,
// and let the caption agree with what a click of the toggle will do.
void TFrmFTP::FtpClient1SessionClosed(TObject*, std::uint16_t) {
    // A refused certificate is told by the connect's completion.
    if (QuitRequested || FtpClient1->SslCertificateRefused()) return;
    AddLogLine("Lost the connection to server " + ShownServer());
    CmdConnect->SetCaption("Connect");
}

// The engine is about to run the request again in passive mode.
void TFrmFTP::FtpClient1PassiveFallback(TObject*) {
    AddLogLine("Active mode failed; using passive mode for this session.");
}

// The completion table's report of a request's result: a line for 200, a
// box for the rest.
void TFrmFTP::ReportError(std::uint16_t Error) {
    switch (Error) {
        case 0:
            break;
        case 200:
            ListInfo->Add("Succesfully Completed. Code returned: " + FtpClient1->ErrorMessage());
            break;
        case 426:
            // The box guesses a time-out; the log says what really ended it.
            if (!FtpClient1->ErrorMessage().empty()) AddLogLine(FtpClient1->ErrorMessage());
            MessageDlg("A timeout has occurred. The server may be down, or your address you entered may not be correct. Also make sure your password and user id is correct as this is a common cause of a server timeout.",
                       mtError, mbOK);
            break;
        case 530:
            MessageDlg("Your password or user id appears to be incorrect. Please press \"Return\" and try entering it again. (Make sure your caps lock key is not on).",
                       mtError, mbOK);
            break;
        case 553:
            MessageDlg("You do not have authorization to access this area.", mtError, mbOK);
            break;
        default:
            ShowMessage("Error " + FtpClient1->ErrorMessage());
            break;
    }
}

void TFrmFTP::FtpClient1RequestDone(TObject*, TFtpRequest RqType, std::uint16_t Error) {
    UpdatePassiveMemory(RqType, Error);
    // A batch's requests are its own: it reports what failed and reads the
    // lists once, at its end.
    if (Batch != nullptr) {
        if (!FtpClient1->Connected()) CmdConnect->SetCaption("Connect");
        return;
    }
    // The question or the alarm is the report: no error box on top of it.
    // After our own QUIT (the user left or disconnected) a request cut short
    // is no news either.
    if (Error != 0 && (QuitRequested || (RqType == ftpConnectAsync && CertificateRefused()))) {
        if (!FtpClient1->Connected()) CmdConnect->SetCaption("Connect");
        return;
    }
    // A double click on a row that is no folder: the server's refusal of the
    // CWD is explained (the server's own words go to the log).
    const bool notAFolder = RqType == ftpCwdAsync && FolderChangeAsked && Error != 0 && Error != 426 &&
                            Error != 530 && Error != 553;
    if (notAFolder) {
        AddLogLine("Error " + FtpClient1->ErrorMessage());
        ShowMessage(kNotAFolder);
    } else if (!(Error != 0 && StopAsked && IsFileTransfer(RqType))) {
        // A transfer the user stopped is no error: its "Stopped" line says
        // what was not done.
        ReportError(Error);
    }

    switch (RqType) {
        case ftpConnectAsync:
            if (Error != 0) break;
            StoreRenewedCertificate();
            // The address's folder: its CWD ends, as any, with PWD and a listing.
            if (!FolderAfterLogin.empty() && SetRequestNames({.HostDirName = FolderAfterLogin}))
                FtpClient1->Cwd();
            else
                FtpClient1->Pwd();
            FolderAfterLogin.clear();
            AddLogLine("SUCCESSFULLY connected to server " + ShownServer());
            if (FtpClient1->Security != ftpSecurityNone)
                AddLogLine("The session is encrypted (TLS); so is every transfer.");
            CmdConnect->SetCaption("Disconnect");
            break;
        case ftpCwdAsync:
        case ftpMkdAsync:
        case ftpRmdAsync:
        case ftpCDupAsync:
            FtpClient1->Pwd();
            break;
        case ftpPwdAsync:
            LblRemoteDir->SetCaption(FtpClient1->ReplyDirName());
            Application->SetCursor(crDefault);
            RefreshRemoteList();
            break;
        case ftpDirAsync:
            LoadRemoteListing();
            break;
        case ftpPutAsync:
        case ftpGetAsync:
        case ftpRestPutAsync:
        case ftpRestGetAsync:
            RefreshRemoteList();
            ClearBusy();
            break;
        case ftpDeleAsync:
            RefreshRemoteList();
            if (Error == 0) AddLogLine("SUCCESSFULLY deleted file " + LastDeletedName);
            break;
        case ftpRenAsync:
            RefreshRemoteList();
            if (Error == 0) AddLogLine("SUCCESSFULLY renamed file.");
            break;
        default:
            break;
    }
    // A request that ended the session (a time-out drops it) leaves the
    // caption saying what the next click of the toggle will do.
    if (!FtpClient1->Connected()) CmdConnect->SetCaption("Connect");
}

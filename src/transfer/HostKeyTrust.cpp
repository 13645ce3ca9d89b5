// SFTP in the transfer window: an sftp:// address chooses the SFTP engine
// (and any other address the FTP one) at connect; an unknown host key is
// shown and the user decides; a changed one is refused loudly; a key file's
// passphrase is asked for.
#include "transfer/Unit1.h"

#include "ftp/FtpUrl.h"
#include "sftp/SftpCli.h"

namespace {

// Moves what the window configured on one engine to its successor.
void CarryOver(const TFtpClient& from, TFtpClient& to) {
    to.Timeout = from.Timeout;
    to.MultiThreaded = from.MultiThreaded;
    to.LocalAddr = from.LocalAddr;
    to.DisplayFileFlag = from.DisplayFileFlag;
    to.SetBinary(from.Binary());
    to.SetShareMode(from.ShareMode());
    to.Options = from.Options;
    to.SetConnectionType(from.ConnectionType());
    to.PassiveFallback = from.PassiveFallback;
    to.Passive = from.Passive;
    to.OnDisplay = from.OnDisplay;
    to.OnSessionConnected = from.OnSessionConnected;
    to.OnSessionClosed = from.OnSessionClosed;
    to.OnPassiveFallback = from.OnPassiveFallback;
    to.OnRequestDone = from.OnRequestDone;
    to.OnProgress = from.OnProgress;
    to.OnStateChange = from.OnStateChange;
    to.OnBgException = from.OnBgException;
    to.OnError = from.OnError;
}

}  // namespace

void TFrmFTP::ChooseEngine(bool sftp) {
    if (sftp == (dynamic_cast<TSftpClient*>(FtpClient1) != nullptr)) return;
    std::unique_ptr<TFtpClient> old(FtpClient1);
    old->Name.clear();
    TFtpClient* next = nullptr;
    if (sftp) {
        auto* engine = new TSftpClient(this);
        engine->OnPassphrase = [](TObject*, const std::string& keyFile, std::string& passphrase) {
            return PasswordQuery("Key passphrase", "Passphrase for the key " + keyFile + ":", passphrase);
        };
        next = engine;
    } else {
        next = new TFtpClient(this);
    }
    CarryOver(*old, *next);
    next->Name = "FtpClient1";
    FtpClient1 = next;
}

bool TFrmFTP::HostKeyRefused() {
    auto* sftp = dynamic_cast<TSftpClient*>(FtpClient1);
    if (!sftp || !sftp->HostKeyRefused()) return false;
    const TSftpHostKey key = sftp->HostKey();
    const std::string server = FtpClient1->HostName + ":" + FtpClient1->Port;
    const std::string file = KnownHostsPath(sftp->KnownHostsFile);
    if (sftp->HostKeyChanged()) {
        AddLogLine("The host key of " + server + " has changed: known " + key.KnownFingerprint + ", presented " +
                   key.Fingerprint + ". Not connected.");
        MessageDlg("The host key of " + server +
                       " has changed: it is not the key this computer knows for it. Someone may be "
                       "intercepting the connection. Not connected.\n\nKnown key (in " + file + "): " +
                       key.KnownFingerprint + "\nPresented key: " + key.Type + " " + key.Fingerprint +
                       "\n\nIf the server's key was replaced on purpose, remove its line from " + file +
                       " and connect again.",
                   mtError, mbOK);
        return true;
    }
    AddLogLine("The host key of " + server + " is not known: " + key.Type + " " + key.Fingerprint + ".");
    const TModalResult answer = MessageDlg(
        "The host key of " + server + " is not known.\n\nKey type: " + key.Type + "\nSHA-256 fingerprint: " +
            key.Fingerprint + "\n\nConnect anyway? \"Trust always\" adds the key to " + file +
            "; \"Trust once\" trusts it for this connection only.",
        mtWarning, mbYesNoCancel, {{mbYes, "Trust always"}, {mbNo, "Trust once"}, {mbCancel, "Cancel"}}, mbCancel);
    if (answer == mrYes) {
        if (sftp->TrustHostKey(true)) {
            AddLogLine("The host key of " + server + " is trusted always from now on (added to " + file + ").");
        } else {
            AddLogLine("The host key of " + server + " could not be added to " + file + " (" +
                       FtpClient1->ErrorMessage() + "); it is trusted for this connection only.");
            sftp->TrustHostKey(false);
        }
    } else if (answer == mrNo) {
        sftp->TrustHostKey(false);
        AddLogLine("The host key of " + server + " is trusted for this connection only.");
    } else {
        AddLogLine("Connection to " + server + " cancelled: its host key is not trusted.");
        return true;
    }
    OpenSession();
    return true;
}

// Trust in the server's TLS certificate: the one stored for the server is
// pinned at each connect; an untrusted one is shown and the user decides; a
// certificate other than the one trusted is refused loudly.
#include "transfer/Unit1.h"

#include "ftp/FtpUrl.h"

namespace {

constexpr int kExplicitTlsPort = 21;
constexpr int kImplicitTlsPort = 990;

std::string Description(const TSslCertInfo& cert) {
    return "Subject: " + cert.Subject + "\nIssuer: " + cert.Issuer + "\nValid from: " + cert.NotBefore +
           "\nValid until: " + cert.NotAfter + "\nSHA-256 fingerprint: " + cert.Sha256;
}

}  // namespace

void TFrmFTP::PinStoredCertificate(const TFtpUrl& address) {
    CertificateServer.clear();
    FtpClient1->SslPinSha256.clear();
    if (address.Security == ftpSecurityNone) return;
    int port = address.Security == ftpSecurityImplicit ? kImplicitTlsPort : kExplicitTlsPort;
    // The host box's port has been checked to be a number from 1 to 65535.
    if (!address.Port.empty()) port = std::stoi(address.Port);
    CertificateServer = TTrustedCertificates::ServerKey(address.Host, port);
    FtpClient1->SslPinSha256 = TrustedCertificates.Fingerprint(CertificateServer);
}

bool TFrmFTP::CertificateRefused() {
    if (HostKeyRefused()) return true;
    // A copy: connecting again replaces the engine's.
    const TSslCertInfo cert = FtpClient1->SslPeerCertificate();
    if (!FtpClient1->SslCertificateRefused() || cert.Empty() || CertificateServer.empty()) return false;
    if (FtpClient1->SslPinMismatch()) ReportChangedCertificate(cert);
    else AskTrust(cert);
    return true;
}

void TFrmFTP::AskTrust(const TSslCertInfo& cert) {
    const std::string refusal =
        "The certificate of " + CertificateServer + " is not trusted: " + cert.VerifyError + ".";
    AddLogLine(refusal);
    const TModalResult answer =
        MessageDlg(refusal + "\n\n" + Description(cert) +
                       "\n\nConnect anyway? \"Trust always\" remembers this certificate for " + CertificateServer +
                       "; \"Trust once\" trusts it for this connection only.",
                   mtWarning, mbYesNoCancel, {{mbYes, "Trust always"}, {mbNo, "Trust once"}, {mbCancel, "Cancel"}},
                   mbCancel);
    if (answer == mrYes) {
        std::string why;
        if (TrustedCertificates.Store(CertificateServer, cert.Sha256, why))
            AddLogLine("The certificate of " + CertificateServer + " is trusted always from now on (stored in " +
                       TrustedCertificates.Path + ").");
        else
            AddLogLine("The certificate of " + CertificateServer + " could not be stored in " +
                       TrustedCertificates.Path + " (" + why + "); it is trusted for this connection only.");
    } else if (answer == mrNo) {
        AddLogLine("The certificate of " + CertificateServer + " is trusted for this connection only.");
    } else {
        AddLogLine("Connection to " + CertificateServer + " cancelled: its certificate is not trusted.");
        return;
    }
    FtpClient1->SslPinSha256 = cert.Sha256;
    OpenSession();
}

void TFrmFTP::ReportChangedCertificate(const TSslCertInfo& cert) {
    const bool stored = !TrustedCertificates.Fingerprint(CertificateServer).empty();
    const std::string trusted = FtpClient1->SslPinSha256;
    AddLogLine("The certificate of " + CertificateServer + " has changed: " + (stored ? "stored" : "trusted") +
               " fingerprint " + trusted + ", presented " + cert.Sha256 + ". Not connected.");
    std::string text = "The certificate of " + CertificateServer +
                       " has changed: it is not the one you chose to trust. Someone may be intercepting the "
                       "connection. Not connected.\n\nTrusted SHA-256 fingerprint: " +
                       trusted + "\n\nPresented certificate:\n" + Description(cert);
    if (stored)
        text += "\n\nIf the server's certificate was replaced on purpose, remove the line of " + CertificateServer +
                " from " + TrustedCertificates.Path + " and connect again.";
    MessageDlg(text, mtError, mbOK);
}

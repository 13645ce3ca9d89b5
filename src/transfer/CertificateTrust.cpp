// Trust in the server's TLS certificate: the public key stored for the
// server is pinned at each connect; a renewed certificate the system trusts
// for the host replaces the pin; an untrusted one is shown with every
// problem and the user decides; one that is neither the pinned nor trusted
// raises the alarm, and only an explicit answer trusts it.
#include "transfer/Unit1.h"

#include "ftp/FtpUrl.h"
#include "transfer/ServerLines.h"

namespace {

std::string Description(const TSslCertInfo& cert) {
    return "Subject: " + cert.Subject + "\nIssuer: " + cert.Issuer + "\nIt is for: " + cert.NamesText() +
           "\nValid from: " + cert.NotBefore + "\nValid until: " + cert.NotAfter +
           "\nSHA-256 fingerprint: " + cert.Sha256 + "\nPublic key SHA-256: " + cert.PublicKeySha256;
}

}  // namespace

bool TFrmFTP::PinStoredCertificate(const TFtpUrl& address) {
    CertificateServer.clear();
    FtpClient1->SslPinSha256.clear();
    FtpClient1->SslPinRenewal = false;
    if (address.Security == ftpSecurityNone) return true;
    CertificateServer = ServerKey(address);
    std::string why;
    const std::optional<std::string> pin = TrustedCertificates.Fingerprint(CertificateServer, why);
    if (!pin) {
        // Read as empty, it would let a replaced certificate pass as merely new.
        const std::string error = "Cannot connect: the trusted certificates in " + TrustedCertificates.Path +
                                  " cannot be read (" + why + ").";
        AddLogLine(error);
        MessageDlg(error, mtError, mbOK);
        return false;
    }
    FtpClient1->SslPinSha256 = *pin;
    FtpClient1->SslPinRenewal = !pin->empty();
    return true;
}

void TFrmFTP::StoreRenewedCertificate() {
    if (!FtpClient1->SslPinReplaced() || CertificateServer.empty()) return;
    const TSslCertInfo& cert = FtpClient1->SslPeerCertificate();
    std::string why;
    if (TrustedCertificates.Store(CertificateServer, cert.PublicKeySha256, why))
        AddLogLine("The certificate of " + CertificateServer + " has changed and is trusted by the system for " +
                   cert.ExpectedName + "; the stored pin " + FtpClient1->SslPinSha256 + " was replaced by " +
                   cert.PublicKeySha256 + ".");
    else
        AddLogLine("The certificate of " + CertificateServer + " has changed and is trusted by the system for " +
                   cert.ExpectedName + "; its pin could not be stored in " + TrustedCertificates.Path + " (" +
                   why + ").");
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

void TFrmFTP::TrustAlways(const TSslCertInfo& cert) {
    std::string why;
    if (TrustedCertificates.Store(CertificateServer, cert.PublicKeySha256, why))
        AddLogLine("The certificate of " + CertificateServer + " is trusted always from now on (stored in " +
                   TrustedCertificates.Path + ").");
    else
        AddLogLine("The certificate of " + CertificateServer + " could not be stored in " + TrustedCertificates.Path +
                   " (" + why + "); it is trusted for this connection only.");
}

void TFrmFTP::AskTrust(const TSslCertInfo& cert) {
    const std::string refusal =
        "The certificate of " + CertificateServer + " is not trusted: " + cert.VerifyErrorText() + ".";
    AddLogLine(refusal);
    std::string problems;
    for (const std::string& problem : cert.VerifyErrors) problems += "\n- " + problem;
    const TModalResult answer =
        MessageDlg(refusal + "\n\nProblems found:" + problems + "\n\nExpected name: " + cert.ExpectedName + "\n" +
                       Description(cert) + "\n\nConnect anyway? \"Trust always\" remembers this certificate's key for " +
                       CertificateServer + "; \"Trust once\" trusts it for this connection only.",
                   mtWarning, mbYesNoCancel, {{mbYes, "Trust always"}, {mbNo, "Trust once"}, {mbCancel, "Cancel"}},
                   mbCancel);
    if (answer == mrYes) {
        TrustAlways(cert);
    } else if (answer == mrNo) {
        AddLogLine("The certificate of " + CertificateServer + " is trusted for this connection only.");
    } else {
        AddLogLine("Connection to " + CertificateServer + " cancelled: its certificate is not trusted.");
        return;
    }
    FtpClient1->SslPinSha256 = cert.PublicKeySha256;
    FtpClient1->SslPinRenewal = false;
    OpenSession();
}

void TFrmFTP::ReportChangedCertificate(const TSslCertInfo& cert) {
    std::string why;
    const std::optional<std::string> pin = TrustedCertificates.Fingerprint(CertificateServer, why);
    const bool stored = pin && !pin->empty();
    const std::string trusted = FtpClient1->SslPinSha256;
    AddLogLine("The certificate of " + CertificateServer + " has changed: " + (stored ? "stored" : "trusted") +
               " fingerprint " + trusted + ", presented " + cert.PublicKeySha256 + " (public key), " + cert.Sha256 +
               " (certificate). Not connected.");
    std::string problems = cert.VerifyErrors.empty() ? "none" : cert.VerifyErrorText();
    const std::string text = "The certificate of " + CertificateServer +
                             " has changed: it is not the one you chose to trust, and the system does not trust "
                             "it for this server either. Someone may be intercepting the connection. Not "
                             "connected.\n\nTrusted SHA-256 fingerprint: " +
                             trusted + "\n\nPresented certificate:\n" + Description(cert) +
                             "\nProblems found: " + problems + "\nExpected name: " + cert.ExpectedName +
                             "\n\nOnly if you know the server's certificate was replaced on purpose, trust the new "
                             "one" + (stored ? " (it replaces the line of " + CertificateServer + " in " +
                                                   TrustedCertificates.Path + ")"
                                             : std::string()) +
                             ".";
    const TModalResult answer =
        MessageDlg(text, mtError, mbYes | mbCancel, {{mbYes, "Trust the new certificate"}, {mbCancel, "Cancel"}},
                   mbCancel);
    if (answer != mrYes) {
        AddLogLine("Connection to " + CertificateServer + " cancelled: its certificate has changed.");
        return;
    }
    if (stored) TrustAlways(cert);
    else AddLogLine("The new certificate of " + CertificateServer + " is trusted for this connection only.");
    FtpClient1->SslPinSha256 = cert.PublicKeySha256;
    FtpClient1->SslPinRenewal = false;
    OpenSession();
}

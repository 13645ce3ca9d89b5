// Trust in the server's certificate in the transfer window, against vsftpd
// with explicit TLS on 127.0.0.1 and scripted answers to the question:
// cancel, once, always with a store that cannot be written, always (stored,
// then asked no more), and another certificate at the same address refused
// loudly; then once over implicit TLS. The store keeps lines of its own and
// finds hosts in any case. Then renewals under a pin (the same key, a new key
// the system trusts, a new key it does not), the question's content for a
// certificate with several problems, and a store that cannot be read.
#include <algorithm>
#include <filesystem>
#include <memory>

#include <stdlib.h>
#include <sys/stat.h>

#include "SessionFixture.h"
#include "transfer/ServerLines.h"
#include "transfer/TrustedCertificates.h"

namespace {

std::string HexOnly(std::string pairs) {
    std::erase(pairs, ':');
    return pairs;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CertificateTrustTest : public SessionTest {
protected:
    std::string StorePath() const { return AppFolder() + "/TarnFtpCerts.txt"; }

    // Connect clicked for server's address, the question (if one comes)
    // answered with answer; returns once the engine has settled.
    void ConnectTo(const peers::FtpServerPeer& server, TModalResult answer, const std::string& scheme = "ftpes://") {
        Boxes->Records.clear();
        Boxes->Answers.clear();
        if (answer != mrNone) Boxes->AnswerResult(answer);
        LogBefore = Log().size();
        Site = "127.0.0.1:" + std::to_string(server.Port());
        FrmFTP->EdServer->SetText(scheme + Site);
        FrmFTP->EdUserID->SetText(server.User());
        FrmFTP->EdPassword->SetText(server.Password());
        FrmFTP->CmdconnectClick(nullptr);
        Settle();
    }
    void Disconnect() {
        ASSERT_TRUE(Connected()) << Joined(Log());
        FrmFTP->CmdconnectClick(nullptr);
        Settle();
    }
    // The log lines of the last connect.
    std::vector<std::string> NewLog() const {
        const std::vector<std::string> all = Log();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(LogBefore, all.size())), all.end());
    }
    bool NewLogged(const std::string& line) const {
        const std::vector<std::string> lines = NewLog();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    static bool LoggedIn(const peers::FtpServerPeer& server) {
        const std::vector<std::string> commands = server.Commands();
        return std::any_of(commands.begin(), commands.end(),
                           [](const std::string& c) { return c.rfind("USER", 0) == 0; });
    }
    static unsigned ModeOf(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    std::string Site;
    size_t LogBefore = 0;
};

TEST_F(CertificateTrustTest, UntrustedIsAskedAlwaysIsStoredAndAChangedOneIsRefusedLoudly) {
    peers::TempDir certs;
    peers::TlsCert first, second;
    ASSERT_TRUE(first.Make(certs, "tarn-first")) << first.Error();
    ASSERT_TRUE(second.Make(certs, "tarn-second")) << second.Error();
    auto server = std::make_unique<peers::VsftpdServer>(
        peers::VsftpdServer::Options{.ExtraConfig = peers::VsftpdTlsConfig(first, false)});
    ASSERT_TRUE(server->Start()) << server->Error();
    ASSERT_TRUE(server->PutFile("secret.txt", "over TLS"));
    const int port = server->Port();

    // A store written by hand: a note, another server in capitals, and a
    // broken line for this one; readable by others, as a hand-made file may be.
    StartIn(Work);
    const std::string site = "127.0.0.1:" + std::to_string(port);
    const std::string own = "# servers I trust\nFTP.Example.COM:2121 " + std::string(64, 'a') + "\n" + site +
                            " not-a-fingerprint\n";
    Write(StorePath(), own);
    ASSERT_EQ(chmod(StorePath().c_str(), 0644), 0);
    TTrustedCertificates store{StorePath()};
    std::string why;
    EXPECT_EQ(store.Fingerprint(ServerKey("ftp.EXAMPLE.com", 2121), why),
              "AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA");
    EXPECT_EQ(store.Fingerprint(site, why), "");

    {
        SCOPED_TRACE("cancel");
        ConnectTo(*server, mrCancel);
        EXPECT_FALSE(Connected());
        EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Connect");
        // The question alone: no error box on top of it.
        ASSERT_EQ(Boxes->Records.size(), 1u);
        const TDialogRecord& box = Boxes->Records[0];
        EXPECT_EQ(box.Type, mtWarning);
        EXPECT_EQ(box.Buttons, unsigned(mbYesNoCancel));
        EXPECT_EQ(box.Captions,
                  (TButtonCaptions{{mbYes, "Trust always"}, {mbNo, "Trust once"}, {mbCancel, "Cancel"}}));
        EXPECT_EQ(box.DefaultButton, unsigned(mbCancel));
        for (const std::string& part : std::vector<std::string>
             {"The certificate of " + site + " is not trusted: self-signed certificate.", "Subject: CN=tarn-first",
              "Issuer: CN=tarn-first", "Valid from: ", "Valid until: ", "SHA-256 fingerprint: " + first.Sha256()})
            EXPECT_TRUE(Contains(box.Text, part)) << part << "\n" << box.Text;
        EXPECT_TRUE(NewLogged("Connection to " + site + " cancelled: its certificate is not trusted."))
            << Joined(NewLog());
        EXPECT_FALSE(NewLogged("Lost the connection to server " + site)) << Joined(NewLog());
        EXPECT_FALSE(LoggedIn(*server));
        EXPECT_EQ(Read(StorePath()), own);
    }
    {
        SCOPED_TRACE("once");
        ConnectTo(*server, mrNo);
        EXPECT_TRUE(Connected()) << Joined(NewLog());
        EXPECT_GE(RowOf("secret.txt"), 0);
        EXPECT_TRUE(NewLogged("The certificate of " + site + " is trusted for this connection only."));
        EXPECT_TRUE(NewLogged("The session is encrypted (TLS); so is every transfer."));
        EXPECT_EQ(Boxes->Records.size(), 1u);
        EXPECT_EQ(Read(StorePath()), own);
        Disconnect();
    }
    {
        SCOPED_TRACE("always, the store cannot be written");
        std::filesystem::create_directory(StorePath() + ".tmp");  // stands where the new file is written
        ConnectTo(*server, mrYes);
        EXPECT_TRUE(Connected()) << Joined(NewLog());
        const std::vector<std::string> lines = NewLog();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.rfind("The certificate of " + site + " could not be stored in " + StorePath() + " (", 0) == 0 &&
                   Contains(l, "); it is trusted for this connection only.");
        })) << Joined(lines);
        EXPECT_EQ(Read(StorePath()), own);
        Disconnect();
        std::filesystem::remove(StorePath() + ".tmp");
    }
    {
        SCOPED_TRACE("always");
        ConnectTo(*server, mrYes);
        EXPECT_TRUE(Connected()) << Joined(NewLog());
        EXPECT_TRUE(NewLogged("The certificate of " + site + " is trusted always from now on (stored in " +
                              StorePath() + ")."))
            << Joined(NewLog());
        // The public key is pinned, not the certificate.
        EXPECT_EQ(Read(StorePath()), own + site + " " + HexOnly(first.PublicKeySha256()) + "\n");
        EXPECT_EQ(ModeOf(StorePath()), 0600u);
        EXPECT_EQ(store.Fingerprint(site, why), first.PublicKeySha256());
        Disconnect();

        // Stored: the next connect asks nothing.
        ConnectTo(*server, mrNone);
        EXPECT_TRUE(Connected()) << Joined(NewLog());
        EXPECT_TRUE(Boxes->Records.empty());
        Disconnect();
    }
    {
        SCOPED_TRACE("another certificate at the same address");
        const std::string stored = Read(StorePath());
        server.reset();
        peers::VsftpdServer other(
            peers::VsftpdServer::Options{.ExtraConfig = peers::VsftpdTlsConfig(second, false), .ControlPort = port});
        ASSERT_TRUE(other.Start()) << other.Error();
        ConnectTo(other, mrCancel);
        EXPECT_FALSE(Connected());
        ASSERT_EQ(Boxes->Records.size(), 1u);
        const TDialogRecord& box = Boxes->Records[0];
        EXPECT_EQ(box.Type, mtError);
        EXPECT_EQ(box.Buttons, unsigned(mbYes | mbCancel));
        EXPECT_EQ(box.Captions, (TButtonCaptions{{mbYes, "Trust the new certificate"}, {mbCancel, "Cancel"}}));
        EXPECT_EQ(box.DefaultButton, unsigned(mbCancel));
        for (const std::string& part : std::vector<std::string>
             {"The certificate of " + site + " has changed", "Someone may be intercepting",
              "Trusted SHA-256 fingerprint: " + first.PublicKeySha256(), "SHA-256 fingerprint: " + second.Sha256(),
              "Public key SHA-256: " + second.PublicKeySha256(), "Subject: CN=tarn-second", StorePath()})
            EXPECT_TRUE(Contains(box.Text, part)) << part << "\n" << box.Text;
        EXPECT_TRUE(NewLogged("The certificate of " + site + " has changed: stored fingerprint " +
                              first.PublicKeySha256() + ", presented " + second.PublicKeySha256() +
                              " (public key), " + second.Sha256() + " (certificate). Not connected."))
            << Joined(NewLog());
        EXPECT_FALSE(LoggedIn(other));
        EXPECT_EQ(Read(StorePath()), stored);
    }
    {
        SCOPED_TRACE("implicit TLS, once");
        peers::VsftpdServer implicit(
            peers::VsftpdServer::Options{.ExtraConfig = peers::VsftpdTlsConfig(second, true)});
        ASSERT_TRUE(implicit.Start()) << implicit.Error();
        ConnectTo(implicit, mrNo, "ftps://");
        EXPECT_TRUE(Connected()) << Joined(NewLog());
        ASSERT_EQ(Boxes->Records.size(), 1u);
        EXPECT_TRUE(Contains(Boxes->Records[0].Text, "SHA-256 fingerprint: " + second.Sha256()));
        EXPECT_TRUE(NewLogged("The certificate of " + Site + " is trusted for this connection only."));
        Disconnect();
    }
}

TEST_F(CertificateTrustTest, RenewalsUnderAPinTheQuestionsContentAndAnUnreadableStore) {
    peers::TempDir certs;
    peers::TlsCert first, renewed, ca, signedNew, third, evil, untrustedCa;
    ASSERT_TRUE(first.Make(certs, "tarn-first")) << first.Error();
    ASSERT_TRUE(renewed.Renew(certs, "tarn-renewed", first)) << renewed.Error();
    ASSERT_TRUE(ca.MakeCa(certs, "tarn-ca")) << ca.Error();
    ASSERT_TRUE(signedNew.MakeSigned(certs, "tarn-signed", ca, "IP:127.0.0.1")) << signedNew.Error();
    ASSERT_TRUE(third.Make(certs, "tarn-third")) << third.Error();
    ASSERT_TRUE(untrustedCa.MakeCa(certs, "tarn-other-ca")) << untrustedCa.Error();
    ASSERT_TRUE(evil.MakeSigned(certs, "evil", untrustedCa, "DNS:evil.example")) << evil.Error();
    ASSERT_EQ(renewed.PublicKeySha256(), first.PublicKeySha256());
    ASSERT_NE(renewed.Sha256(), first.Sha256());

    StartIn(Work);
    auto serve = [](const peers::TlsCert& cert, int port) {
        auto server = std::make_unique<peers::VsftpdServer>(
            peers::VsftpdServer::Options{.ExtraConfig = peers::VsftpdTlsConfig(cert, false), .ControlPort = port});
        EXPECT_TRUE(server->Start()) << server->Error();
        return server;
    };
    auto server = serve(first, 0);
    const int port = server->Port();
    const std::string site = "127.0.0.1:" + std::to_string(port);
    // A line as earlier versions wrote it: the whole certificate's fingerprint.
    Write(StorePath(), site + " " + HexOnly(first.Sha256()) + "\n");
    ConnectTo(*server, mrNone);
    EXPECT_TRUE(Connected()) << Joined(NewLog());
    EXPECT_TRUE(Boxes->Records.empty());
    Disconnect();
    {
        SCOPED_TRACE("renewed with the same key: no question, the pin stays");
        Write(StorePath(), site + " " + HexOnly(first.PublicKeySha256()) + "\n");
        server.reset();
        server = serve(renewed, port);
        ConnectTo(*server, mrNone);
        EXPECT_TRUE(Connected()) << Joined(NewLog());
        EXPECT_TRUE(Boxes->Records.empty());
        EXPECT_EQ(Read(StorePath()), site + " " + HexOnly(first.PublicKeySha256()) + "\n");
        Disconnect();
    }
    {
        SCOPED_TRACE("a new key the system trusts for the address: the pin is replaced");
        server.reset();
        server = serve(signedNew, port);
        ASSERT_EQ(setenv("SSL_CERT_FILE", ca.CertFile().c_str(), 1), 0);
        ConnectTo(*server, mrNone);
        unsetenv("SSL_CERT_FILE");
        EXPECT_TRUE(Connected()) << Joined(NewLog());
        EXPECT_TRUE(Boxes->Records.empty());
        EXPECT_TRUE(NewLogged("The certificate of " + site + " has changed and is trusted by the system for IP:127.0.0.1; the stored pin " +
                              first.PublicKeySha256() + " was replaced by " + signedNew.PublicKeySha256() + "."))
            << Joined(NewLog());
        EXPECT_EQ(Read(StorePath()), site + " " + HexOnly(signedNew.PublicKeySha256()) + "\n");
        Disconnect();
    }
    {
        SCOPED_TRACE("a new key nobody vouches for: the alarm, then trusting it on purpose");
        server.reset();
        server = serve(third, port);
        ConnectTo(*server, mrYes);
        ASSERT_EQ(Boxes->Records.size(), 1u);
        EXPECT_EQ(Boxes->Records[0].Captions.at(mbYes), "Trust the new certificate");
        EXPECT_TRUE(Contains(Boxes->Records[0].Text, "Problems found: self-signed certificate"))
            << Boxes->Records[0].Text;
        EXPECT_TRUE(Connected()) << Joined(NewLog());
        EXPECT_EQ(Read(StorePath()), site + " " + HexOnly(third.PublicKeySha256()) + "\n");
        Disconnect();
        ConnectTo(*server, mrNone);
        EXPECT_TRUE(Connected()) << Joined(NewLog());
        EXPECT_TRUE(Boxes->Records.empty());
        Disconnect();
    }
    {
        SCOPED_TRACE("the question lists every problem, the names and the name expected");
        server.reset();
        server = serve(evil, port);
        Write(StorePath(), "");
        ConnectTo(*server, mrCancel);
        EXPECT_FALSE(Connected());
        ASSERT_EQ(Boxes->Records.size(), 1u);
        const std::string& text = Boxes->Records[0].Text;
        for (const std::string& part : std::vector<std::string>{
                 "is not trusted: unable to get local issuer certificate; ", "\n- unable to get local issuer certificate",
                 "\n- IP address mismatch", "Expected name: IP:127.0.0.1", "It is for: DNS:evil.example",
                 "Issuer: CN=tarn-other-ca", "Public key SHA-256: " + evil.PublicKeySha256()})
            EXPECT_TRUE(Contains(text, part)) << part << "\n" << text;
        EXPECT_FALSE(LoggedIn(*server));
    }
    {
        SCOPED_TRACE("a store that cannot be read refuses TLS, naming the file");
        std::filesystem::remove(StorePath());
        std::filesystem::create_directory(StorePath());  // read fails with EISDIR, even for root
        const size_t before = server->Commands().size();
        ConnectTo(*server, mrYes);
        EXPECT_FALSE(Connected());
        ASSERT_EQ(Boxes->Records.size(), 1u);
        EXPECT_EQ(Boxes->Records[0].Type, mtError);
        EXPECT_TRUE(Contains(Boxes->Records[0].Text, "the trusted certificates in " + StorePath() + " cannot be read"))
            << Boxes->Records[0].Text;
        EXPECT_EQ(server->Commands().size(), before);
        std::filesystem::remove(StorePath());
    }
}

// An IPv6 server from the host box: "[::1]:port" in every form, its
// certificate kept as "[::1]:port", EPSV on the wire; a malformed address is
// refused with nothing sent.
TEST_F(CertificateTrustTest, Ipv6ServerIsReachedAndTrustedUnderItsBracketedAddress) {
    peers::TempDir certs;
    peers::TlsCert cert;
    ASSERT_TRUE(cert.Make(certs, "tarn-v6")) << cert.Error();
    peers::VsftpdServer server(peers::VsftpdServer::Options{.ExtraConfig = peers::VsftpdTlsConfig(cert, false),
                                                            .Ipv6 = true});
    ASSERT_TRUE(server.Start()) << server.Error();
    ASSERT_TRUE(server.PutFile("over-v6.txt", "v6"));
    StartIn(Work);
    const std::string site = "[::1]:" + std::to_string(server.Port());
    auto connect = [&](const std::string& text, TModalResult answer) {
        Boxes->Records.clear();
        Boxes->Answers.clear();
        if (answer != mrNone) Boxes->AnswerResult(answer);
        LogBefore = Log().size();
        FrmFTP->EdServer->SetText(text);
        FrmFTP->EdUserID->SetText(server.User());
        FrmFTP->EdPassword->SetText(server.Password());
        FrmFTP->CmdconnectClick(nullptr);
        Settle();
    };
    connect("ftpes://" + site, mrYes);
    EXPECT_TRUE(Connected()) << Joined(NewLog());
    EXPECT_GE(RowOf("over-v6.txt"), 0);
    EXPECT_EQ(Read(StorePath()), site + " " + HexOnly(cert.PublicKeySha256()) + "\n");
    Disconnect();
    connect("ftpes://" + site + "/", mrNone);  // trusted now: nothing asked
    EXPECT_TRUE(Connected()) << Joined(NewLog());
    EXPECT_TRUE(Boxes->Records.empty());
    Disconnect();
    const std::vector<std::string> commands = server.Commands();
    EXPECT_TRUE(std::find(commands.begin(), commands.end(), "EPSV") != commands.end() ||
                std::any_of(commands.begin(), commands.end(), [](const std::string& c) { return c.rfind("EPRT", 0) == 0; }));

    const size_t before = server.Commands().size();
    for (const std::string bad : {"[::1", "[::1]x", "[gggg::1]:21"}) {
        SCOPED_TRACE(bad);
        connect(bad, mrNone);
        EXPECT_FALSE(Connected());
        ASSERT_EQ(Boxes->Records.size(), 1u);
        EXPECT_TRUE(Contains(Boxes->Records[0].Text, "Cannot connect: ")) << Boxes->Records[0].Text;
        EXPECT_TRUE(Contains(Boxes->Records[0].Text, bad)) << Boxes->Records[0].Text;
    }
    EXPECT_EQ(server.Commands().size(), before);
}

}  // namespace

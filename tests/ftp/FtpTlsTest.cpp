// FTP over TLS against vsftpd on 127.0.0.1 (TLS forced for logins and data,
// data sessions resumed as vsftpd requires by default), explicit and
// implicit, passive and active: listing, 10 MiB each way byte for byte, and
// the refusals: a wrong password, an untrusted and a changed certificate, a
// server without TLS. A relay shows what crossed the wire in clear; a
// scripted server cuts a listing short without close_notify.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "FtpTestSupport.h"

namespace {

std::string RandomBytes(size_t n) {
    std::mt19937 gen(20);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class FtpTls : public ::testing::TestWithParam<bool> {
protected:
    bool Implicit() const { return GetParam(); }

    void SetUp() override {
        ASSERT_TRUE(cert.Make(certDir, "tarn-test")) << cert.Error();
        server = std::make_unique<peers::VsftpdServer>(
            peers::VsftpdServer::Options{8, peers::VsftpdTlsConfig(cert, Implicit())});
        ASSERT_TRUE(server->Start()) << server->Error();
        R.Target(*server);
        R.Ftp.Security = Implicit() ? ftpSecurityImplicit : ftpSecurityExplicit;
    }

    std::string Local(const std::string& name) const { return local.File(name); }

    peers::TempDir certDir, local;
    peers::TlsCert cert;
    std::unique_ptr<peers::VsftpdServer> server;
    TRecordedFtp R;
};

TEST_P(FtpTls, TransfersBothWaysInBothModesAndRefusesWhatIsNotTrusted) {
    const std::string big = RandomBytes(10 * 1024 * 1024);
    ASSERT_TRUE(server->PutFile("big.bin", big));
    ASSERT_TRUE(peers::WriteTextFile(Local("up.bin"), big));

    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        R.Ftp.SslCaFile = cert.CertFile();
        R.Ftp.Passive = passive;
        ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
        EXPECT_EQ(R.Ftp.ReplyCode(), 230);
        EXPECT_TRUE(std::any_of(R.Trace.begin(), R.Trace.end(), [](const std::string& l) {
            return l.rfind("! Session encrypted (TLS", 0) == 0;
        }));

        R.Ftp.HostFileName.clear();
        R.Ftp.LocalFileName = Local("listing.txt");
        ASSERT_TRUE(R.Ftp.Dir()) << R.Ftp.ErrorMessage();
        EXPECT_NE(peers::ReadTextFile(Local("listing.txt")).find("big.bin"), std::string::npos);

        R.Ftp.HostFileName = "big.bin";
        R.Ftp.LocalFileName = Local("down.bin");
        ASSERT_TRUE(R.Ftp.Get()) << R.Ftp.ErrorMessage();
        EXPECT_TRUE(peers::ReadTextFile(Local("down.bin")) == big);

        R.Ftp.HostFileName = "up.bin";
        R.Ftp.LocalFileName = Local("up.bin");
        ASSERT_TRUE(R.Ftp.Put()) << R.Ftp.ErrorMessage();
        EXPECT_TRUE(server->FileContent("up.bin") == big);
        EXPECT_TRUE(R.Ftp.Quit());
    }
    const auto commands = server->Commands();
    EXPECT_EQ(commands.front(), Implicit() ? "USER " + server->User() : "AUTH TLS");
    EXPECT_TRUE(Contains(commands, "PBSZ 0"));
    EXPECT_TRUE(Contains(commands, "PROT P"));

    // A wrong password is the server's refusal, over TLS.
    R.Done.clear();
    R.Ftp.PassWord = "wrong";
    EXPECT_FALSE(R.Ftp.Connect());
    EXPECT_EQ(R.Ftp.ReplyCode(), 530);
    EXPECT_FALSE(R.Ftp.SslCertificateRefused());
    R.Ftp.CancelAsync();
    R.Ftp.PassWord = server->Password();

    // Without the CA file the certificate is unknown: refused before USER,
    // with what the user needs to decide.
    const size_t before = server->Commands().size();
    R.Ftp.SslCaFile.clear();
    EXPECT_FALSE(R.Ftp.Connect());
    EXPECT_TRUE(R.Ftp.SslCertificateRefused());
    EXPECT_FALSE(R.Ftp.SslPinMismatch());
    EXPECT_EQ(R.Ftp.SslPeerCertificate().Sha256, cert.Sha256());
    EXPECT_NE(R.Ftp.ErrorMessage().find("TLS certificate not trusted"), std::string::npos)
        << R.Ftp.ErrorMessage();
    EXPECT_NE(R.Ftp.ErrorMessage().find(cert.Sha256()), std::string::npos);

    // Trusted once by its fingerprint, it logs in.
    R.Ftp.SslPinSha256 = cert.Sha256();
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    EXPECT_TRUE(R.Ftp.Quit());

    // A certificate other than the one trusted is refused loudly.
    R.Ftp.SslPinSha256 = std::string(64, 'A');
    EXPECT_FALSE(R.Ftp.Connect());
    EXPECT_TRUE(R.Ftp.SslPinMismatch());
    EXPECT_NE(R.Ftp.ErrorMessage().find("TLS certificate changed"), std::string::npos);
    const auto after = server->Commands();
    EXPECT_EQ(std::count_if(after.begin() + static_cast<long>(before), after.end(),
                            [](const std::string& c) { return c.rfind("USER", 0) == 0; }),
              1);  // only the pinned login's
}

INSTANTIATE_TEST_SUITE_P(ExplicitAndImplicit, FtpTls, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Implicit" : "Explicit"; });

// pyftpdlib's TLS handler, a second implementation of explicit TLS: the
// login and the control connection. (Debian's pyftpdlib 1.5.7 with
// pyOpenSSL 23 resets its TLS data connections, curl's as well, so the
// transfers are vsftpd's.)
TEST(FtpTlsPyftpdlib, ExplicitTlsLogsInAndWorksTheControlConnection) {
    peers::TempDir certDir;
    peers::TlsCert cert;
    ASSERT_TRUE(cert.Make(certDir, "tarn-test")) << cert.Error();
    peers::PyftpdlibServer::Options options;
    options.TlsCertFile = cert.CertFile();
    options.TlsKeyFile = cert.KeyFile();
    peers::PyftpdlibServer server(options);
    ASSERT_TRUE(server.Start()) << server.Error();
    TRecordedFtp R;
    R.Target(server);
    R.Ftp.Security = ftpSecurityExplicit;
    R.Ftp.SslCaFile = cert.CertFile();
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    EXPECT_EQ(R.Ftp.ReplyCode(), 230);
    ASSERT_TRUE(R.Ftp.Pwd()) << R.Ftp.ErrorMessage();
    EXPECT_EQ(R.Ftp.ReplyDirName(), "/");
    EXPECT_TRUE(R.Ftp.Quit());
    const auto commands = server.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "AUTH TLS");
    EXPECT_TRUE(Contains(commands, "PBSZ 0"));
    EXPECT_TRUE(Contains(commands, "PROT P"));
}

TEST(FtpTlsWire, NothingOfTheLoginCrossesInClear) {
    peers::TempDir certDir;
    peers::TlsCert cert;
    ASSERT_TRUE(cert.Make(certDir, "tarn-test")) << cert.Error();
    peers::VsftpdServer server({8, peers::VsftpdTlsConfig(cert, false)});
    ASSERT_TRUE(server.Start()) << server.Error();
    peers::RecordingRelay relay(server.Port());
    ASSERT_NE(relay.Port(), 0);

    TRecordedFtp R;
    R.Target(relay.Port(), server.User(), server.Password());
    R.Ftp.Security = ftpSecurityExplicit;
    R.Ftp.SslPinSha256 = cert.Sha256();
    R.Ftp.Passive = true;
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    EXPECT_TRUE(R.Ftp.Pwd());
    EXPECT_TRUE(R.Ftp.Quit());
    const std::string wire = relay.ClientBytes();
    EXPECT_EQ(wire.rfind("AUTH TLS\r\n", 0), 0u);
    EXPECT_EQ(wire.find("USER"), std::string::npos);
    EXPECT_EQ(wire.find("PASS"), std::string::npos);
    EXPECT_EQ(wire.find(server.Password()), std::string::npos);
    EXPECT_EQ(wire.find("PWD"), std::string::npos);
}

TEST(FtpTlsWire, AServerWithoutTlsNeverSeesTheLogin) {
    peers::PyftpdlibServer server;  // plain FTP only: AUTH is not understood
    ASSERT_TRUE(server.Start()) << server.Error();
    TRecordedFtp R;
    R.Target(server);
    R.Ftp.Security = ftpSecurityExplicit;
    EXPECT_FALSE(R.Ftp.Connect());
    EXPECT_EQ(R.Ftp.ErrorMessage().rfind("534 The server refused TLS (5", 0), 0u)
        << R.Ftp.ErrorMessage();
    EXPECT_FALSE(R.Ftp.Connected());
    PumpFor(100);
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"AUTH TLS"}));
}

// A listing cut short without close_notify is no listing: the request fails
// and the file it was to fill is left empty, so no window shows half a folder.
TEST(FtpTlsTruncation, ACutListingFailsAndLeavesNothingToShow) {
    peers::TempDir certDir, local;
    peers::TlsCert cert;
    ASSERT_TRUE(cert.Make(certDir, "tarn-test")) << cert.Error();
    peers::ScriptedTlsFtp server({"--cert", cert.CertFile(), "--key", cert.KeyFile(), "--list-send", "199"});
    ASSERT_TRUE(server.Start()) << server.Error();
    TRecordedFtp R;
    R.Target(server.Port(), "me", "secret");
    R.Ftp.Security = ftpSecurityExplicit;
    R.Ftp.SslPinSha256 = cert.PublicKeySha256();
    R.Ftp.Passive = true;
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.Ftp.HostFileName.clear();
    R.Ftp.LocalFileName = local.File("listing.txt");
    EXPECT_FALSE(R.Ftp.Dir());
    EXPECT_EQ(R.Ftp.ErrorMessage().rfind("426 Data connection closed without TLS close_notify after ", 0), 0u)
        << R.Ftp.ErrorMessage();
    EXPECT_EQ(peers::ReadTextFile(local.File("listing.txt")), "");
    EXPECT_TRUE(R.Ftp.Quit());
}

}  // namespace


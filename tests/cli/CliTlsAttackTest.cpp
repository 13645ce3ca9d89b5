// tarnftp over TLS against scripted hostile servers on 127.0.0.1: a data
// stream cut without close_notify (RETR and LIST), clear text behind the
// 234 reply, a data connection with another certificate, a CA-signed
// certificate for another name reached through every numeric form of
// 127.0.0.1, and --pin as the public key's fingerprint.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/CliRunner.h"
#include "peers/Peers.h"

namespace cli {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliTlsAttack : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(cert.Make(certs, "tarn-test")) << cert.Error(); }

    CliResult Run(std::vector<std::string> args, bool terminal = false) {
        CliRun r = InHome(home.Path(), std::move(args));
        r.StderrTerminal = terminal;
        return RunTarnftp(r);
    }
    // --ftps trusting cert by its public key, to server on 127.0.0.1, then command.
    std::vector<std::string> Args(const peers::ScriptedTlsFtp& server, std::vector<std::string> command) {
        std::vector<std::string> args = {"-v", "--passive", "--ftps", "--pin", cert.PublicKeySha256(), "-u", "me:secret", "-P",
                                         std::to_string(server.Port()), "127.0.0.1"};
        args.insert(args.end(), command.begin(), command.end());
        return args;
    }
    std::vector<std::string> Serve(std::vector<std::string> options) const {
        std::vector<std::string> all = {"--cert", cert.CertFile(), "--key", cert.KeyFile()};
        all.insert(all.end(), options.begin(), options.end());
        return all;
    }

    peers::TempDir certs, home;
    peers::TlsCert cert;
};

TEST_F(CliTlsAttack, ADataStreamCutWithoutCloseNotifyFailsUnlessItIsTheAnnouncedSize) {
    const std::string local = home.File("data.bin");
    {
        SCOPED_TRACE("160,000 of 480,000 bytes, then 226");
        peers::ScriptedTlsFtp server(Serve({"--send-bytes", "160000", "--list-send", "199"}));
        ASSERT_TRUE(server.Start()) << server.Error();
        ASSERT_TRUE(peers::WriteTextFile(local, "what was here before"));
        CliResult r = Run(Args(server, {"get", "data.bin", local}));
        EXPECT_EQ(r.Status, 4) << r.Err;
        EXPECT_TRUE(Contains(r.Err, "426 Data connection closed without TLS close_notify after 160000 bytes"))
            << r.Err;
        EXPECT_EQ(peers::ReadTextFile(local), "what was here before");

        r = Run(Args(server, {"ls"}));
        EXPECT_EQ(r.Status, 4) << r.Err;
        EXPECT_EQ(r.Out, "");
        EXPECT_TRUE(Contains(r.Err, "without TLS close_notify")) << r.Err;
    }
    {
        SCOPED_TRACE("announced in the 150 and sent whole");
        peers::ScriptedTlsFtp server(Serve({"--announce"}));
        ASSERT_TRUE(server.Start()) << server.Error();
        CliResult r = Run(Args(server, {"get", "data.bin", local}));
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(peers::ReadTextFile(local).size(), 480000u);
        EXPECT_TRUE(Contains(r.Err, "The server did not close TLS properly on the data connection (no "
                                    "close_notify); the 480000 bytes received are the size it announced"))
            << r.Err;
        // A listing has no size to match.
        r = Run(Args(server, {"ls"}));
        EXPECT_EQ(r.Status, 4) << r.Err;
        EXPECT_EQ(r.Out, "");
    }
    {
        SCOPED_TRACE("SIZE (the progress bar asks it) and sent whole; cut short it fails still");
        peers::ScriptedTlsFtp whole(Serve({"--size"}));
        ASSERT_TRUE(whole.Start()) << whole.Error();
        CliResult r = Run(Args(whole, {"get", "data.bin", local}), true);
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(peers::ReadTextFile(local).size(), 480000u);
        EXPECT_TRUE(Contains(r.Err, "the size it announced")) << r.Err;
        const auto commands = whole.Commands();
        EXPECT_NE(std::find(commands.begin(), commands.end(), "SIZE data.bin"), commands.end());

        peers::ScriptedTlsFtp cut(Serve({"--size", "--send-bytes", "479999"}));
        ASSERT_TRUE(cut.Start()) << cut.Error();
        r = Run(Args(cut, {"get", "data.bin", local}), true);
        EXPECT_EQ(r.Status, 4) << r.Err;
        EXPECT_TRUE(Contains(r.Err, "after 479999 bytes of 480000 announced")) << r.Err;
        EXPECT_EQ(peers::ReadTextFile(local).size(), 480000u);  // the earlier whole one stays
    }
    {
        SCOPED_TRACE("with close_notify nothing is said");
        peers::ScriptedTlsFtp server(Serve({"--close-notify"}));
        ASSERT_TRUE(server.Start()) << server.Error();
        CliResult r = Run(Args(server, {"ls"}));
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(Contains(r.Out, "file0399.txt")) << r.Out;
        EXPECT_FALSE(Contains(r.Err, "close_notify")) << r.Err;
    }
}

TEST_F(CliTlsAttack, ClearTextAfter234AndADataConnectionWithAnotherCertificateAreRefused) {
    {
        SCOPED_TRACE("a reply injected in clear behind the 234");
        peers::ScriptedTlsFtp server(Serve({"--junk-after-234"}));
        ASSERT_TRUE(server.Start()) << server.Error();
        CliResult r = Run(Args(server, {"pwd"}));
        EXPECT_NE(r.Status, 0) << r.Err;
        EXPECT_TRUE(Contains(r.Err, "The server sent data after its 234 reply, before TLS began")) << r.Err;
        EXPECT_EQ(server.Commands(), (std::vector<std::string>{"AUTH TLS"}));
    }
    {
        SCOPED_TRACE("the data connection shows another certificate");
        peers::TlsCert other;
        ASSERT_TRUE(other.Make(certs, "tarn-other")) << other.Error();
        peers::ScriptedTlsFtp server(Serve({"--data-cert", other.CertFile(), "--data-key", other.KeyFile()}));
        ASSERT_TRUE(server.Start()) << server.Error();
        CliResult r = Run(Args(server, {"ls"}));
        EXPECT_EQ(r.Status, 7) << r.Err;
        EXPECT_TRUE(Contains(r.Err, "425 Data connection: TLS certificate changed")) << r.Err;
        EXPECT_TRUE(Contains(r.Err, other.Sha256())) << r.Err;
        EXPECT_EQ(r.Out, "");
    }
}

TEST_F(CliTlsAttack, TheCertificateMustNameTheAddressConnectedToInEveryNumericForm) {
    peers::TlsCert ca, evil, good;
    ASSERT_TRUE(ca.MakeCa(certs, "tarn-ca")) << ca.Error();
    ASSERT_TRUE(evil.MakeSigned(certs, "evil", ca, "DNS:evil.example")) << evil.Error();
    ASSERT_TRUE(good.MakeSigned(certs, "good", ca, "IP:127.0.0.1,DNS:*.example")) << good.Error();
    peers::ScriptedTlsFtp evilServer({"--cert", evil.CertFile(), "--key", evil.KeyFile()});
    peers::ScriptedTlsFtp goodServer({"--cert", good.CertFile(), "--key", good.KeyFile()});
    ASSERT_TRUE(evilServer.Start()) << evilServer.Error();
    ASSERT_TRUE(goodServer.Start()) << goodServer.Error();
    auto run = [&](const peers::ScriptedTlsFtp& server, const std::string& host) {
        return Run({"--ftps", "--cacert", ca.CertFile(), "-u", "me:secret", "-P", std::to_string(server.Port()),
                    host, "pwd"});
    };
    for (const char* host : {"127.0.0.1", "127.1", "2130706433", "0177.0.0.1"}) {
        SCOPED_TRACE(host);
        CliResult r = run(evilServer, host);
        EXPECT_EQ(r.Status, 7) << r.Err;
        EXPECT_TRUE(Contains(r.Err, "IP address mismatch")) << r.Err;
        // The address itself is trusted through the same CA.
        r = run(goodServer, host);
        EXPECT_EQ(r.Status, 0) << r.Err;
    }
    // A name: exact or a whole-label wildcard only.
    CliResult r = run(goodServer, "localhost");
    EXPECT_EQ(r.Status, 7) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "hostname mismatch")) << r.Err;
    for (const auto& line : evilServer.Commands()) EXPECT_NE(line.rfind("USER", 0), 0u) << line;
}

TEST_F(CliTlsAttack, PinIsThePublicKeysFingerprintAndIsCheckedWhenGiven) {
    peers::ScriptedTlsFtp server(Serve({}));
    ASSERT_TRUE(server.Start()) << server.Error();
    CliResult r = Run(Args(server, {"pwd"}));
    EXPECT_EQ(r.Status, 0) << r.Err;
    // The whole certificate's fingerprint, as stored by earlier versions, still serves.
    r = Run({"--ftps", "--pin", cert.Sha256(), "-u", "me:secret", "-P", std::to_string(server.Port()), "127.0.0.1",
             "pwd"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    for (const std::string& pin : {std::string("AB:CD"), std::string(63, 'a') + "g", std::string(65, 'a')}) {
        r = Run({"--ftps", "--pin", pin, "-P", std::to_string(server.Port()), "127.0.0.1", "pwd"});
        EXPECT_EQ(r.Status, 1) << pin << ": " << r.Err;
        EXPECT_TRUE(Contains(r.Err, "--pin wants a SHA-256 fingerprint")) << r.Err;
    }
}

}  // namespace
}  // namespace cli

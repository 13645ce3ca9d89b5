// TLS over a real server: vsftpd on 127.0.0.1 with a throwaway self-signed
// certificate, spoken to at the socket level (greeting, AUTH TLS, QUIT) so
// that the handshake, trust decisions, reading, sending and closing of the
// TLS layer are seen without the FTP engine.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/WSocket.h"
#include "peers/Peers.h"
#include "platform/PumpHelpers.h"

namespace {

class SslTest : public ::testing::Test {
protected:
    void StartServer(bool implicit) {
        ASSERT_TRUE(cert.Make(certDir, "tarn-test")) << cert.Error();
        server = std::make_unique<peers::VsftpdServer>(
            peers::VsftpdServer::Options{8, peers::VsftpdTlsConfig(cert, implicit)});
        ASSERT_TRUE(server->Start()) << server->Error();
    }

    // Collects the text received and the events, in order.
    struct Client {
        TWSocket s;
        std::string text;
        std::vector<std::string> events;
        bool closed = false;

        Client() {
            s.OnDataAvailable = [this](TObject*, std::uint16_t) {
                char buf[512];
                const int n = s.Receive(buf, sizeof buf);
                if (n > 0) text.append(buf, static_cast<size_t>(n));
            };
            s.OnSessionConnected = [this](TObject*, std::uint16_t e) {
                events.push_back("Connected " + std::to_string(e));
            };
            s.OnSslHandshakeDone = [this](TObject*, std::uint16_t e) {
                events.push_back("Handshake " + std::to_string(e));
            };
            s.OnSessionClosed = [this](TObject*, std::uint16_t e) {
                events.push_back("Closed " + std::to_string(e));
                closed = true;
            };
        }
        void Open(int port) {
            s.SetAddr("127.0.0.1");
            s.SetPort(std::to_string(port));
            s.Connect();
        }
        bool Has(const std::string& t) const { return text.find(t) != std::string::npos; }
    };

    peers::TempDir certDir;
    peers::TlsCert cert;
    std::unique_ptr<peers::VsftpdServer> server;
};

TEST_F(SslTest, ImplicitTlsTrustsOnlyWhatItShould) {
    StartServer(true);
    const int port = server->Port();

    {  // The system store does not know a self-signed certificate.
        Client c;
        c.s.SslEnable = true;
        c.Open(port);
        ASSERT_TRUE(PumpUntil([&] { return c.closed; }));
        EXPECT_EQ(c.events, (std::vector<std::string>{"Handshake 20102", "Connected 20102",
                                                      "Closed 20102"}));
        EXPECT_NE(c.s.SslErrorText().find("TLS certificate not trusted: self-signed certificate"),
                  std::string::npos)
            << c.s.SslErrorText();
        EXPECT_NE(c.s.SslErrorText().find("subject CN=tarn-test"), std::string::npos);
        EXPECT_NE(c.s.SslErrorText().find(cert.Sha256()), std::string::npos);
        EXPECT_EQ(c.s.SslPeerCertificate().Sha256, cert.Sha256());
        EXPECT_EQ(c.s.SslPeerCertificate().Issuer, "CN=tarn-test");
        EXPECT_FALSE(c.s.SslPeerCertificate().NotAfter.empty());
        EXPECT_TRUE(c.text.empty());
    }
    {  // A pin that does not match is refused even when asked to be lenient.
        Client c;
        c.s.SslEnable = true;
        c.s.SslInsecure = true;
        c.s.SslPinSha256 = std::string(95, '0');
        c.Open(port);
        ASSERT_TRUE(PumpUntil([&] { return c.closed; }));
        EXPECT_EQ(c.events.front(), "Handshake 20103");
        EXPECT_NE(c.s.SslErrorText().find("TLS certificate changed"), std::string::npos);
    }
    {  // The CA file trusts it, but not for another name.
        Client c;
        c.s.SslEnable = true;
        c.s.SslContext = std::make_shared<TSslContext>(cert.CertFile());
        c.s.SslHostName = "other.example";
        c.Open(port);
        ASSERT_TRUE(PumpUntil([&] { return c.closed; }));
        EXPECT_EQ(c.events.front(), "Handshake 20102");
        EXPECT_NE(c.s.SslErrorText().find("hostname mismatch"), std::string::npos)
            << c.s.SslErrorText();
    }
    // Trusted through the CA file (for 127.0.0.1), and through the pin in
    // lower case without separators: greeting and QUIT go encrypted, and the
    // server's close ends the session.
    for (int way = 0; way < 2; ++way) {
        Client c;
        c.s.SslEnable = true;
        if (way == 0) {
            c.s.SslContext = std::make_shared<TSslContext>(cert.CertFile());
        } else {
            std::string pin;
            for (char ch : cert.Sha256())
                if (ch != ':') pin += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            c.s.SslPinSha256 = pin;
        }
        c.Open(port);
        ASSERT_TRUE(PumpUntil([&] { return c.Has("220"); })) << c.s.SslErrorText();
        EXPECT_EQ(c.events, (std::vector<std::string>{"Handshake 0", "Connected 0"}));
        EXPECT_TRUE(c.s.SslActive());
        EXPECT_NE(c.s.SslCipherText().find("TLS"), std::string::npos);
        c.s.SendText("QUIT\r\n");
        ASSERT_TRUE(PumpUntil([&] { return c.closed; }));
        EXPECT_TRUE(c.Has("221"));
    }
}

TEST_F(SslTest, ExplicitTlsOnAClearConnectionInLineMode) {
    StartServer(false);
    Client c;
    std::vector<std::string> lines;
    c.s.SetLineMode(true);
    c.s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        std::string line = c.s.ReceiveText();
        if (!line.empty()) lines.push_back(line);
    };
    auto pin = cert.Sha256();
    c.Open(server->Port());
    ASSERT_TRUE(PumpUntil([&] { return !lines.empty(); }));
    EXPECT_EQ(lines.back().substr(0, 4), "220 ");
    EXPECT_FALSE(c.s.SslActive());
    c.s.SendText("AUTH TLS\r\n");
    ASSERT_TRUE(PumpUntil([&] { return lines.size() == 2; }));
    ASSERT_EQ(lines.back().substr(0, 4), "234 ");
    c.s.SslPinSha256 = pin;
    c.s.StartSsl();
    ASSERT_TRUE(PumpUntil([&] { return c.events.size() == 2; }));
    EXPECT_EQ(c.events, (std::vector<std::string>{"Connected 0", "Handshake 0"}))
        << c.s.SslErrorText();
    // Sent before anything was read back: lines come one by one, in order.
    c.s.SendText("USER nobody-here\r\nPBSZ 0\r\n");
    ASSERT_TRUE(PumpUntil([&] { return lines.size() == 4; }));
    EXPECT_EQ(lines[2].substr(0, 4), "331 ");
    EXPECT_EQ(lines[3].substr(0, 4), "200 ");
    EXPECT_EQ(lines[3].back(), '\n');
    // The server has offered a session to resume on data connections.
    EXPECT_TRUE(c.s.SslSession());
    c.s.Disconnect();
    EXPECT_EQ(c.s.State(), wsClosed);
    EXPECT_EQ(c.events.back(), "Closed 0");
}

// A peer that answers the ClientHello with clear text: the handshake fails,
// and whatever the application sends then never reaches the wire in clear.
TEST(SslFailure, NothingIsSentInClearAfterTlsFailed) {
    peers::ScriptedPeer peer({peers::ExpectAnyBytes(5), peers::SendBytes("HTTP/1.0 400 Bad Request\r\n\r\n"),
                              peers::ExpectPeerClose()});
    ASSERT_TRUE(peer.Start());
    TWSocket s;
    bool closed = false;
    int sent = 0;
    std::uint16_t handshake = 0;
    s.SslEnable = true;
    s.OnSslHandshakeDone = [&](TObject*, std::uint16_t e) {
        handshake = e;
        sent = s.SendText("USER secret\r\n");
    };
    s.OnSessionClosed = [&](TObject*, std::uint16_t) { closed = true; };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(peer.Port()));
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return closed; }));
    EXPECT_EQ(handshake, SslErrHandshake);
    EXPECT_EQ(sent, -1);
    ASSERT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Received().find("USER"), std::string::npos);
}

}  // namespace


#include "net/WSocket.h"

#include <gtest/gtest.h>

#include <string>

#include "LoopbackPeers.h"
#include "SocketTestUtil.h"

using nettest::ErrorOf;

namespace {

TEST(WSocketIsDottedAddr, AcceptsFourPartsWithBlanksAround) {
    EXPECT_TRUE(WSocketIsDottedAddr("1.2.3.4"));
    EXPECT_TRUE(WSocketIsDottedAddr("  1.2.3.4  "));
    EXPECT_TRUE(WSocketIsDottedAddr("255.255.255.255"));
    EXPECT_TRUE(WSocketIsDottedAddr("0.0.0.0"));
}

TEST(WSocketIsDottedAddr, RefusesEverythingElse) {
    for (const char* s : {"", "   ", "1.2.3", ".1.2.3", "1..2.3", "1.2.3.4.", "256.1.1.1",
                          "1.2.3.256", "1.2.3.4x", "1.2.3.4 x", "1.2.3.4.5", "a.b.c.d",
                          "99999999999999999999.1.1.1"})
        EXPECT_FALSE(WSocketIsDottedAddr(s)) << '"' << s << '"';
}

TEST(DigitsToInt, ReadsLeadingDigits) {
    EXPECT_EQ(DigitsToInt("21"), 21);
    EXPECT_EQ(DigitsToInt("  8080x"), 8080);
    EXPECT_EQ(DigitsToInt("abc"), 0);
    EXPECT_EQ(DigitsToInt(""), 0);
    EXPECT_EQ(DigitsToInt("99999999999999999999"), 2147483647);  // saturates
}

TEST(WSocketErrorText, KnownAndUnknownNumbers) {
    EXPECT_EQ(WSocketErrorText(0), "No Error");
    EXPECT_EQ(WSocketErrorText(10035), "Operation would block");
    EXPECT_EQ(WSocketErrorText(10054), "Connection reset by peer");
    EXPECT_EQ(WSocketErrorText(10058), "Can't send after socket shutdown");
    EXPECT_EQ(WSocketErrorText(10061), "Connection refused");
    EXPECT_EQ(WSocketErrorText(11001), "Host not found");
    EXPECT_EQ(WSocketErrorText(11004), "No Data");
    EXPECT_EQ(WSocketErrorText(12345), "Not a WinSock error");
}

TEST(WSocketResolvePort, NumbersServicesAndLimits) {
    EXPECT_EQ(WSocketResolvePort("21", "tcp"), 21);
    EXPECT_EQ(WSocketResolvePort("ftp", "tcp"), 21);  // through the service table
    EXPECT_EQ(WSocketResolvePort(" http ", "tcp"), 80);
    EXPECT_EQ(ErrorOf([] { WSocketResolvePort("", "tcp"); }), "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(ErrorOf([] { WSocketResolvePort(std::string(32, '1'), "tcp"); }),
              "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(ErrorOf([] { WSocketResolvePort("70000", "tcp"); }), "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(ErrorOf([] { WSocketResolvePort("21", ""); }), "WSocketResolvePort: Invalid Proto.");
    std::string err = ErrorOf([] { WSocketResolvePort("nosuchservice", "tcp"); });
    EXPECT_EQ(err.rfind("WSocketResolvePort: Cannot convert port 'nosuchservice', Error #", 0), 0u) << err;
}

TEST(WSocketResolveProto, NumbersNamesAndLimits) {
    EXPECT_EQ(WSocketResolveProto("tcp"), 6);
    EXPECT_EQ(WSocketResolveProto("udp"), 17);
    EXPECT_EQ(WSocketResolveProto("17"), 17);
    EXPECT_EQ(ErrorOf([] { WSocketResolveProto(""); }), "WSocketResolveProto: Invalid Protocol.");
    EXPECT_EQ(ErrorOf([] { WSocketResolveProto(std::string(32, 'x')); }),
              "WSocketResolveProto: Invalid Protocol.");
    std::string err = ErrorOf([] { WSocketResolveProto("nosuchproto"); });
    EXPECT_EQ(err.rfind("WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #", 0), 0u)
        << err;
}

TEST(WSocketResolveHost, DottedNamesAndLimits) {
    EXPECT_EQ(WSocketResolveHost("127.0.0.1"), winsock::htonl(0x7F000001));
    EXPECT_EQ(WSocketResolveHost(" 10.1.2.3 "), winsock::htonl(0x0A010203));
    EXPECT_EQ(WSocketResolveHost("255.255.255.255"), winsock::INADDR_BROADCAST);
    EXPECT_EQ(ErrorOf([] { WSocketResolveHost(""); }), "WSocketResolveHost: '' Invalid Hostname.");
    std::string longName(257, 'a');
    EXPECT_EQ(ErrorOf([&] { WSocketResolveHost(longName); }),
              "WSocketResolveHost: '" + longName + "' Invalid Hostname.");

    // Names go through the platform's resolver (the test seam: see SocketTestUtil.h).
    EXPECT_EQ(WSocketResolveHost("peer.test"), winsock::htonl(0x7F000002));
    EXPECT_EQ(ErrorOf([] { WSocketResolveHost("nosuch.test"); }),
              "WSocketResolveHost: Cannot convert host address 'nosuch.test', Error #11001");
}

// A slim system without /etc/services and /etc/protocols: the usual names
// still resolve and a connection with the default protocol "tcp" comes up.
TEST(WSocketResolve, WithoutTheSystemNameTables) {
    struct Restore {
        ~Restore() { winsock::seams::UseSystemNameTables(true); }
    } restore;
    winsock::seams::UseSystemNameTables(false);
    EXPECT_EQ(WSocketResolveProto("tcp"), 6);
    EXPECT_EQ(WSocketResolveProto("udp"), 17);
    EXPECT_EQ(WSocketResolvePort("ftp", "tcp"), 21);
    EXPECT_EQ(WSocketResolvePort("ftp-data", "tcp"), 20);
    std::string err = ErrorOf([] { WSocketResolvePort("nosuchservice", "tcp"); });
    EXPECT_EQ(err.rfind("WSocketResolvePort: Cannot convert port 'nosuchservice', Error #", 0), 0u) << err;

    peers::TcpPeer peer([](peers::Conn& c) { c.WriteAll("220 ready\r\n"); });
    TWSocket s;
    std::string got;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) { got += s.ReceiveText(); };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(peer.Port()));
    s.Connect();
    EXPECT_TRUE(nettest::PumpUntil([&] { return got == "220 ready\r\n"; })) << got;
    s.Abort();
}

}  // namespace

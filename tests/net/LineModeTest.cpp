// Line mode over real loopback connections: cutting, terminators across
// receptions, reading in pieces, editing and echo, the line limit, switching
// modes inside handlers, closing while a line is offered, and line mode
// after a SOCKS negotiation.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "ManualPeer.h"
#include "net/WSocket.h"
#include "platform/PumpHelpers.h"

using namespace std::string_literals;

namespace {

class LineModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Listen());
        socket.SetLineMode(true);
        socket.OnSessionClosed = [this](TObject*, std::uint16_t) { events.push_back("closed"); };
        ReadWholeLines();
        socket.SetAddr("127.0.0.1");
        socket.SetPort(std::to_string(peer.Port()));
        socket.Connect();
        ASSERT_TRUE(PumpUntil([&] { return peer.TryAccept() && socket.State() == wsConnected; }));
    }

    // Each event: the announced count, then one ReceiveText.
    void ReadWholeLines() {
        socket.OnDataAvailable = [this](TObject*, std::uint16_t e) {
            EXPECT_EQ(e, 0);
            const int announced = socket.RcvdCount();
            std::string text = socket.ReceiveText();
            if (socket.LineMode()) {
                EXPECT_EQ(announced, static_cast<int>(text.size()));
            }
            events.push_back(text);
        };
    }

    // Sends bytes the socket has to read before the test goes on.
    void Deliver(const std::string& bytes) {
        const std::int64_t before = socket.ReadCount();
        ASSERT_TRUE(peer.Send(bytes));
        ASSERT_TRUE(PumpUntil([&] { return socket.ReadCount() >= before + static_cast<std::int64_t>(bytes.size()); }));
    }

    bool EventCount(size_t n) {
        return PumpUntil([&] { return events.size() >= n; });
    }

    ManualPeer peer;
    TWSocket socket;
    std::vector<std::string> events;
};

TEST_F(LineModeTest, TwoLinesInOneReceptionGiveTwoEvents) {
    ASSERT_TRUE(peer.Send("AB\r\nCD\r\n"));
    ASSERT_TRUE(EventCount(2));
    EXPECT_EQ(events, (std::vector<std::string>{"AB\r\n", "CD\r\n"}));
}

TEST_F(LineModeTest, TerminatorSplitAcrossReceptionsIsFound) {
    Deliver("AB\r");
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(peer.Send("\nCD"));
    ASSERT_TRUE(EventCount(1));
    Deliver("\r");
    ASSERT_TRUE(peer.Send("\n"));
    ASSERT_TRUE(EventCount(2));
    EXPECT_EQ(events, (std::vector<std::string>{"AB\r\n", "CD\r\n"}));
}

TEST_F(LineModeTest, MultiByteLineEnd) {
    socket.LineEnd = "<END>";
    Deliver("one<EN");
    ASSERT_TRUE(peer.Send("D>two<END>three<E"));
    ASSERT_TRUE(EventCount(2));
    ASSERT_TRUE(peer.Send("ND><"));
    ASSERT_TRUE(EventCount(3));
    EXPECT_EQ(events, (std::vector<std::string>{"one<END>", "two<END>", "three<END>"}));
}

TEST_F(LineModeTest, HandlerReadsALineInPieces) {
    std::vector<std::string> reads;
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[4];
        int n = socket.Receive(buf, sizeof buf);
        reads.emplace_back(buf, static_cast<size_t>(std::max(n, 0)));
    };
    ASSERT_TRUE(peer.Send("01234567\r\nnext\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return reads.size() >= 5; }));
    PumpFor(50);
    EXPECT_EQ(reads, (std::vector<std::string>{"0123", "4567", "\r\n", "next", "\r\n"}));
}

TEST_F(LineModeTest, EditingWithoutEchoSendsNothingBack) {
    socket.LineEdit = true;
    ASSERT_TRUE(peer.Send("abc\bd\r\n"));
    ASSERT_TRUE(EventCount(1));
    EXPECT_EQ(events[0], "abd\r\n");
    PumpFor(50);
    EXPECT_EQ(peer.Received(), "");
}

TEST_F(LineModeTest, EditingWithEchoEchoesErasures) {
    socket.LineEdit = true;
    socket.LineEcho = true;
    Deliver("abc");
    ASSERT_TRUE(PumpUntil([&] { return peer.Received() == "abc"; }));
    // The backspace erases a byte held from the earlier reception.
    Deliver("\b");
    ASSERT_TRUE(PumpUntil([&] { return peer.Received() == "abc\b \b"; }));
    ASSERT_TRUE(peer.Send("d\r\n"));
    ASSERT_TRUE(EventCount(1));
    EXPECT_EQ(events[0], "abd\r\n");
    ASSERT_TRUE(PumpUntil([&] { return peer.Received().size() >= 9; }));
    EXPECT_EQ(peer.Received(), "abc\b \bd\r\n");
    // A backspace with nothing held erases and echoes nothing.
    ASSERT_TRUE(peer.Send("\bx\r\n"));
    ASSERT_TRUE(EventCount(2));
    EXPECT_EQ(events[1], "x\r\n");
    ASSERT_TRUE(PumpUntil([&] { return peer.Received().size() >= 12; }));
    EXPECT_EQ(peer.Received(), "abc\b \bd\r\nx\r\n");
}

TEST_F(LineModeTest, EchoWithoutEditingReturnsBytesUnchanged) {
    socket.LineEcho = true;
    ASSERT_TRUE(peer.Send("a\bb\tc\r\n"));
    ASSERT_TRUE(EventCount(1));
    EXPECT_EQ(events[0], "a\bb\tc\r\n");
    ASSERT_TRUE(PumpUntil([&] { return peer.Received().size() >= 7; }));
    EXPECT_EQ(peer.Received(), "a\bb\tc\r\n");
}

TEST_F(LineModeTest, TabsExpandToTheNextMultipleOfEight) {
    socket.LineEdit = true;
    // Positions count from the start of the held bytes, so each line goes alone.
    ASSERT_TRUE(peer.Send("abc\tX\r\n"));
    ASSERT_TRUE(EventCount(1));
    ASSERT_TRUE(peer.Send("12345678\tY\r\n"));
    ASSERT_TRUE(EventCount(2));
    EXPECT_EQ(events[0], "abc     X\r\n");
    EXPECT_EQ(events[1], "12345678        Y\r\n");
}

TEST_F(LineModeTest, LineLimitClearsOrKeepsTheHeldBytes) {
    socket.LineLimit = 10;
    std::vector<int> exceeded;
    bool keep = false;
    socket.OnLineLimitExceeded = [&](TObject*, int length, bool& clear) {
        exceeded.push_back(length);
        if (keep) clear = false;
    };
    Deliver("abcdefghijk");
    EXPECT_EQ(exceeded, std::vector<int>{11});
    ASSERT_TRUE(peer.Send("Z\r\n"));
    ASSERT_TRUE(EventCount(1));
    EXPECT_EQ(events[0], "Z\r\n");

    keep = true;
    Deliver("abcdefghijk");
    ASSERT_TRUE(peer.Send("\r\n"));
    ASSERT_TRUE(EventCount(2));
    EXPECT_EQ(events[1], "abcdefghijk\r\n");
    EXPECT_EQ(exceeded, (std::vector<int>{11, 11}));
    // A complete line is never limited.
    ASSERT_TRUE(peer.Send(std::string(50, 'L') + "\r\n"));
    ASSERT_TRUE(EventCount(3));
    EXPECT_EQ(exceeded.size(), 2u);
}

TEST_F(LineModeTest, LastUnterminatedLineComesBeforeTheClose) {
    ASSERT_TRUE(peer.Send("one\r\nxyz"));
    peer.Close();
    ASSERT_TRUE(EventCount(3));
    EXPECT_EQ(events, (std::vector<std::string>{"one\r\n", "xyz", "closed"}));
}

TEST_F(LineModeTest, SwitchingOffInsideTheHandlerDeliversHeldBytesRawAndInOrder) {
    std::string raw;
    int lineEvents = 0;
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) {
        if (socket.LineMode()) {
            ++lineEvents;
            EXPECT_EQ(socket.RcvdCount(), 4);
            socket.SetLineMode(false);  // without reading the line
            return;
        }
        raw += socket.ReceiveText();
    };
    ASSERT_TRUE(peer.Send("L1\r\nL2\r\nrest"));
    ASSERT_TRUE(PumpUntil([&] { return raw.size() >= 12; }));
    ASSERT_TRUE(peer.Send("more"));
    ASSERT_TRUE(PumpUntil([&] { return raw.size() >= 16; }));
    EXPECT_EQ(raw, "L1\r\nL2\r\nrestmore");
    EXPECT_EQ(lineEvents, 1);
}

TEST_F(LineModeTest, SwitchingOnCutsHeldBytesIntoLines) {
    socket.SetLineMode(false);
    std::string raw;
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) {
        if (socket.LineMode()) {
            events.push_back(socket.ReceiveText());
            return;
        }
        char c;
        if (socket.Receive(&c, 1) == 1) raw += c;
        if (c == '!') socket.SetLineMode(true);  // the rest of this reception is held
    };
    ASSERT_TRUE(peer.Send("go!one\r\ntwo\r\n"));
    ASSERT_TRUE(EventCount(2));
    EXPECT_EQ(raw, "go!");
    EXPECT_EQ(events, (std::vector<std::string>{"one\r\n", "two\r\n"}));
}

TEST_F(LineModeTest, EmptyLineEndBehavesAsLineModeOff) {
    socket.LineEnd = "";
    ASSERT_TRUE(peer.Send("AB\r\nCD"));
    ASSERT_TRUE(EventCount(1));
    EXPECT_EQ(events[0], "AB\r\nCD");
}

TEST_F(LineModeTest, HandlerThatDoesNotReadIsNotCalledForeverAndGetsTheLineAgain) {
    int calls = 0;
    bool reading = false;
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) {
        ++calls;
        if (reading) events.push_back(socket.ReceiveText());
    };
    Deliver("L1\r\n");
    PumpFor(50);
    EXPECT_EQ(calls, 1);
    reading = true;
    ASSERT_TRUE(peer.Send("L2\r\n"));
    ASSERT_TRUE(EventCount(2));
    EXPECT_EQ(events, (std::vector<std::string>{"L1\r\n", "L2\r\n"}));
}

TEST_F(LineModeTest, RedeliveryWithoutProgressStops) {
    // Line mode on with no complete line held.
    Deliver("abc");
    socket.SetLineMode(false);
    socket.SetLineMode(true);
    PumpFor(50);
    EXPECT_TRUE(events.empty());
    // Raw mode with a handler that does not read.
    int rawCalls = 0;
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) { ++rawCalls; };
    socket.SetLineMode(false);
    PumpFor(50);
    EXPECT_EQ(rawCalls, 1);
    // The held bytes are still there, in order.
    ReadWholeLines();
    socket.SetLineMode(true);
    ASSERT_TRUE(peer.Send("\r\n"));
    ASSERT_TRUE(EventCount(1));
    EXPECT_EQ(events[0], "abc\r\n");
}

TEST_F(LineModeTest, ReceiveWhileNoLineIsOfferedReadsPastHeldBytes) {
    Deliver("held");
    ASSERT_TRUE(peer.Send("fresh"));
    // Without pumping, so the line layer does not take the bytes first.
    char buf[16];
    int n = -1;
    for (int i = 0; i < 1000 && n <= 0; ++i) {
        n = socket.Receive(buf, sizeof buf);
        if (n <= 0) usleep(1000);
    }
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "fresh");
    ASSERT_TRUE(peer.Send("\r\n"));
    ASSERT_TRUE(EventCount(1));
    EXPECT_EQ(events[0], "held\r\n");
}

TEST_F(LineModeTest, HandlerPumpingInsideAnOfferKeepsTheOrder) {
    int depth = 0, deepest = 0;
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) {
        ++depth;
        deepest = std::max(deepest, depth);
        events.push_back(socket.ReceiveText());
        if (events.size() == 1) {
            // More lines arrive while this handler waits in a nested loop.
            const std::int64_t before = socket.ReadCount();
            peer.Send("B\r\nC\r\n");
            PumpUntil([&] { return socket.ReadCount() >= before + 6; });
        }
        --depth;
    };
    ASSERT_TRUE(peer.Send("A\r\n"));
    ASSERT_TRUE(EventCount(3));
    EXPECT_EQ(events, (std::vector<std::string>{"A\r\n", "B\r\n", "C\r\n"}));
    EXPECT_EQ(deepest, 1);
}

TEST_F(LineModeTest, ClosingWhileALineIsOfferedDeliversTheRestOnce) {
    std::vector<std::string> got;
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) {
        if (got.empty()) {
            got.push_back("<unread>");
            socket.Disconnect();  // without reading the offered line
            return;
        }
        got.push_back(socket.ReceiveText());
    };
    socket.OnSessionClosed = [&](TObject*, std::uint16_t) { got.push_back("closed"); };
    ASSERT_TRUE(peer.Send("L1\r\nL2\r\nL3"));
    ASSERT_TRUE(PumpUntil([&] { return got.size() >= 3; }));
    PumpFor(50);
    EXPECT_EQ(got, (std::vector<std::string>{"<unread>", "L1\r\nL2\r\nL3", "closed"}));
    EXPECT_EQ(socket.State(), wsClosed);
}

TEST_F(LineModeTest, ClosingAfterReadingTheLineDoesNotDeliverItTwice) {
    std::vector<std::string> got;
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) {
        got.push_back(socket.ReceiveText());
        if (got.size() == 1) socket.Disconnect();
    };
    socket.OnSessionClosed = [&](TObject*, std::uint16_t) { got.push_back("closed"); };
    ASSERT_TRUE(peer.Send("L1\r\nL2\r\nL3"));
    ASSERT_TRUE(PumpUntil([&] { return got.size() >= 3; }));
    PumpFor(50);
    EXPECT_EQ(got, (std::vector<std::string>{"L1\r\n", "L2\r\nL3", "closed"}));
}

TEST_F(LineModeTest, DestroyingTheSocketInsideTheHandlerStopsDelivery) {
    auto owned = std::make_unique<TWSocket>();
    TWSocket* s = owned.get();
    int calls = 0;
    s->SetLineMode(true);
    s->OnDataAvailable = [&](TObject*, std::uint16_t) {
        ++calls;
        owned.reset();
    };
    ManualPeer other;
    ASSERT_TRUE(other.Listen());
    s->SetAddr("127.0.0.1");
    s->SetPort(std::to_string(other.Port()));
    s->Connect();
    ASSERT_TRUE(PumpUntil([&] { return other.TryAccept() && s->State() == wsConnected; }));
    ASSERT_TRUE(other.Send("one\r\ntwo\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return owned == nullptr; }));
    PumpFor(50);
    EXPECT_EQ(calls, 1);
}

TEST(LineModeAfterSocks, BytesAfterTheProxyReplyAreCutIntoLines) {
    ManualPeer proxy;
    ASSERT_TRUE(proxy.Listen());
    TWSocket s;
    std::vector<std::string> lines;
    s.SetLineMode(true);
    s.OnDataAvailable = [&](TObject*, std::uint16_t) { lines.push_back(s.ReceiveText()); };
    s.SetSocksServer("127.0.0.1");
    s.SetSocksPort(std::to_string(proxy.Port()));
    s.SetAddr("host");
    s.SetPort("21");
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return proxy.TryAccept() && proxy.Received().size() >= 3; }));
    ASSERT_TRUE(proxy.Send("\x05\x00"s));
    ASSERT_TRUE(PumpUntil([&] { return proxy.Received().size() >= 3 + 11; }));
    ASSERT_TRUE(proxy.Send("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x15" "220 one\r\n220 two\r\n220 th"s));
    ASSERT_TRUE(PumpUntil([&] { return lines.size() >= 2; }));
    ASSERT_TRUE(proxy.Send("ree\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return lines.size() >= 3; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"220 one\r\n", "220 two\r\n", "220 three\r\n"}));
}

}  // namespace

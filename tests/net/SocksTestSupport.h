// A socket set up to negotiate with a ManualPeer playing the proxy, for the
// byte-exact SOCKS tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ManualPeer.h"
#include "SocketEventLog.h"
#include "net/WSocket.h"
#include "platform/PumpHelpers.h"

struct ProxyScenario {
    ProxyScenario() {
        EXPECT_TRUE(proxy.Listen());
        log.Attach(socket);
        socket.OnDataAvailable = [this](TObject*, std::uint16_t e) {
            log.Add("DataAvailable", e);
            if (firstRcvdCount < 0) firstRcvdCount = socket.RcvdCount();
            char buf[256];
            int n = socket.Receive(buf, sizeof buf);
            if (n > 0) data.append(buf, static_cast<size_t>(n));
        };
    }

    // Starts Connect through the scripted proxy; true once the proxy holds
    // `firstBytes` bytes of the negotiation.
    bool Connect(const std::string& level, const std::string& addr = "host.example",
                 const std::string& port = "2121", size_t firstBytes = 0) {
        socket.SetSocksServer("127.0.0.1");
        socket.SetSocksPort(std::to_string(proxy.Port()));
        socket.SetSocksLevel(level);
        socket.SetAddr(addr);
        socket.SetPort(port);
        socket.Connect();
        return PumpUntil([&] { return proxy.TryAccept() && proxy.Received().size() >= firstBytes; });
    }

    // Waits until the proxy holds `count` bytes and returns them all.
    std::string ProxyReceived(size_t count) {
        PumpUntil([&] { return proxy.Received().size() >= count; });
        return proxy.Received();
    }

    // Waits until the socket has read `count` bytes in all.
    bool SocketRead(std::int64_t count) {
        return PumpUntil([&] { return socket.ReadCount() >= count; });
    }

    bool WaitFor(const std::string& event) {
        return PumpUntil([&] { return log.Has(event); });
    }

    ManualPeer proxy;
    TWSocket socket;
    SocketEventLog log;
    std::string data;
    int firstRcvdCount = -1;
};

class ScriptedProxyTest : public ::testing::Test, public ProxyScenario {};

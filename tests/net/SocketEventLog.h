// Records a socket's events as short texts, in order, for tests that check
// event sequences ("SessionConnected 0", "State 7", "SocksError 20003 ...").
#pragma once

#include <string>
#include <vector>

#include "net/WSocket.h"

struct SocketEventLog {
    std::vector<std::string> Events;

    // Attaches the recording handlers; OnDataAvailable is left to the test.
    void Attach(TWSocket& s) {
        s.OnSessionConnected = [this](TObject*, std::uint16_t e) { Add("SessionConnected", e); };
        s.OnSessionClosed = [this](TObject*, std::uint16_t e) { Add("SessionClosed", e); };
        s.OnChangeState = [this](TObject*, TSocketState, TSocketState n) {
            if (n == wsClosed) Events.push_back("Closed");
        };
        s.OnSocksConnected = [this](TObject*, std::uint16_t e) { Add("SocksConnected", e); };
        s.OnSocksError = [this](TObject*, std::uint16_t e, const std::string& msg) {
            Events.push_back("SocksError " + std::to_string(e) + " " + msg);
        };
        s.OnSocksAuthState = [this](TObject*, TSocksAuthState a) { Add("AuthState", a); };
    }
    void Add(const char* what, int value) { Events.push_back(std::string(what) + " " + std::to_string(value)); }
    bool Has(const std::string& e) const {
        for (const auto& x : Events)
            if (x == e) return true;
        return false;
    }
};

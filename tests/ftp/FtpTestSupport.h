// What the engine tests share: an engine with its events recorded, bounded
// pumping, and a factory for the two real servers.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "EngineTape.h"
#include "ftp/FtpCli.h"
#include "peers/Peers.h"
#include "platform/PumpHelpers.h"

struct TDone {
    TFtpRequest RqType;
    std::uint16_t Error;
};

// A TFtpClient whose trace, completions and refusals are recorded.
class TRecordedFtp {
public:
    TRecordedFtp() {
        Ftp.Timeout = 10;
        Ftp.OnDisplay = [this](TObject*, std::string& Msg) {
            Trace.push_back(Msg);
            Tape.Display(Msg);
        };
        Ftp.OnStateChange = [this](TObject*) { Tape.State(Ftp.State()); };
        Ftp.OnCommand = [this](TObject*, std::string& Cmd) { Tape.Command(Cmd, Ftp.Connected()); };
        Ftp.OnRequestDone = [this](TObject*, TFtpRequest RqType, std::uint16_t Error) {
            Done.push_back({RqType, Error});
            Tape.Done(RqType, Error);
        };
    }
    ~TRecordedFtp() { Tape.Finish(); }

    // Points the engine at a server on 127.0.0.1 with its user.
    void Target(int port, const std::string& user, const std::string& password) {
        Ftp.HostName = "127.0.0.1";
        Ftp.Port = std::to_string(port);
        Ftp.UserName = user;
        Ftp.PassWord = password;
    }
    void Target(const peers::FtpServerPeer& server) {
        Target(server.Port(), server.User(), server.Password());
    }

    // Pumps until `count` completions arrived (bounded).
    bool WaitDone(size_t count = 1, int ms = 8000) {
        return PumpUntil([&] { return Done.size() >= count; }, ms);
    }
    // Lets posted completions arrive, then checks that exactly one came.
    void ExpectOneDone(TFtpRequest rq, std::uint16_t error) {
        PumpFor(50);
        ASSERT_EQ(Done.size(), 1u);
        EXPECT_EQ(Done[0].RqType, rq);
        EXPECT_EQ(Done[0].Error, error);
        Done.clear();
    }
    bool Traced(const std::string& line) const {
        for (const auto& l : Trace)
            if (l == line) return true;
        return false;
    }

    TFtpClient Ftp;
    std::vector<std::string> Trace;
    std::vector<TDone> Done;
    TEngineTape Tape;
};

enum class TServerKind { Vsftpd, Pyftpdlib };

// The login lines as the server's command record shows them (vsftpd's log
// hides the password).
inline std::vector<std::string> LoginCommands(const peers::FtpServerPeer& server, bool vsftpd) {
    return {"USER " + server.User(), "PASS " + (vsftpd ? "<password>" : server.Password())};
}

inline std::string ServerName(TServerKind kind) {
    return kind == TServerKind::Vsftpd ? "vsftpd" : "pyftpdlib";
}

inline std::unique_ptr<peers::FtpServerPeer> MakeServer(TServerKind kind,
                                                        const std::string& mode = "normal") {
    if (kind == TServerKind::Vsftpd) return std::make_unique<peers::VsftpdServer>();
    peers::PyftpdlibServer::Options options;
    options.Mode = mode;
    return std::make_unique<peers::PyftpdlibServer>(options);
}

// One server of each kind for a whole test suite, started on first use and
// stopped by the suite's TearDownTestSuite (Clear).
class TSuiteServers {
public:
    // nullptr when the server would not start; Error() says why.
    peers::FtpServerPeer* Get(TServerKind kind) {
        auto& server = FServers[kind];
        if (!server) {
            server = MakeServer(kind);
            if (!server->Start()) {
                FError = server->Error();
                server.reset();
                return nullptr;
            }
        }
        return server.get();
    }
    const std::string& Error() const { return FError; }
    void Clear() { FServers.clear(); }

private:
    std::map<TServerKind, std::unique_ptr<peers::FtpServerPeer>> FServers;
    std::string FError;
};

// TCustomFtpCli: the connection type and the SOCKS settings given to the
// engine's sockets.
//
// The engine keeps its own copy of the SOCKS settings and hands them to a
// socket right before that socket connects: a socket forgets its proxy at
// every close, and a connection that silently went direct would bypass the
// proxy the user chose.
#include "ftp/CustomFtpCli.h"

#include <type_traits>

namespace {

bool IsSocksType(TFtpConnectionType Type) {
    return Type == ftpSocks4 || Type == ftpSocks4A || Type == ftpSocks5;
}

struct TSocksSettings {
    std::string Server, Port, Level, UserCode, Password;
    bool UserAuth = false;
};

// The socket layer's SOCKS properties (SocksServer, SocksPort, SocksLevel,
// SocksUsercode, SocksPassword, SocksAuthentication) come with its SOCKS
// negotiation; until a socket class has them it cannot carry a proxy.
template <class S>
concept CarriesSocks = requires(S& s, const std::string& v) {
    s.SetSocksServer(v);
    s.SetSocksPort(v);
    s.SetSocksLevel(v);
};

template <class S>
bool HandTo(S& Socket, const TSocksSettings& X) {
    if constexpr (CarriesSocks<S>) {
        Socket.SetSocksServer(X.Server);
        Socket.SetSocksPort(X.Port);
        Socket.SetSocksLevel(X.Level);
        if constexpr (requires { Socket.SetSocksUsercode(X.UserCode); })
            Socket.SetSocksUsercode(X.UserCode);
        else
            Socket.SocksUsercode = X.UserCode;
        if constexpr (requires { Socket.SetSocksPassword(X.Password); })
            Socket.SetSocksPassword(X.Password);
        else
            Socket.SocksPassword = X.Password;
        // Values in order: no authentication, user code authentication.
        if constexpr (requires { Socket.SocksAuthentication = Socket.SocksAuthentication; }) {
            using TAuth = std::remove_reference_t<decltype(Socket.SocksAuthentication)>;
            Socket.SocksAuthentication = static_cast<TAuth>(X.UserAuth ? 1 : 0);
        } else {
            using TAuth = std::remove_cvref_t<decltype(Socket.SocksAuthentication())>;
            Socket.SetSocksAuthentication(static_cast<TAuth>(X.UserAuth ? 1 : 0));
        }
        return true;
    } else {
        return X.Server.empty();
    }
}

}  // namespace

void TCustomFtpCli::SetConnectionType(TFtpConnectionType Value) {
    if (ControlUp) {
        ReportEngineError("FTP component connected");
        return;
    }
    switch (Value) {
        case ftpProxy:
        case ftpSocks4:
        case ftpSocks4A:
        case ftpSocks5:
            FConnectionType = Value;
            Passive = true;
            break;
        default:
            // Returning to a direct session keeps Passive as it was.
            FConnectionType = ftpDirect;
            break;
    }
}

void TCustomFtpCli::SetSocksServer(const std::string& Value) { FSocksServer = Value; }
void TCustomFtpCli::SetSocksPort(const std::string& Value) { FSocksPort = Value; }
void TCustomFtpCli::SetSocksUserCode(const std::string& Value) { FSocksUserCode = Value; }
void TCustomFtpCli::SetSocksPassword(const std::string& Value) { FSocksPassword = Value; }

bool TCustomFtpCli::HandSocksSettings(TWSocket& Socket) {
    TSocksSettings settings;
    if (IsSocksType(FConnectionType)) {
        settings.Server = FSocksServer;
        settings.Port = FSocksPort;
        settings.Level = FConnectionType == ftpSocks4    ? "4"
                         : FConnectionType == ftpSocks4A ? "4A"
                                                         : "5";
        settings.UserAuth = true;
    } else {
        settings.Level = "5";
    }
    settings.UserCode = FSocksUserCode;
    settings.Password = FSocksPassword;
    return HandTo(Socket, settings);
}

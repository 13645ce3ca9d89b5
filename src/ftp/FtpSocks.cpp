// TCustomFtpCli: the connection type and the SOCKS settings given to the
// engine's sockets.
//
// The engine keeps its own copy of the SOCKS settings and hands them to a
// socket right before that socket connects: a socket forgets its proxy at
// every close, and a connection that silently went direct would bypass the
// proxy the user chose.
#include "ftp/CustomFtpCli.h"

namespace {

bool IsSocksType(TFtpConnectionType Type) {
    return Type == ftpSocks4 || Type == ftpSocks4A || Type == ftpSocks5;
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

void TCustomFtpCli::HandSocksSettings(TWSocket& Socket) {
    if (IsSocksType(FConnectionType)) {
        Socket.SetSocksServer(FSocksServer);
        Socket.SetSocksPort(FSocksPort);
        Socket.SetSocksLevel(FConnectionType == ftpSocks4    ? "4"
                             : FConnectionType == ftpSocks4A ? "4A"
                                                             : "5");
    } else {
        Socket.SetSocksServer("");
        Socket.SetSocksLevel("5");
    }
    Socket.SocksUsercode = FSocksUserCode;
    Socket.SocksPassword = FSocksPassword;
    // A SOCKS session offers user and password authentication; without a user
    // name it offers none, as no proxy would accept an empty name anyway and a
    // proxy without authentication would otherwise refuse every connection.
    Socket.SocksAuthentication = IsSocksType(FConnectionType) && !FSocksUserCode.empty()
                                     ? socksAuthenticateUsercode
                                     : socksNoAuthentication;
}

// TCustomFtpCli: the Port step (PORT or PASV) and opening the data
// connection: accepting the server's connection in active mode, connecting
// to the server in passive mode.
#include "ftp/CustomFtpCli.h"

#include <cstdio>

#include "base/Strings.h"
#include "ftp/FtpParse.h"
#include "net/WSocketResolve.h"

void TCustomFtpCli::PortAsync() {
    if (!EnsureReady()) return;
    if (!ControlUp) {
        ReportEngineError("FTP component not connected");
        return;
    }
    // Whatever the data socket still held goes, with no handler to hear it.
    CloseDataQuietly();
    DataPort = TDataPort::Quiet;
    ForeignDataConnections = 0;
    PasvReplyText.clear();
    std::string cmd;
    try {
        DataSocket->SetProto("tcp");
        DataSocket->SetAddr(ControlIsIpv6() ? "::" : "0.0.0.0");
        DataSocket->SetPort("0");
        if (Passive) {
            cmd = ControlIsIpv6() ? "EPSV" : "PASV";
        } else {
            DataSocket->LingerOnOff = wsLingerOn;
            DataSocket->LingerTimeout = 10;
            // The server may connect as soon as PORT arrives, before the
            // transfer command: the connection is kept until a step takes it.
            DataSocket->OnSessionAvailable = [this](TObject*, std::uint16_t Error) {
                DataSessionAvailable(Error);
            };
            DataSocket->Listen();
            winsock::SOCKADDR_INET listening{};
            int listeningLen = sizeof listening;
            DataSocket->GetLocalSockAddr(listening, listeningLen);
            const int port = winsock::ntohs(listening.Ipv4.sin_port);  // the same place in both families
            if (ControlIsIpv6()) {
                cmd = EprtCommand(port);
            } else {
                winsock::sockaddr_in local{};
                int len = sizeof local;
                ControlSocket->GetLocalSockAddr(local, len);
                winsock::sockaddr_in peer{};
                int peerLen = sizeof peer;
                ControlSocket->GetPeerSockAddr(peer, peerLen);
                const std::uint32_t peerHost = winsock::ntohl(peer.sin_addr.s_addr);
                const std::uint32_t host = winsock::ntohl(local.sin_addr.s_addr);
                char text[64];
                if (peerHost == 0x7F000001)
                    std::snprintf(text, sizeof text, "PORT 127,0,0,1,%d,%d", port / 256, port % 256);
                else
                    std::snprintf(text, sizeof text, "PORT %d,%d,%d,%d,%d,%d", int(host >> 24),
                                  int((host >> 16) & 0xFF), int((host >> 8) & 0xFF), int(host & 0xFF),
                                  port / 256, port % 256);
                cmd = text;
            }
        }
    } catch (Exception& E) {
        // Listening failed: the step ends like a refused reply would.
        OpenStep(ftpPortAsync, stepPort);
        FErrorMessage.clear();
        FLastReplyLine = ExceptionLine(550, E);
        FailRequest(550, FLastReplyLine);
        return;
    }
    FByteCount = 0;
    IssueCommand(ftpPortAsync, stepPort, cmd, {200, 227, 229},
                 cmd == "PASV" ? &TCustomFtpCli::PasvReplied : nullptr);
}

void TCustomFtpCli::DataSessionAvailable(std::uint16_t Error) {
    if (DataPort != TDataPort::Awaited) {
        DataPort = TDataPort::Arrived;
        return;
    }
    DataPort = TDataPort::Quiet;
    AcceptForStep(Error);
}

void TCustomFtpCli::AwaitDataConnection() {
    if (DataPort != TDataPort::Arrived) {
        DataPort = TDataPort::Awaited;
        return;
    }
    DataPort = TDataPort::Quiet;
    AcceptForStep(0);
}

void TCustomFtpCli::AcceptForStep(std::uint16_t Error) {
    if (LastStep == stepPut || LastStep == stepAppend)
        SendAccepted(Error);
    else
        ReceiveAccepted(Error);
}

void TCustomFtpCli::SetDataHandlers(TDataEventProc Closed, TDataEventProc Available,
                                    TDataEventProc Sent) {
    auto bind = [this](TDataEventProc Proc) -> std::function<void(TObject*, std::uint16_t)> {
        if (!Proc) return nullptr;
        return [this, Proc](TObject*, std::uint16_t Error) { (this->*Proc)(Error); };
    };
    DataSocket->OnSessionClosed = bind(Closed);
    DataSocket->OnDataAvailable = bind(Available);
    DataSocket->OnDataSent = bind(Sent);
}

void TCustomFtpCli::CloseDataQuietly() {
    SetDataHandlers(nullptr, nullptr, nullptr);
    DataSocket->OnSessionAvailable = nullptr;
    DataSocket->OnSessionConnected = nullptr;
    if (DataSocket->State() != wsClosed) DataSocket->Disconnect();
}

bool TCustomFtpCli::FromControlPeer(winsock::SOCKET Accepted, std::string& PeerText) {
    winsock::SOCKADDR_INET peer{};
    int peerLen = sizeof peer;
    winsock::SOCKADDR_INET server{};
    int serverLen = sizeof server;
    if (winsock::getpeername(Accepted, reinterpret_cast<winsock::sockaddr*>(&peer), &peerLen) ==
            winsock::SOCKET_ERROR ||
        ControlSocket->GetPeerSockAddr(server, serverLen) == winsock::SOCKET_ERROR) {
        PeerText = "an unknown address";
        return false;
    }
    PeerText = WSocketAddrText(peer);
    return PeerText == WSocketAddrText(server);
}

bool TCustomFtpCli::AcceptDataConnection(TDataEventProc Closed, TDataEventProc Available,
                                         TDataEventProc Sent) {
    winsock::SOCKET accepted = winsock::INVALID_SOCKET;
    try {
        accepted = DataSocket->Accept();
        std::string peer;
        if (!FromControlPeer(accepted, peer)) {
            // Anyone may connect to a listening port; only the server's
            // connection carries the file.
            winsock::closesocket(accepted);
            ++ForeignDataConnections;
            FireDisplay("! Data connection from " + peer + " closed: not the server's address (" +
                        IntToStr(ForeignDataConnections) + " so far)");
            DataPort = TDataPort::Awaited;
            return false;
        }
        platform::KillTimer(FWindowHandle, FTP_DATA_WAIT_TIMER);
        // The listener goes quietly: no handler hears its close.
        CloseDataQuietly();
        SetDataHandlers(Closed, Available, Sent);
        DataSocket->Dup(accepted);
        StartDataTls();
    } catch (Exception& E) {
        if (accepted != winsock::INVALID_SOCKET && DataSocket->HSocket() != accepted)
            winsock::closesocket(accepted);
        FailDataConnection(550, ExceptionLine(550, E));
        return false;
    }
    return true;
}

bool TCustomFtpCli::ConnectPassiveData(TDataEventProc Connected, int FailCode) {
    int port = 0;
    if (!PassiveDataPort(PasvReplyText, port)) {
        FailDataStep(550, "550 Invalid passive mode reply: " +
                              (PasvReplyText.empty() ? std::string("none") : PasvReplyText));
        return false;
    }
    try {
        DataSocket->SetPort(IntToStr(port));
        DataSocket->SetAddr(ControlSocket->Addr());
        DataSocket->SetLocalAddr(LocalAddr);
        DataSocket->OnSessionConnected = [this, Connected](TObject*, std::uint16_t Error) {
            if (Error == 0) StartDataTls();
            (this->*Connected)(Error);
        };
        DataSocket->LingerOnOff = wsLingerOff;
        DataSocket->LingerTimeout = 0;
        HandSocksSettings(*DataSocket);
        DataSocket->Connect();
    } catch (Exception& E) {
        FailDataStep(FailCode, ExceptionLine(FailCode, E));
        return false;
    }
    return true;
}

void TCustomFtpCli::AwaitDataArrival() {
    if (Passive || DataPort != TDataPort::Awaited || !CanFallBackToPassive()) return;
    platform::SetTimer(FWindowHandle, FTP_DATA_WAIT_TIMER, DataArrivalWaitMs, false);
}

void TCustomFtpCli::DataArrivalTimedOut() {
    platform::KillTimer(FWindowHandle, FTP_DATA_WAIT_TIMER);
    if (!TransferRunning() || DataPort != TDataPort::Awaited || !CanFallBackToPassive()) return;
    const std::string line = "425 No data connection from the server " +
                             IntToStr(DataArrivalWaitMs / 1000) + " seconds after the transfer command";
    FireDisplay("! " + line);
    RecordTransferFailure(425, line);
    DataPort = TDataPort::Quiet;
    CloseDataQuietly();
    ReleaseLocalFile();
    // The server may still owe the transfer command's end, and may answer
    // ABOR or not: NOOP's answer is the one reply known to come last.
    ReplyHandler = &TCustomFtpCli::AbortFenceReply;
    SendCommand("ABOR");
    SendCommand("NOOP");
    platform::SetTimer(FWindowHandle, FTP_FENCE_TIMER, AbortFenceWaitMs, false);
}

void TCustomFtpCli::AbortFenceReply() {
    TraceLastReply();
    if (FReplyCode != 200) return;
    platform::KillTimer(FWindowHandle, FTP_FENCE_TIMER);
    FailDataStep(425, FErrorMessage);
}

void TCustomFtpCli::AbortFenceTimedOut() {
    platform::KillTimer(FWindowHandle, FTP_FENCE_TIMER);
    if (ReplyHandler != &TCustomFtpCli::AbortFenceReply || !TransferRunning() || FState == fesAborting)
        return;
    ReopenForPassive();
}

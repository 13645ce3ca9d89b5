// TCustomSocksWSocket: the SOCKS 4/4A/5 client negotiation.
#include "net/SocksWSocket.h"

#include <algorithm>
#include <cstring>

#include "base/ExceptionClass.h"
#include "base/Strings.h"
#include "net/WSocketResolve.h"

using namespace winsock;

namespace {
const std::string kDefaultSocksLevel = "5";

// The longest request and authentication that fit the 128-byte layout.
constexpr size_t kSocks5MaxHost = 121;      // 05 01 00 03 len host port
constexpr size_t kSocks5MaxUserPass = 125;  // 01 len user len password
constexpr size_t kSocks4MaxRequest = 128;   // 04 01 port addr user 00 [host 00]

std::string CheckSocksAuthSize(const std::string& User, const std::string& Password) {
    if (User.size() + Password.size() > kSocks5MaxUserPass)
        return "SOCKS 5 authentication too long: user name and password take more than 125 bytes "
               "together";
    return {};
}

void AppendPort(std::string& Bytes, int Port) {
    Bytes += static_cast<char>((Port >> 8) & 0xFF);
    Bytes += static_cast<char>(Port & 0xFF);
}
}  // namespace

// ---- properties ----

void TCustomSocksWSocket::SetSocksServer(const std::string& Value) {
    if (FState != wsClosed) {
        RaiseError("Can't change socks server if not closed");
        return;
    }
    FSocksServer = Trim(Value);
    FSocksServerAssigned = !FSocksServer.empty();
    // The connection address is now the proxy's or the destination's again.
    FAddrResolved = false;
}

void TCustomSocksWSocket::SetSocksPort(const std::string& Value) {
    if (FState != wsClosed) {
        RaiseError("Can't change socks port if not closed");
        return;
    }
    FSocksPort = Trim(Value);
    FPortResolved = false;
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& Value) {
    if (FState != wsClosed) {
        RaiseError("Can't change socks level if not closed");
        return;
    }
    if (Value != "4" && Value != "5" && Value != "4A" && Value != "4a") {
        RaiseError("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    FSocksLevel = UpperCase(Value);
}

void TCustomSocksWSocket::ResetToDefaults() {
    TCustomWSocket::ResetToDefaults();
    FSocksPhase = socksIdle;
    FSocksServer.clear();
    FSocksServerAssigned = false;
    FSocksPort.clear();
    FSocksLevel = kDefaultSocksLevel;
    SocksRcvCnt = 0;
    SocksLeftover = {};
}

// ---- connecting ----

std::string TCustomSocksWSocket::CheckSocksRequestSize() const {
    if (FSocksLevel == "4") {
        if (9 + SocksUsercode.size() > kSocks4MaxRequest)
            return "SOCKS 4 request too long: the user id takes more than 119 bytes";
    } else if (FSocksLevel == "4A") {
        if (10 + SocksUsercode.size() + FAddrStr.size() > kSocks4MaxRequest)
            return "SOCKS 4A request too long: user id and host name take more than 118 bytes together";
    } else if (FAddrStr.size() > kSocks5MaxHost) {
        return "SOCKS 5 request too long: the host name takes more than 121 bytes";
    }
    return {};
}

void TCustomSocksWSocket::Connect() {
    // A socket in use or a missing destination: the core refuses by itself,
    // before anything of the proxy's is resolved.
    if (!FSocksServerAssigned || (FHSocket != INVALID_SOCKET && FState != wsClosed) ||
        !FPortAssigned || !FAddrAssigned) {
        TCustomWSocket::Connect();
        return;
    }
    if (LowerCase(FProtoStr) != "tcp") {
        RaiseError("tcp is the only protocol supported thru socks server");
        return;
    }
    if (FSocksLevel == "4" && WSocketIsIpv6Addr(FAddrStr)) {
        RaiseError("SOCKS 4 cannot reach the IPv6 address " + FAddrStr + ": use SOCKS 4A or 5");
        return;
    }
    std::string tooLong = CheckSocksRequestSize();
    if (tooLong.empty() && FSocksLevel == "5" && SocksAuthentication == socksAuthenticateUsercode)
        tooLong = CheckSocksAuthSize(SocksUsercode, SocksPassword);
    if (!tooLong.empty()) {
        RaiseError(tooLong);
        return;
    }
    try {
        if (!FPortResolved) {
            FPortNum = WSocketResolvePort(FSocksPort, FProtoStr);
            FPortResolved = true;
        }
        if (!FAddrResolved) {
            FSin = WSocketResolveHostAll(FSocksServer).front();
            FAddrFormat = FSin.si_family;
            FAddrResolved = true;
        }
        // Both families keep the port at the same place.
        FSin.Ipv4.sin_port = htons(static_cast<u_short>(FPortNum));
        // The destination's other addresses are the proxy's business.
        FConnectAddrs.clear();
        FSocksDestPort = WSocketResolvePort(FPortStr, FProtoStr);
        FSocksPhase = socksGreeting;
        SocksRcvCnt = 0;
    } catch (const Exception& E) {
        RaiseError("connect: " + E.Message());
        return;
    }
    TCustomWSocket::Connect();
}

void TCustomSocksWSocket::Listen() {
    if (FSocksServerAssigned) {
        RaiseError("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

// ---- negotiation ----

void TCustomSocksWSocket::DoSessionConnected(std::uint16_t Error) {
    if (FSocksPhase != socksGreeting) {
        TCustomWSocket::DoSessionConnected(Error);
        return;
    }
    TLifeToken alive = LifeToken();
    DoSocksConnected(Error);
    if (!alive) return;
    if (Error != 0) {
        TCustomWSocket::DoSessionConnected(Error);  // the core closes the socket next
        return;
    }
    if (FSocksLevel[0] == '4') SendSocksRequest();
    else SendSocksGreeting();
}

void TCustomSocksWSocket::SendSocksBytes(const std::string& Bytes) {
    // A handler may have closed the socket meanwhile.
    if (FState != wsConnected) return;
    try {
        Send(Bytes.data(), static_cast<int>(Bytes.size()));
    } catch (const Exception&) {
        // A failed send reports and closes through the core.
    }
}

void TCustomSocksWSocket::SendSocksGreeting() {
    FSocksAuthMethod = SocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
    SendSocksBytes(std::string{'\x05', '\x01', static_cast<char>(FSocksAuthMethod)});
}

void TCustomSocksWSocket::SendSocksAuth() {
    FSocksPhase = socksAuthenticating;
    TLifeToken alive = LifeToken();
    DoSocksAuthState(socksAuthBegin);
    if (!alive) return;
    // The credentials may have been changed since Connect checked them.
    if (std::string tooLong = CheckSocksAuthSize(SocksUsercode, SocksPassword); !tooLong.empty()) {
        FailSocks(20001, tooLong);
        return;
    }
    std::string bytes{'\x01'};
    bytes += static_cast<char>(SocksUsercode.size());
    bytes += SocksUsercode;
    bytes += static_cast<char>(SocksPassword.size());
    bytes += SocksPassword;
    SendSocksBytes(bytes);
}

void TCustomSocksWSocket::SendSocksRequest() {
    FSocksPhase = socksRequesting;
    if (std::string tooLong = CheckSocksRequestSize(); !tooLong.empty()) {
        FailSocks(20001, tooLong);
        return;
    }
    std::string bytes;
    if (FSocksLevel[0] == '4') {
        bytes = {'\x04', '\x01'};
        AppendPort(bytes, FSocksDestPort);
        if (FSocksLevel == "4A") {
            bytes += std::string{'\0', '\0', '\0', '\x01'};  // the proxy resolves the name
        } else {
            std::uint32_t addr;  // network order
            try {
                addr = WSocketResolveHost(FAddrStr);
            } catch (const Exception& E) {
                FailSocks(20017, ExceptionClassName(E) + " " + E.Message());
                return;
            }
            bytes.append(reinterpret_cast<const char*>(&addr), sizeof addr);
        }
        bytes += SocksUsercode;
        bytes += '\0';
        if (FSocksLevel == "4A") {
            bytes += FAddrStr;
            bytes += '\0';
        }
    } else if (in6_addr addr6; inet_pton(AF_INET6, FAddrStr.c_str(), &addr6) == 1) {
        // An IPv6 address goes as one (address type 4): a proxy need not take it for a name.
        bytes = {'\x05', '\x01', '\0', '\x04'};
        bytes.append(reinterpret_cast<const char*>(addr6.s6_addr), sizeof addr6.s6_addr);
        AppendPort(bytes, FSocksDestPort);
    } else {
        bytes = {'\x05', '\x01', '\0', '\x03', static_cast<char>(FAddrStr.size())};
        bytes += FAddrStr;
        AppendPort(bytes, FSocksDestPort);
    }
    SendSocksBytes(bytes);
}

bool TCustomSocksWSocket::ReadSocksReply(int Limit) {
    int room = Limit - SocksRcvCnt;
    if (room <= 0) return false;
    int n = Receive(SocksRcvBuf + SocksRcvCnt, room);
    if (n <= 0) return false;
    SocksRcvCnt += n;
    return true;
}

bool TCustomSocksWSocket::DoDataAvailable(std::uint16_t Error) {
    if (FSocksPhase == socksIdle) return TCustomWSocket::DoDataAvailable(Error);
    if (Error != 0) {
        FailSocks(Error, "data receive error");
        return false;
    }
    switch (FSocksPhase) {
    case socksGreeting:
        if (ReadSocksReply(kSocksBufSize - 1)) HandleGreetingReply();
        return true;
    case socksAuthenticating:
        if (ReadSocksReply(kSocksBufSize - 1)) HandleAuthReply();
        return true;
    case socksRequesting:
        if (FSocksLevel[0] == '4') return !ReadSocksReply(8) || HandleSocks4Reply();
        return !ReadSocksReply(kSocksBufSize - 1) || HandleSocks5Reply();
    default:
        FailSocks(20013, "internal error");
        return false;
    }
}

void TCustomSocksWSocket::HandleGreetingReply() {
    if (FSocksLevel[0] == '4') {
        FailSocks(20001, "TWSocket logic error");
        return;
    }
    if (SocksRcvCnt < 2) return;
    SocksRcvCnt = 0;
    if (SocksRcvBuf[0] != 0x05) {
        FailSocks(20002, "socks version error");
        return;
    }
    switch (SocksRcvBuf[1]) {
    case 0x00:
        if (FSocksAuthMethod == 2) {
            TLifeToken alive = LifeToken();
            DoSocksAuthState(socksAuthNotNeeded);
            if (!alive) return;
        }
        SendSocksRequest();
        break;
    case 0x02: SendSocksAuth(); break;
    default: FailSocks(20003, "authentification method not acceptable"); break;
    }
}

void TCustomSocksWSocket::HandleAuthReply() {
    if (SocksRcvBuf[0] != 0x01) {
        FailSocks(20002, "socks version error");
        return;
    }
    if (SocksRcvCnt > 2) {
        FailSocks(20001, "too much data availaible");
        return;
    }
    if (SocksRcvCnt < 2) return;
    if (SocksRcvBuf[1] != 0x00) {
        FailSocks(20015, "socks authentication failed");
        return;
    }
    SocksRcvCnt = 0;
    TLifeToken alive = LifeToken();
    DoSocksAuthState(socksAuthSucceeded);
    if (!alive) return;
    SendSocksRequest();
}

bool TCustomSocksWSocket::HandleSocks4Reply() {
    if (SocksRcvCnt < 8) return true;
    SocksRcvCnt = 0;
    if (SocksRcvBuf[0] != 0x00) {
        FailSocks(20002, "socks version error");
        return true;
    }
    switch (const int code = SocksRcvBuf[1]) {
    case 90: return SocksConnected();
    case 91: FailSocks(20016, "request rejected or failed"); break;
    case 92: FailSocks(20008, "connection refused"); break;
    case 93: FailSocks(20015, "authentification failed"); break;
    default: FailSocks(20012, "unassigned error #" + std::to_string(code)); break;
    }
    return true;
}

bool TCustomSocksWSocket::HandleSocks5Reply() {
    if (SocksRcvBuf[0] != 0x05) {
        FailSocks(20002, "socks version error");
        return true;
    }
    if (SocksRcvCnt < 2) return true;
    if (const int rep = SocksRcvBuf[1]; rep != 0) {
        static const char* const kReplyTexts[] = {
            "general SOCKS server failure", "connection not allowed by ruleset",
            "network unreachable",          "host unreachable",
            "connection refused",           "time to live expired",
            "command not supported",        "address type not supported",
        };
        if (rep <= 8) FailSocks(static_cast<std::uint16_t>(20003 + rep), kReplyTexts[rep - 1]);
        else FailSocks(20012, "unassigned error #" + std::to_string(rep));
        return true;
    }
    if (SocksRcvCnt < 5) return true;
    const int addressType = SocksRcvBuf[3];
    // IPv4 4 bytes, a name of the length in byte 4, IPv6 16 bytes; then the port.
    const int length = addressType == 1   ? 10
                       : addressType == 3 ? SocksRcvBuf[4] + 7
                       : addressType == 4 ? 22
                                          : 5;
    if (length > kSocksBufSize - 1) {
        // A bound name over 120 bytes cannot be held; never read past the buffer.
        FailSocks(20001, "too much data availaible");
        return true;
    }
    if (SocksRcvCnt < length) return true;
    if (addressType != 1 && addressType != 3 && addressType != 4) {
        FailSocks(20011, "address type not supported");
        return true;
    }
    SocksLeftover.Pos = length;
    SocksLeftover.Count = SocksRcvCnt - length;
    SocksRcvCnt = 0;
    return SocksConnected();
}

bool TCustomSocksWSocket::SocksConnected() {
    FSocksPhase = socksIdle;
    TLifeToken alive = LifeToken();
    // The leftover is already in place, so a handler reading in
    // OnSessionConnected gets the bytes in their order.
    DoSessionConnected(0);
    if (!alive || FHSocket == INVALID_SOCKET) return true;
    // Offered until read: the platform will not announce these bytes again.
    for (;;) {
        const int before = SocksLeftover.Count;
        const bool handled = DoDataAvailable(0);
        if (!alive) return true;
        if (!handled) return false;
        if (SocksLeftover.Count == 0 || SocksLeftover.Count == before || FHSocket == INVALID_SOCKET) return true;
    }
}

void TCustomSocksWSocket::FailSocks(std::uint16_t Error, const std::string& Msg) {
    TLifeToken alive = LifeToken();
    DoSocksError(Error, Msg);
    if (!alive) return;
    FSocksPhase = socksIdle;
    DoSessionConnected(Error);
    if (!alive) return;
    DisconnectInternal(true, Error);
}

void TCustomSocksWSocket::DoSessionClosed(std::uint16_t Error) {
    if (FSocksPhase == socksAuthenticating) {
        TLifeToken alive = LifeToken();
        DoSocksAuthState(socksAuthFailed);
        if (!alive) return;
    }
    TCustomWSocket::DoSessionClosed(Error);
}

// ---- receiving ----

int TCustomSocksWSocket::RcvdCount() {
    if (SocksLeftover.Count > 0) return SocksLeftover.Count;
    return TCustomWSocket::RcvdCount();
}

int TCustomSocksWSocket::RawReceive(void* Buffer, int BufferSize) {
    if (SocksLeftover.Count <= 0) return TCustomWSocket::RawReceive(Buffer, BufferSize);
    const int n = std::clamp(BufferSize, 0, SocksLeftover.Count);
    std::memcpy(Buffer, SocksRcvBuf + SocksLeftover.Pos, static_cast<size_t>(n));
    SocksLeftover.Pos += n;
    SocksLeftover.Count -= n;
    return n;
}

// ---- events ----

void TCustomSocksWSocket::DoSocksConnected(std::uint16_t Error) {
    if (OnSocksConnected) OnSocksConnected(this, Error);
}

void TCustomSocksWSocket::DoSocksError(std::uint16_t Error, const std::string& Msg) {
    if (OnSocksError) OnSocksError(this, Error, Msg);
}

void TCustomSocksWSocket::DoSocksAuthState(TSocksAuthState AuthState) {
    if (OnSocksAuthState) OnSocksAuthState(this, AuthState);
}

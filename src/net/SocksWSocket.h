// TCustomSocksWSocket: reaching the destination through a SOCKS 4, 4A or 5
// proxy, with user-name/password authentication (RFC 1929) for SOCKS 5.
//
// Contract:
//  - Without SocksServer the class adds nothing.
//  - With SocksServer, Connect opens the TCP connection to SocksServer:SocksPort
//    and negotiates a CONNECT to Addr:Port. The application's
//    OnSessionConnected fires only when the proxy has answered: with 0 on
//    success, or with the SOCKS error code (20001-20017, or the platform error
//    of a failed read) after OnSocksError; a failure then closes the
//    connection and OnSessionClosed carries the same code.
//  - Bytes the proxy sent after its final reply are handed out first by
//    RcvdCount/Receive, before anything is read from the platform.
//  - Every request must fit the 128-byte negotiation layout: Connect refuses
//    (through RaiseError) a SOCKS 4/4A user id and host name that together
//    exceed it, a SOCKS 5 host name over 121 bytes and, when authentication is
//    offered, a user name and password over 125 bytes together; a proxy reply
//    that would not fit fails the negotiation with 20001.
//  - Every close clears SocksServer, SocksPort and SocksLevel: they are given
//    again before every Connect. SocksUsercode, SocksPassword and
//    SocksAuthentication stay.
//  - Thread: the socket's own thread, inside its notifications.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/CustomWSocket.h"

enum TSocksPhase : std::uint8_t { socksIdle, socksGreeting, socksAuthenticating, socksRequesting };
enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthBegin, socksAuthSucceeded, socksAuthFailed, socksAuthNotNeeded };

using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;
using TSocksErrorEvent =
    std::function<void(TObject* Sender, std::uint16_t Error, const std::string& Msg)>;

class TCustomSocksWSocket : public TCustomWSocket {
public:
    explicit TCustomSocksWSocket(TComponent* AOwner = nullptr) : TCustomWSocket(AOwner) {}

    void Connect() override;
    void Listen() override;
    int RcvdCount() override;

    const std::string& SocksServer() const { return FSocksServer; }
    virtual void SetSocksServer(const std::string& Value);
    const std::string& SocksPort() const { return FSocksPort; }
    virtual void SetSocksPort(const std::string& Value);
    const std::string& SocksLevel() const { return FSocksLevel; }
    void SetSocksLevel(const std::string& Value);
    TSocksPhase SocksPhase() const { return FSocksPhase; }

    std::string SocksUsercode;  // SOCKS 4 user id, SOCKS 5 user name
    std::string SocksPassword;  // SOCKS 5
    TSocksAuthentication SocksAuthentication = socksNoAuthentication;

    TSocksErrorEvent OnSocksError;
    TSessionConnected OnSocksConnected;
    TSocksAuthStateEvent OnSocksAuthState;

protected:
    virtual void DoSocksConnected(std::uint16_t Error);
    virtual void DoSocksError(std::uint16_t Error, const std::string& Msg);
    virtual void DoSocksAuthState(TSocksAuthState AuthState);

    void ResetToDefaults() override;
    void DoSessionConnected(std::uint16_t Error) override;
    bool DoDataAvailable(std::uint16_t Error) override;
    void DoSessionClosed(std::uint16_t Error) override;
    int RawReceive(void* Buffer, int BufferSize) override;

private:
    static constexpr int kSocksBufSize = 128;

    // The text of the refusal when the negotiation would not fit the buffer
    // layout; empty when it fits.
    std::string CheckSocksRequestSize() const;
    void SendSocksGreeting();
    void SendSocksAuth();
    void SendSocksRequest();
    // Sends negotiation bytes; a refused send has reported (and closed) by itself.
    void SendSocksBytes(const std::string& Bytes);
    // Reads into SocksRcvBuf up to Limit bytes held; false when nothing came.
    bool ReadSocksReply(int Limit);
    void HandleGreetingReply();
    void HandleAuthReply();
    bool HandleSocks4Reply();
    bool HandleSocks5Reply();
    // The negotiation succeeded: the application gets OnSessionConnected and
    // is offered what may already be waiting.
    bool SocksConnected();
    void FailSocks(std::uint16_t Error, const std::string& Msg);

    TSocksPhase FSocksPhase = socksIdle;
    std::string FSocksServer;
    std::string FSocksLevel = "5";
    std::string FSocksPort;
    bool FSocksServerAssigned = false;
    std::uint8_t FSocksAuthMethod = 0;  // offered in the greeting: 0 none, 2 user/password
    int FSocksDestPort = 0;             // host order
    unsigned char SocksRcvBuf[kSocksBufSize] = {};
    int SocksRcvCnt = 0;
    // Bytes received after the final reply: how many, and where in SocksRcvBuf.
    struct {
        int Count = 0;
        int Pos = 0;
    } SocksLeftover;
};

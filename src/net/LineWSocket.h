// TCustomLineWSocket: optional line mode of the socket chain.
//
// Contract:
//  - With LineMode on (and a non-empty LineEnd), received bytes are held in
//    LineBuffer and OnDataAvailable fires once per complete line, terminator
//    included, with error 0; RcvdCount is the unread length of that line and
//    Receive/ReceiveText read from it, so a handler may take a line in
//    pieces. A Receive made while no line is offered reads the platform,
//    past the held bytes.
//  - A handler that reads nothing of its line is not called again for it:
//    the line stays held and is offered again at the next reception.
//  - LineEcho sends every received byte back; LineEdit applies backspace and
//    tab editing first. LineLimit bounds an incomplete line
//    (OnLineLimitExceeded; with ClearData left true the held bytes go).
//  - LineMode may change at any time, also inside a handler: the held bytes
//    are then delivered in the new mode from the message loop
//    (WM_LINE_REDELIVER). With line mode off, held bytes are read before
//    anything from the platform.
//  - At every session close the held bytes are delivered (as a last line in
//    line mode) before OnSessionClosed, and the buffer is freed. A handler
//    may close the socket while a line is offered.
//  - Thread: the socket's own thread, inside its notifications.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/SslWSocket.h"

using TLineLimitEvent = std::function<void(TObject* Sender, int RcvdLength, bool& ClearData)>;

class TCustomLineWSocket : public TCustomSslWSocket {
public:
    explicit TCustomLineWSocket(TComponent* AOwner = nullptr) : TCustomSslWSocket(AOwner) {}

    int RcvdCount() override;

    bool LineMode() const { return FLineMode; }
    virtual void SetLineMode(bool Value);

    std::string LineEnd = "\r\n";  // empty: behaves as with line mode off
    int LineLimit = 65536;         // 0 or less: no limit
    bool LineEcho = false;
    bool LineEdit = false;
    TLineLimitEvent OnLineLimitExceeded;

protected:
    virtual void DoLineLimitExceeded(int RcvdLength, bool& ClearData);
    // Edits the NewCount bytes just received after the held ones (backspace
    // and tab) and appends what has to be echoed to Echo. A backspace may
    // reach back into held bytes: LineRcvCnt then drops, and NewCount becomes
    // the count from there to the end of the edited bytes.
    virtual void ApplyLineEdit(int& NewCount, std::string& Echo);

    platform::LRESULT HandleSocketMessage(platform::UINT Msg, platform::WPARAM WParam,
                                          platform::LPARAM LParam) override;
    int RawReceive(void* Buffer, int BufferSize) override;
    bool DoDataAvailable(std::uint16_t Error) override;
    void DoSessionClosed(std::uint16_t Error) override;

private:
    // Marks a line offer under way; restores the state when the offer ends,
    // also through an exception of the handler.
    class TOfferScope;

    bool LinesOn() const { return FLineMode && !LineEnd.empty(); }
    char* HeldBytes() { return LineBuffer.data() + FLineHead; }
    // Drops Count bytes from the front of the held bytes.
    void Consume(int Count);
    // Moves the held bytes to the front of the buffer.
    void Compact();
    // Length of the first complete line (terminator included) whose
    // terminator starts at or after SearchStart; -1 when there is none.
    int FindLineEnd(int SearchStart) const;
    // Offers every complete held line; false when the object was destroyed
    // or a close freed the buffer meanwhile.
    bool DeliverLines(int SearchStart);
    void CheckLineLimit();
    void RedeliverHeldBytes();
    void DeliverLastBytes();
    void FreeLineBuffer();

    std::vector<char> LineBuffer;  // allocated size = size()
    int FLineHead = 0;             // bytes at the front already read
    int LineRcvCnt = 0;            // bytes held, from FLineHead on
    bool FLineMode = false;
    int LineLength = 0;            // unread bytes of the line now offered; 0 = none
    bool FClearData = false;
    bool FLineStalled = false;     // the front line was offered but not read
    bool FDelivering = false;      // a line is being offered
    bool FRedeliverPending = false;
    std::uint64_t FBufferGeneration = 0;  // bumped whenever the buffer is freed
};

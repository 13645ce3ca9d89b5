// TCustomLineWSocket: cutting received data into lines, echo and editing.
#include "net/LineWSocket.h"

#include <algorithm>
#include <cstring>

using namespace winsock;

class TCustomLineWSocket::TOfferScope {
public:
    explicit TOfferScope(TCustomLineWSocket& Socket)
        : FSocket(Socket), FAlive(Socket.LifeToken()), FWasDelivering(Socket.FDelivering) {
        Socket.FDelivering = true;
    }
    ~TOfferScope() {
        if (!FAlive) return;
        FSocket.FDelivering = FWasDelivering;
        // A handler that raised left its line unread: offer it again later.
        if (FSocket.LineLength > 0) {
            FSocket.LineLength = 0;
            FSocket.FLineStalled = true;
        }
        // A redelivery that arrived during the offer could not run inside it.
        if (!FWasDelivering && FSocket.FRedeliverPending) {
            FSocket.FRedeliverPending = false;
            if (FSocket.LineRcvCnt > 0)
                platform::PostMessage(FSocket.FWindowHandle, WM_LINE_REDELIVER, 0, 0);
        }
    }
    TOfferScope(const TOfferScope&) = delete;
    TOfferScope& operator=(const TOfferScope&) = delete;

private:
    TCustomLineWSocket& FSocket;
    TLifeToken FAlive;
    bool FWasDelivering;
};

// ---- properties and reading ----

void TCustomLineWSocket::SetLineMode(bool Value) {
    if (Value == FLineMode) return;
    FLineMode = Value;
    if (LineRcvCnt > 0 || LineLength > 0)
        platform::PostMessage(FWindowHandle, WM_LINE_REDELIVER, 0, 0);
}

int TCustomLineWSocket::RcvdCount() {
    if (LinesOn()) return LineLength;
    // Held bytes are what Receive returns first.
    if (LineRcvCnt > 0) return LineRcvCnt;
    return TCustomSslWSocket::RcvdCount();
}

int TCustomLineWSocket::RawReceive(void* Buffer, int BufferSize) {
    const int available = LinesOn() ? LineLength : LineRcvCnt;
    if (available <= 0) return TCustomSslWSocket::RawReceive(Buffer, BufferSize);
    const int n = std::clamp(BufferSize, 0, available);
    std::memcpy(Buffer, HeldBytes(), static_cast<size_t>(n));
    Consume(n);
    // Raw reads after a switch inside the handler also take from the offered line.
    LineLength = std::max(0, LineLength - n);
    return n;
}

void TCustomLineWSocket::Consume(int Count) {
    FLineHead += Count;
    LineRcvCnt -= Count;
    if (LineRcvCnt == 0) FLineHead = 0;
}

void TCustomLineWSocket::Compact() {
    if (FLineHead == 0) return;
    std::memmove(LineBuffer.data(), HeldBytes(), static_cast<size_t>(LineRcvCnt));
    FLineHead = 0;
}

void TCustomLineWSocket::FreeLineBuffer() {
    std::vector<char>().swap(LineBuffer);
    FLineHead = 0;
    LineRcvCnt = 0;
    LineLength = 0;
    FLineStalled = false;
    ++FBufferGeneration;
}

// ---- receiving in line mode ----

bool TCustomLineWSocket::DoDataAvailable(std::uint16_t Error) {
    if (!LinesOn() || SocksPhase() != socksIdle || SslPhase() == sslHandshaking)
        return TCustomSslWSocket::DoDataAvailable(Error);

    int count = TCustomSslWSocket::RcvdCount();
    if (count < 0) return true;
    if (count == 0) count = 255;
    Compact();
    if (static_cast<int>(LineBuffer.size()) < LineRcvCnt + count)
        LineBuffer.resize(static_cast<size_t>(LineRcvCnt + count));
    // Receive's work, but straight from the platform (or the SOCKS
    // leftover): an offered line must not be read into the buffer it lives in.
    const int n = TCustomSslWSocket::RawReceive(HeldBytes() + LineRcvCnt, count);
    if (n < 0) FLastError = WSAGetLastError();
    if (n <= 0) return true;
    FReadCount += n;

    int newCount = n;
    std::string echo;
    if (LineEdit) ApplyLineEdit(newCount, echo);
    else if (LineEcho) echo.assign(HeldBytes() + LineRcvCnt, static_cast<size_t>(n));
    const int searchStart =
        FLineStalled ? 0 : std::max(0, LineRcvCnt - static_cast<int>(LineEnd.size()));
    FLineStalled = false;
    LineRcvCnt += newCount;

    TLifeToken alive = LifeToken();
    const std::uint64_t generation = FBufferGeneration;
    if (!echo.empty()) {
        try {
            Send(echo.data(), static_cast<int>(echo.size()));
        } catch (const Exception&) {
            // Reported by the core; the lines received are still delivered.
        }
        if (!alive || generation != FBufferGeneration) return true;
    }
    // Inside an offer (its handler pumped messages) the offer under way
    // goes on with these bytes.
    if (FDelivering) return true;
    if (DeliverLines(searchStart)) CheckLineLimit();
    return true;
}

int TCustomLineWSocket::FindLineEnd(int SearchStart) const {
    const int len = static_cast<int>(LineEnd.size());
    const int last = LineRcvCnt - len;  // last position a terminator can start at
    const char* data = LineBuffer.data() + FLineHead;
    for (int pos = SearchStart; pos <= last; ++pos) {
        const void* hit = std::memchr(data + pos, LineEnd[0], static_cast<size_t>(last - pos + 1));
        if (!hit) return -1;
        pos = static_cast<int>(static_cast<const char*>(hit) - data);
        if (std::memcmp(data + pos, LineEnd.data(), static_cast<size_t>(len)) == 0) return pos + len;
    }
    return -1;
}

bool TCustomLineWSocket::DeliverLines(int SearchStart) {
    TLifeToken alive = LifeToken();
    const std::uint64_t generation = FBufferGeneration;
    TOfferScope offer(*this);
    while (LinesOn()) {
        const int length = FindLineEnd(SearchStart);
        if (length < 0) break;
        LineLength = length;
        while (LinesOn() && LineLength > 0) {
            const int unread = LineLength;
            const bool handled = TCustomWSocket::DoDataAvailable(0);
            if (!alive) return false;
            if (generation != FBufferGeneration) return false;  // closed: the rest went as a last line
            if (!handled) {
                Consume(LineLength);  // nobody listens: the line is dropped
                LineLength = 0;
            } else if (LinesOn() && LineLength == unread) {
                // The handler read nothing; keep the line for the next reception.
                LineLength = 0;
                FLineStalled = true;
                return true;
            }
        }
        // Line mode switched off mid-line: its unread rest stays at the front.
        LineLength = 0;
        SearchStart = 0;
    }
    return true;
}

void TCustomLineWSocket::CheckLineLimit() {
    if (LineLimit <= 0 || LineRcvCnt <= LineLimit) return;
    TLifeToken alive = LifeToken();
    FClearData = true;
    DoLineLimitExceeded(LineRcvCnt, FClearData);
    if (!alive) return;
    if (FClearData) {
        Consume(LineRcvCnt);
        LineLength = 0;
        FClearData = false;
    }
}

void TCustomLineWSocket::ApplyLineEdit(int& NewCount, std::string& Echo) {
    const int start = LineRcvCnt;
    // The bytes of a line being offered are no longer the peer's to erase.
    const int floor = LineLength;
    const char* received = HeldBytes();
    std::string edited;
    bool editing = false;
    int w = start;       // write position
    int lowest = start;  // lowest position an edit reached
    auto beginEditing = [&](int at) {
        if (editing) return;
        edited.assign(received, static_cast<size_t>(at));
        editing = true;
    };
    for (int i = start; i < start + NewCount; ++i) {
        const char c = received[i];
        if (c == '\b') {
            beginEditing(i);
            if (w > floor) {
                if (LineEcho) Echo += "\b \b";
                --w;
                lowest = std::min(lowest, w);
                edited.pop_back();
            }
        } else if (c == '\t') {
            beginEditing(i);
            do {
                edited += ' ';
                if (LineEcho) Echo += ' ';
                ++w;
            } while (w % 8 != 0);
        } else {
            if (LineEcho) Echo += c;
            if (editing) edited += c;
            ++w;
        }
    }
    if (!editing) return;
    if (static_cast<int>(LineBuffer.size()) < FLineHead + w)
        LineBuffer.resize(static_cast<size_t>(FLineHead + w));
    std::memcpy(HeldBytes(), edited.data(), static_cast<size_t>(w));
    LineRcvCnt = lowest;
    NewCount = w - lowest;
}

// ---- switching modes and closing ----

platform::LRESULT TCustomLineWSocket::HandleSocketMessage(platform::UINT Msg, platform::WPARAM WParam,
                                                          platform::LPARAM LParam) {
    if (Msg != WM_LINE_REDELIVER) return TCustomSslWSocket::HandleSocketMessage(Msg, WParam, LParam);
    if (Destroying()) return 0;
    TLifeToken alive = LifeToken();
    try {
        RedeliverHeldBytes();
    } catch (Exception& E) {
        if (alive) HandleBgException(E);
    }
    return 0;
}

void TCustomLineWSocket::RedeliverHeldBytes() {
    // Dispatched by a handler pumping inside an offer: run once it has ended.
    if (FDelivering) {
        FRedeliverPending = true;
        return;
    }
    TLifeToken alive = LifeToken();
    while (LineRcvCnt > 0) {
        const int held = LineRcvCnt;
        const bool lines = LinesOn();
        if (lines) {
            if (!DeliverLines(0)) return;
            CheckLineLimit();
        } else if (!DoDataAvailable(0)) {
            break;  // nobody reads: the bytes wait for the next reception
        }
        if (!alive) return;
        // A pass that took nothing would repeat forever.
        if (LineRcvCnt == held && LinesOn() == lines) break;
    }
}

void TCustomLineWSocket::DeliverLastBytes() {
    TLifeToken alive = LifeToken();
    TOfferScope offer(*this);
    while (LineRcvCnt > 0) {
        const int held = LineRcvCnt;
        if (LinesOn()) LineLength = LineRcvCnt;
        const bool handled = TCustomWSocket::DoDataAvailable(0);
        if (!alive) return;
        if (!handled || LineRcvCnt >= held) break;
    }
}

void TCustomLineWSocket::DoSessionClosed(std::uint16_t Error) {
    if (!LineBuffer.empty()) {
        TLifeToken alive = LifeToken();
        // Bytes being cleared for the line limit are not delivered.
        if (!FClearData) {
            try {
                DeliverLastBytes();
            } catch (...) {
                if (alive) FreeLineBuffer();
                throw;
            }
            if (!alive) return;
        }
        FreeLineBuffer();
    }
    TCustomSslWSocket::DoSessionClosed(Error);
}

void TCustomLineWSocket::DoLineLimitExceeded(int RcvdLength, bool& ClearData) {
    if (OnLineLimitExceeded) OnLineLimitExceeded(this, RcvdLength, ClearData);
}

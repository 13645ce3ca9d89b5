// Line mode fed by a peer on 127.0.0.1 in pieces. The first byte sets editing,
// echo, what a line over the limit does, switching line mode off and on in
// the handler and how much each read takes; the second sets the line end and
// the limit. Unless editing or a cleared over-long line drops bytes, the
// reads return exactly the bytes sent, in order; the session always ends.
#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ManualPeer.h"
#include "net/WSocket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 3) return 0;
    const std::uint8_t flags = Data[0];
    const bool edit = flags & 1, echo = flags & 2, clear = flags & 4, toggle = flags & 8;
    const int chunk = (flags >> 4) == 0 ? 4096 : (flags >> 4);
    const int limit = (Data[1] >> 1) * 8;  // 0: no limit

    ManualPeer peer;
    if (!peer.Listen()) return 0;
    TWSocket socket;
    socket.LineEnd = (Data[1] & 1) ? "\n" : "\r\n";
    socket.LineLimit = limit;
    socket.LineEdit = edit;
    socket.LineEcho = echo;
    socket.SetLineMode(true);
    std::string read;
    bool dropped = false;
    bool closed = false;
    socket.OnLineLimitExceeded = [&](TObject*, int, bool& ClearData) {
        ClearData = clear;
        dropped = dropped || clear;
    };
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) {
        FUZZ_CHECK(socket.RcvdCount() >= 0);
        char buf[4096];
        const int n = socket.Receive(buf, std::min<int>(chunk, sizeof buf));
        if (n > 0) read.append(buf, static_cast<std::size_t>(n));
        if (toggle && n > 0 && buf[n - 1] == '\n') socket.SetLineMode(!socket.LineMode());
    };
    socket.OnSessionClosed = [&](TObject*, std::uint16_t) { closed = true; };
    socket.SetAddr("127.0.0.1");
    socket.SetPort(std::to_string(peer.Port()));
    socket.Connect();
    FUZZ_CHECK(PumpUntilBounded([&] { return peer.TryAccept() && socket.State() == wsConnected; }, 2000));

    TFuzzPieces pieces(Data + 1, Size - 1);
    std::int64_t sent = 0;
    while (!pieces.Done()) {
        const std::string_view piece = pieces.Next();
        peer.Send(piece);
        sent += static_cast<std::int64_t>(piece.size());
        peer.Received();  // the echo
        FUZZ_CHECK(PumpUntilBounded([&] { return socket.ReadCount() >= sent; }, 2000));
    }
    peer.Close();
    FUZZ_CHECK(PumpUntilBounded([&] { return closed; }, 2000));
    if (!edit && !dropped) {
        const std::string_view all(reinterpret_cast<const char*>(Data) + 2, Size - 2);
        FUZZ_CHECK(read == all);
    }
    return 0;
}

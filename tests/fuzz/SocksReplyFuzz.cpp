// SOCKS 4, 4A and 5 negotiation against a proxy on 127.0.0.1 that answers
// with the input, in pieces. The first byte picks the level, authentication
// and whether the destination is a name or an address. Whatever the proxy
// says, the socket reports its connection at most once, hands out no more
// bytes than the proxy sent, and closes once when the proxy does.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ManualPeer.h"
#include "net/WSocket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 2) return 0;
    const std::uint8_t flags = Data[0];
    static const char* const kLevels[] = {"4", "4A", "5", "5"};
    ManualPeer proxy;
    if (!proxy.Listen()) return 0;
    TWSocket socket;
    int connected = 0, closed = 0;
    std::int64_t handedOut = 0;
    socket.OnSessionConnected = [&](TObject*, std::uint16_t) { ++connected; };
    socket.OnSessionClosed = [&](TObject*, std::uint16_t) { ++closed; };
    socket.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[512];
        const int n = socket.Receive(buf, sizeof buf);
        if (n > 0) handedOut += n;
    };
    if (flags & 4) {
        socket.SocksAuthentication = socksAuthenticateUsercode;
        socket.SocksUsercode = "alice";
        socket.SocksPassword = "secret";
    }
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(std::to_string(proxy.Port()));
    socket.SetSocksLevel(kLevels[flags & 3]);
    // SOCKS 4 resolves the name itself: only an address, so no lookup
    // ever leaves the machine.
    socket.SetAddr((flags & 8) && (flags & 3) != 0 ? "host.example" : "127.0.0.1");
    socket.SetPort("2121");
    socket.Connect();
    FUZZ_CHECK(PumpUntilBounded([&] { return proxy.TryAccept() && !proxy.Received().empty(); }, 2000));

    TFuzzPieces pieces(Data + 1, Size - 1);
    const std::int64_t total = static_cast<std::int64_t>(pieces.Rest().size());
    while (!pieces.Done() && closed == 0) {
        proxy.Send(pieces.Next());
        proxy.Received();
        PumpOnce();
        PumpOnce();
    }
    proxy.Close();
    FUZZ_CHECK(PumpUntilBounded([&] { return closed > 0; }, 2000));
    PumpOnce();
    // A proxy that closes before it answers leaves only the close.
    FUZZ_CHECK(connected <= 1 && closed == 1);
    FUZZ_CHECK(handedOut <= total);
    return 0;
}

// What the fuzz targets share: an input cut into the pieces a peer sends, a
// bounded pump of the platform loop, a private temporary folder, and a loud
// stop when an invariant breaks (libFuzzer keeps the input that caused it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Messages.h"

// The first byte chooses how the rest is cut: below 128 into pieces of 1 to
// 16 bytes (replies split anywhere), else into pieces of 64 to 8,192 bytes.
class TFuzzPieces {
public:
    TFuzzPieces(const std::uint8_t* Data, std::size_t Size) {
        if (Size == 0) return;
        const std::uint8_t b = Data[0];
        FPiece = b < 128 ? (b % 16) + 1 : static_cast<std::size_t>(b - 127) * 64;
        FRest = std::string_view(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    }
    bool Done() const { return FRest.empty(); }
    std::string_view Next() {
        std::string_view piece = FRest.substr(0, FPiece);
        FRest.remove_prefix(piece.size());
        return piece;
    }
    std::string_view Rest() const { return FRest; }

private:
    std::size_t FPiece = 1;
    std::string_view FRest;
};

// Pumps until Pred holds; false after TimeoutMs. The bound turns a request
// that never ends into a finding instead of a stuck run.
inline bool PumpUntilBounded(const std::function<bool()>& Pred, int TimeoutMs) {
    const std::uint64_t deadline = platform::GetTickCount64() + static_cast<std::uint64_t>(TimeoutMs);
    while (!Pred()) {
        if (platform::GetTickCount64() >= deadline) return false;
        platform::WaitMessage(5);
        platform::ProcessMessages();
    }
    return true;
}

// Dispatches what is pending now, once.
inline void PumpOnce() {
    platform::WaitMessage(0);
    platform::ProcessMessages();
}

[[noreturn]] inline void FuzzFail(const char* What) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", What);
    std::abort();
}

#define FUZZ_CHECK(cond)                   \
    do {                                   \
        if (!(cond)) FuzzFail(#cond);      \
    } while (0)

// A folder of its own under /tmp for the whole run, removed at exit.
const std::string& FuzzTempDir();
// Writes Bytes to Path, replacing it.
void WriteFuzzFile(const std::string& Path, std::string_view Bytes);

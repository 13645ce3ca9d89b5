// Line mode throughput: 100-byte lines over loopback into a TWSocket in line
// mode, each line taken with one Receive, next to the same bytes read with
// line mode off in 64 KiB pieces.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "LineSender.h"
#include "net/WSocket.h"

namespace {

struct Result {
    double Seconds = 0;
    long Lines = 0;
    long long Bytes = 0;
};

Result Receive(long lines, int lineSize, bool lineMode) {
    LineSender sender;
    if (!sender.Start(lines, lineSize)) return {};
    TWSocket s;
    Result r;
    bool closed = false;
    std::vector<char> buf(lineMode ? static_cast<size_t>(lineSize) : 65536);
    s.SetLineMode(lineMode);
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        int n = s.Receive(buf.data(), static_cast<int>(buf.size()));
        if (n <= 0) return;
        r.Bytes += n;
        if (lineMode && n == lineSize) ++r.Lines;
    };
    s.OnSessionClosed = [&](TObject*, std::uint16_t) { closed = true; };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(sender.Port()));
    auto t0 = std::chrono::steady_clock::now();
    s.Connect();
    const auto deadline = t0 + std::chrono::seconds(120);
    while (!closed && std::chrono::steady_clock::now() < deadline) {
        platform::WaitMessage(100);
        platform::ProcessMessages();
    }
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!lineMode) r.Lines = static_cast<long>(r.Bytes / lineSize);
    return r;
}

void Report(const char* what, const Result& r, long expected) {
    std::printf("  %-28s %8ld lines in %.3f s: %10.0f lines/s, %6.1f MiB/s%s\n", what, r.Lines, r.Seconds,
                r.Lines / r.Seconds, r.Bytes / r.Seconds / (1 << 20), r.Lines == expected ? "" : "  (INCOMPLETE)");
}

}  // namespace

int main(int argc, char** argv) {
    const long lines = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000000;
    constexpr int kLineSize = 100;
    std::printf("line mode, %ld lines of %d bytes (CR LF included) over loopback:\n", lines, kLineSize);
    Report("line mode, one Receive each", Receive(lines, kLineSize, true), lines);
    Report("line mode off, 64 KiB reads", Receive(lines, kLineSize, false), lines);
    return 0;
}

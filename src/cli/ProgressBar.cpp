// Drawing the progress bar.
#include "cli/ProgressBar.h"

#include <algorithm>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

#include "base/Strings.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

// "12.3 MB" style, powers of 1024 with the usual letters.
std::string Amount(double Bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (Bytes >= 1024 && unit < 4) {
        Bytes /= 1024;
        ++unit;
    }
    return unit == 0 ? Format("%.0f %s", Bytes, units[unit]) : Format("%.1f %s", Bytes, units[unit]);
}

std::string Duration(double Seconds) {
    if (Seconds < 0 || Seconds > 99 * 3600) return "--:--";
    long s = static_cast<long>(Seconds + 0.5);
    if (s >= 3600) return Format("%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return Format("%02ld:%02ld", s / 60, s % 60);
}

int TerminalWidth() {
    winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
    return 80;
}

}  // namespace

bool ProgressWanted() { return isatty(STDERR_FILENO) == 1; }

TProgressBar::TProgressBar(bool Enabled, std::string Name, std::int64_t Total, std::int64_t Start)
    : Enabled(Enabled), Name(std::move(Name)), Total(Total), Start(Start), Position(Start),
      Begin(TClock::now()), LastDraw(Begin) {}

TProgressBar::~TProgressBar() {
    // A transfer that failed leaves its last state visible on its own line.
    if (Drawn) std::fputs("\n", stderr);
}

void TProgressBar::Update(std::int64_t NewPosition) {
    Position = NewPosition;
    if (!Enabled) return;
    TClock::time_point now = TClock::now();
    if (Drawn && now - LastDraw < kRedrawInterval) return;
    LastDraw = now;
    Draw();
}

void TProgressBar::Finish() {
    if (!Enabled) return;
    Draw();
    std::fputs("\n", stderr);
    Drawn = false;
}

void TProgressBar::Draw() {
    double seconds = std::chrono::duration<double>(TClock::now() - Begin).count();
    std::string line = Line(Name, Position, Total, Position - Start, seconds, TerminalWidth());
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    Drawn = true;
}

std::string TProgressBar::Line(const std::string& Name, std::int64_t Position, std::int64_t Total,
                               std::int64_t Moved, double Seconds, int Width) {
    double rate = Seconds > 0 ? static_cast<double>(Moved) / Seconds : 0;
    std::string tail;
    if (Total > 0) {
        double left = rate > 0 ? static_cast<double>(Total - Position) / rate : -1;
        int percent = static_cast<int>(std::clamp<std::int64_t>(Position * 100 / Total, 0, 100));
        tail = Format(" %3d%% %s/s eta %s", percent, Amount(rate).c_str(), Duration(left).c_str());
    } else {
        tail = Format(" %s %s/s", Amount(static_cast<double>(Position)).c_str(),
                      Amount(rate).c_str());
    }
    // The name keeps at most a third of the line; the bar takes what is left.
    int nameWidth = std::min<int>(static_cast<int>(Name.size()), Width / 3);
    std::string name = Name.substr(0, static_cast<std::size_t>(nameWidth));
    int barWidth = Width - 1 - nameWidth - 3 - static_cast<int>(tail.size());
    std::string bar;
    if (Total > 0 && barWidth >= 5) {
        int filled = static_cast<int>(std::clamp<std::int64_t>(Position * barWidth / Total, 0, barWidth));
        bar = " [" + std::string(static_cast<std::size_t>(filled), '#') +
              std::string(static_cast<std::size_t>(barWidth - filled), ' ') + "]";
    }
    std::string line = name + bar + tail;
    if (static_cast<int>(line.size()) < Width - 1)
        line += std::string(static_cast<std::size_t>(Width - 1) - line.size(), ' ');
    return line;
}

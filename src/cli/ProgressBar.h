// The progress bar of a transfer on standard error: name, percentage, bar,
// rate and time left, redrawn in place at most a few times a second.
// Disabled, it draws nothing (standard error not a terminal, or --quiet).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class TProgressBar {
public:
    // Total: the size the transfer ends at (< 0 when unknown); Start: the
    // position it starts from (a resumed transfer).
    TProgressBar(bool Enabled, std::string Name, std::int64_t Total, std::int64_t Start);
    ~TProgressBar();
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    // Position: bytes of the whole file reached so far.
    void Update(std::int64_t Position);
    // Draws the last state and ends the line.
    void Finish();

    // One line of Width columns. Seconds: time since the start; Moved: bytes
    // moved in that time (for the rate).
    static std::string Line(const std::string& Name, std::int64_t Position, std::int64_t Total,
                            std::int64_t Moved, double Seconds, int Width);

private:
    void Draw();

    using TClock = std::chrono::steady_clock;
    bool Enabled;
    bool Drawn = false;
    std::string Name;
    std::int64_t Total;
    std::int64_t Start;
    std::int64_t Position;
    TClock::time_point Begin;
    TClock::time_point LastDraw;
};

// True when tarnftp should draw progress: standard error is a terminal.
bool ProgressWanted();

#pragma once

#include "app/ScanProgress.h"

#include <cstdint>
#include <optional>
#include <string>

// The scan's countdown as the window shows it: once a second, the estimate of the time still to
// go and a bar that fills with the share of the work done, both read from the scan's progress
// (ScanProgress). While the pace says too little for an estimate the label keeps its text. The
// window ticks it once a second on its own thread; this class holds only the arithmetic.
class ScanCountdown {
public:
    static constexpr double kBarMaximum = 300.0;

    // What one tick shows: the label's new text (none: the label keeps its text) and the bar.
    struct Tick {
        std::optional<std::string> label;
        double bar = 0.0;
    };

    // A new countdown: no tick yet, the bar at 0.
    void start();
    // One second has passed; what the progress says at `now`. `barShown`: a hidden bar does not
    // move, the label still follows.
    Tick timerRun(const ScanProgress& progress, ScanProgress::Clock::time_point now, bool barShown = true);

    // The ticks since start().
    std::int32_t ticks() const { return ticks_; }
    double bar() const { return bar_; }

    // "Remaining time: %d minutes %02d seconds", in the chosen language.
    static std::string labelText(std::int64_t remainingSeconds);

private:
    std::int32_t ticks_ = 0;
    double bar_ = 0.0;
};

#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The scan's countdown: a fixed five-minute cycle that repeats until the scan ends, each
// further cycle numbered as a phase, and a phase bar that fills once per cycle (0 to 300). It
// is not an estimate of the remaining work. The window ticks it once a second on its own
// thread; this class holds only the arithmetic.
class ScanCountdown {
public:
    static constexpr double kBarMaximum = 300.0;

    // What one tick shows: the label's new text (none: the label keeps its text) and the bar.
    struct Tick {
        std::optional<std::string> label;
        double bar = 0.0;
    };

    // A new countdown: 5 minutes 0 seconds, no phase, the bar at 0.
    void start();
    // One second has passed. `barShown`: a hidden bar does not move, the label still counts.
    Tick timerRun(bool barShown = true);

    std::int32_t currMinute() const { return currMinute_; }
    std::int32_t currSeconds() const { return currSeconds_; }
    std::int32_t phases() const { return phases_; }
    double bar() const { return bar_; }

    // "Remaining time: %d minutes %02d seconds", with " - phase %d" from the second cycle on.
    static std::string labelText(std::int32_t minute, std::int32_t seconds, std::int32_t phase);

private:
    void incrementProgressBar(bool barShown);

    std::int32_t currMinute_ = 5;
    std::int32_t currSeconds_ = 0;
    std::int32_t phases_ = 0;
    double bar_ = 0.0;
};

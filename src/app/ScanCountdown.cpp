#include "app/ScanCountdown.h"

#include <algorithm>
#include <cstdio>

void ScanCountdown::start() {
    ticks_ = 0;
    bar_ = 0.0;
}

std::string ScanCountdown::labelText(std::int64_t remainingSeconds) {
    const std::int64_t seconds = std::max<std::int64_t>(remainingSeconds, 0);
    char text[96];
    std::snprintf(text, sizeof text, "Remaining time: %lld minutes %02lld seconds",
                  static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
    return text;
}

ScanCountdown::Tick ScanCountdown::timerRun(const ScanProgress& progress, ScanProgress::Clock::time_point now,
                                            bool barShown) {
    ++ticks_;
    Tick tick;
    if (barShown) bar_ = std::clamp(progress.fraction(), 0.0, 1.0) * kBarMaximum;
    if (const auto remaining = progress.remainingSeconds(now)) tick.label = labelText(*remaining);
    tick.bar = bar_;
    return tick;
}

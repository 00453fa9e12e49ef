#include "app/ScanCountdown.h"

#include "config/LanguageConfig.h"

#include <algorithm>
#include <cstdio>

void ScanCountdown::start() {
    ticks_ = 0;
    bar_ = 0.0;
}

std::string ScanCountdown::labelText(std::int64_t remainingSeconds) {
    const std::int64_t seconds = std::max<std::int64_t>(remainingSeconds, 0);
    char secondsText[8];
    std::snprintf(secondsText, sizeof secondsText, "%02lld", static_cast<long long>(seconds % 60));
    const std::string frame = LanguageConfig::sharedObject()
                                  .text(LanguageKey::ScanRemainingTime)
                                  .value_or("Remaining time: {0} minutes {1} seconds");
    return FillPlaceholders(frame, {std::to_string(seconds / 60), secondsText});
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

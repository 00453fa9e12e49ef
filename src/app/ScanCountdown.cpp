#include "app/ScanCountdown.h"

#include <cstdio>

void ScanCountdown::start() {
    currMinute_ = 5;
    currSeconds_ = 0;
    phases_ = 0;
    bar_ = 0.0;
}

std::string ScanCountdown::labelText(std::int32_t minute, std::int32_t seconds,
                                     std::int32_t phase) {
    char text[96];
    if (phase == 0)
        std::snprintf(text, sizeof text, "Remaining time: %d minutes %02d seconds", minute, seconds);
    else
        std::snprintf(text, sizeof text, "Remaining time: %d minutes %02d seconds - phase %d",
                      minute, seconds, phase);
    return text;
}

void ScanCountdown::incrementProgressBar(bool barShown) {
    if (!barShown) return;
    bar_ += 1.0;
    if (bar_ >= kBarMaximum) bar_ = 0.0;
}

ScanCountdown::Tick ScanCountdown::timerRun(bool barShown) {
    Tick tick;
    // The cycle is over: a new one starts, the label keeps its last text on this tick.
    if (currMinute_ < 0 || (currMinute_ == 0 && currSeconds_ < 0)) {
        bar_ = 0.0;
        ++phases_;
        currMinute_ = 5;
        currSeconds_ = 0;
        tick.bar = bar_;
        return tick;
    }
    incrementProgressBar(barShown);
    if (currSeconds_ == 0) {
        --currMinute_;
        currSeconds_ = 59;
    } else if (currSeconds_ > 0) {
        --currSeconds_;
    }
    if (currMinute_ >= 0) tick.label = labelText(currMinute_, currSeconds_, phases_);
    tick.bar = bar_;
    return tick;
}

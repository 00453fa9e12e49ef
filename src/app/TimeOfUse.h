#pragma once

#include "common/Clock.h"

#include <atomic>
#include <cstdint>
#include <string>

// The time the application has been in use and not yet reported: a number of seconds stored
// in the settings folder ("TimeTracker"), kept across runs. Each close adds the seconds since
// the start of the current stretch of use (startTime); the banner reports the stored time and
// then sets it back to 0 and starts a new stretch. A stored value that cannot be read as a
// number of seconds counts as 0, so a damaged file starts the count again.
//
// Safe to use from any thread.
class TimeOfUse {
public:
    // The store is the file at the path; by default "TimeTracker" in the settings folder.
    explicit TimeOfUse(std::string storePath = defaultStorePath());
    static std::string defaultStorePath();

    // The stored seconds; 0 when none are stored or the value is damaged.
    double storedSeconds() const;
    // Stores the seconds (written to a temporary file and renamed into place). False, with a
    // line on stderr, when it cannot be written.
    bool store(double seconds) const;

    // Starts a new stretch of use now (start-up, and each time the banner has loaded).
    void restart(Date now = Clock::Now());
    Date startTime() const;

    // A close: adds the seconds from startTime to now to the stored time. False when the sum
    // could not be stored.
    bool addTimeOfUse(Date now = Clock::Now()) const;

    // The banner has reported the stored time: back to 0 and a new stretch from now.
    void reported(Date now = Clock::Now());

    // A stored text read as seconds: a finite number not below 0, else 0.
    static double parseSeconds(const std::string& text);

private:
    const std::string path_;
    std::atomic<std::int64_t> startMs_;
};

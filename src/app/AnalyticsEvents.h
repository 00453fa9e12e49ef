#pragma once

#include "config/mixPanel.h"

#include <cstdint>
#include <string>

// The usage events the application core sends: MixPanelEvents sends them (when the
// configuration turns analytics on); NoAnalytics sends nothing. Sending never blocks the caller
// for a request, and the caller never looks at a result.
class AnalyticsEvents {
public:
    virtual ~AnalyticsEvents() = default;
    // A named moment ("RecoverFromITunesScreen", "Close - Pressed", ...).
    virtual void publishMessageEvent(const std::string& name) = 0;
    // A pressed button ("Stop Scanning", "Stop Scanning cancelled dialog", ...).
    virtual void PublishButtonEvent(const std::string& buttonName) = 0;
    // The star rating given in the rating window.
    virtual void publishRatingEvent(const std::string& name, std::int32_t stars) = 0;
    // The counts of the scan that has just ended, finished or cancelled.
    virtual void PublishReportInfosEvent() = 0;
    // The build's details, once at the end of start-up.
    virtual void softwareBuildInfo() = 0;
    // A failure that escaped a task, or the fatal signal that ended the last run.
    virtual void sendCrashReport(const CrashReport& /*report*/) {}
    // Before the process ends: gives the events sent so far a short time to go out.
    virtual void flush() {}
};

// Sends nothing.
class NoAnalytics final : public AnalyticsEvents {
public:
    void publishMessageEvent(const std::string&) override {}
    void PublishButtonEvent(const std::string&) override {}
    void publishRatingEvent(const std::string&, std::int32_t) override {}
    void PublishReportInfosEvent() override {}
    void softwareBuildInfo() override {}
};

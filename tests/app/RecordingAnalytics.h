#pragma once

#include "app/AnalyticsEvents.h"

#include <mutex>
#include <string>
#include <vector>

// Analytics that note every event asked for ("button Close Pressed", "crash <name>: <reason>").
class NotingAnalytics final : public AnalyticsEvents {
public:
    void publishMessageEvent(const std::string& name) override { note("message " + name); }
    void PublishButtonEvent(const std::string& name) override { note("button " + name); }
    void publishRatingEvent(const std::string& name, std::int32_t stars) override {
        note("rating " + name + " " + std::to_string(stars));
    }
    void PublishReportInfosEvent() override { note("report"); }
    void softwareBuildInfo() override { note("build info"); }
    void sendCrashReport(const CrashReport& report) override {
        std::lock_guard lock(mutex_);
        crashes_.push_back(report);
        events_.push_back("crash " + report.name + ": " + report.reason);
    }
    void flush() override { note("flush"); }

    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<CrashReport> crashes() const {
        std::lock_guard lock(mutex_);
        return crashes_;
    }

private:
    void note(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<CrashReport> crashes_;
};

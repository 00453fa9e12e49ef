#pragma once

#include "app/RecordingAnalytics.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/TorvaneApplication.h"

#include <memory>

// A whole application on a record of its own: no update check, no device listening, no banner.
struct UiFixture {
    BrimleyAppDelegate record;
    NotingAnalytics analytics;
    std::unique_ptr<TorvaneApplication> application;

    // `devices`: listen for devices (through the usbmuxd socket the environment names).
    void start(std::optional<std::string> backupFolder = std::nullopt, bool devices = false) {
        TorvaneApplication::Options options;
        options.record = &record;
        options.analytics = &analytics;
        options.updateCheck = false;
        options.listenForDevices = devices;
        options.banner = false;
        options.backupFolder = std::move(backupFolder);
        application = std::make_unique<TorvaneApplication>(options);
        application->start();
    }
    bool saw(const std::string& event) const {
        for (const std::string& e : analytics.events())
            if (e == event) return true;
        return false;
    }
};

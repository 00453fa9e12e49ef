#pragma once

#include "app/ApplicationCore.h"
#include "app/RecordingAnalytics.h"
#include "app/ScanWorker.h"
#include "demo-backup/DemoBackup.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"
#include "ui/TorvaneApplication.h"
#include "UiTestSupport.h"

#include <functional>
#include <memory>

// A whole application on a record of its own: no update check, no device listening, no banner.
struct UiFixture {
    BrimleyAppDelegate record;
    NotingAnalytics analytics;
    std::unique_ptr<TorvaneApplication> application;

    // `devices`: listen for devices (through the usbmuxd socket the environment names);
    // `adjust` changes further options before the application is made.
    void start(std::optional<std::string> backupFolder = std::nullopt, bool devices = false,
               const std::function<void(TorvaneApplication::Options&)>& adjust = {}) {
        TorvaneApplication::Options options;
        options.record = &record;
        options.analytics = &analytics;
        options.updateCheck = false;
        options.listenForDevices = devices;
        options.banner = false;
        options.backupFolder = std::move(backupFolder);
        if (adjust) adjust(options);
        application = std::make_unique<TorvaneApplication>(options);
        application->start();
    }
    // A small demo backup with existing and deleted records of every type.
    static demo::DemoBackupOptions SmallDemoBackup() {
        demo::DemoBackupOptions options;
        options.messages = 30;
        options.contacts = 12;
        options.calls = 16;
        options.notes = 6;
        options.events = 8;
        options.whatsAppMessages = 16;
        options.visits = 8;
        options.photos = 3;
        return options;
    }
    // Scans the backup folder from the home screen for the data type chosen in its combo box,
    // and waits for the report; whether it came.
    bool scan(const std::string& folder, DataType type) {
        startScan(folder, type);
        return waitForReport();
    }
    // Chooses the backup folder on the home screen and starts a scan of the data type.
    void startScan(const std::string& folder, DataType type) {
        MainMenu& w = application->window();
        w.showScreen(ScreenState::ScreenHome);
        w.openBackupFolder(QString::fromStdString(folder));
        w.homeScreen()->dataTypeCombo->setCurrentIndex(InfoReaderViewController::selectionOfDataType(type));
        w.homeScreen()->fullRecover();
    }
    // Waits for the report of a scan already started and for the scan's end; whether both came.
    bool waitForReport() {
        MainMenu& w = application->window();
        return WaitFor([&] { return w.dashboard() && w.dashboard()->isVisible(); }) &&
               WaitFor([&] { return !application->core().scanWorker().isRunning(); });
    }
    bool saw(const std::string& event) const {
        for (const std::string& e : analytics.events())
            if (e == event) return true;
        return false;
    }
};

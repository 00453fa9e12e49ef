#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

class AnalyticsEvents;
class ApplicationCore;
class ApplicationShutdown;
class BrimleyAppDelegate;
class DeviceRecoveryFlow;
class InterruptWatcher;
class MainMenu;
class QtDispatcher;
class TimeOfUse;

// The desktop application put together: the shared record, the main-thread dispatcher on Qt's
// event loop, the main window, the application core and the device half of the core. Made on
// the GUI thread after the QApplication; start() runs start-up.
class TorvaneApplication {
public:
    struct Options {
        // The shared record; none: the application's own.
        BrimleyAppDelegate* record = nullptr;
        // The usage events; none: the configured analytics client.
        AnalyticsEvents* analytics = nullptr;
        // Read the configuration and language files at start-up (tests keep what they set).
        bool loadConfiguration = true;
        // Run the automatic update check.
        bool updateCheck = true;
        // Listen for devices through usbmuxd.
        bool listenForDevices = true;
        // Load the banner.
        bool banner = true;
        // The private working folder goes below this one; none: the application's own.
        const char* workingBase = nullptr;
        // A backup folder to open at start, as if chosen with Browse.
        std::optional<std::string> backupFolder;
        // How the close button ends the process once the temporary files are gone; none: at
        // once (tests keep the process).
        std::function<void(int)> endProcess;
        // SIGTERM, SIGHUP and Ctrl-C end the program as the close button does (the desktop
        // program; tests that send no signal leave the handlers alone).
        bool watchSignals = false;
    };

    explicit TorvaneApplication(Options options);
    // Stops the dispatcher first (so no thread waits for the window any more), then the device
    // flow and the core (which stop and join every thread), then the window.
    ~TorvaneApplication();
    TorvaneApplication(const TorvaneApplication&) = delete;
    TorvaneApplication& operator=(const TorvaneApplication&) = delete;

    // Start-up on the GUI thread: the core's steps, then the window's, then the window shows.
    void start();

    MainMenu& window() { return *window_; }
    ApplicationCore& core() { return *core_; }
    DeviceRecoveryFlow& flow() { return *flow_; }
    BrimleyAppDelegate& record() { return record_; }
    QtDispatcher& dispatcher() { return *dispatcher_; }

private:
    const Options options_;
    BrimleyAppDelegate& record_;
    std::unique_ptr<AnalyticsEvents> ownAnalytics_;
    AnalyticsEvents& analytics_;
    std::unique_ptr<QtDispatcher> dispatcher_;
    std::unique_ptr<TimeOfUse> timeOfUse_;
    std::unique_ptr<MainMenu> window_;
    std::unique_ptr<ApplicationCore> core_;
    std::unique_ptr<DeviceRecoveryFlow> flow_;
    std::unique_ptr<ApplicationShutdown> shutdown_;
    std::unique_ptr<InterruptWatcher> signals_;
};

#pragma once

#include "app/CoreConfiguration.h"
#include "app/UpdateCheck.h"

#include <functional>
#include <memory>
#include <thread>

class AnalyticsEvents;
class BrimleyAppDelegate;
class DeviceDetailsReader;
class MainThreadDispatcher;
class MainWindowActions;
class MainWindowOnMainThread;
class ScanWorker;
class WorkingFolder;

// What start-up reads and starts beyond the core's own objects. Each part is optional; without
// them start-up keeps the configuration the core was made with and starts no update check
// (what tests want).
struct StartupServices {
    // The first step of start-up: loads the configuration file and then the language texts
    // (CoreConfiguration::loadFromFiles), and answers what the core takes of them.
    std::function<CoreConfiguration()> loadConfiguration;
    // The automatic update check, on a thread of its own, tells this user of a newer version.
    UpdateUser* updateUser = nullptr;
    // The update check's feed reader; none: the configured feed.
    UpdateCheck::PublishedVersion publishedVersion;
    // The folder of the crash reports that earlier runs left; they are sent (as "Crash
    // Report", when analytics are on) and removed at the end of start-up.
    OptString crashReportDirectory;
};

// The application core without its window: what start-up brings into being, in start-up's
// order, for a front end (the Qt window or the headless scanner) to drive. The front end gives
// its window, which the core reaches only through the main-thread dispatcher.
//
// applicationDidFinishLaunching runs the steps of start-up that need no window of their own:
// the configuration and then the language texts, the host's address, the companion
// identifiers, the first screens, the database names, the configuration's branding, the empty
// media lists and device record, the automatic update check and then the signature loader,
// each on a thread of its own (signatureLoaded is cleared before the loader starts and set once
// it has finished, whatever it found), the recovery services and the deleted-record run
// controller, the build event, the crash reports of earlier runs and the data-type holder. The
// window's own steps (menus, titles, panel images, the banner, device notifications) belong to
// the window.
class ApplicationCore {
public:
    // The working folder lies below `workingBase` when one is given, else in the application's
    // private working directory.
    ApplicationCore(BrimleyAppDelegate& record, MainThreadDispatcher& dispatcher,
                    std::shared_ptr<MainWindowActions> window, AnalyticsEvents& analytics,
                    CoreConfiguration configuration = CoreConfiguration::defaults(),
                    const char* workingBase = nullptr, StartupServices services = {});
    // Stops a running scan and the update check, waits for the signature loader and detaches
    // the window from the record; the working folder goes with everything in it.
    ~ApplicationCore();
    ApplicationCore(const ApplicationCore&) = delete;
    ApplicationCore& operator=(const ApplicationCore&) = delete;

    // Start-up, on the main thread.
    void applicationDidFinishLaunching();
    // The body of the signature loader's thread: loads the catalogue into the record, then
    // sets signatureLoaded.
    void loadRecoverySignatures();
    // Waits until the signature loader has finished.
    void waitForSignatures();

    // The window as any thread may call it.
    MainWindowActions& window();
    ScanWorker& scanWorker();
    DeviceDetailsReader& deviceDetails();
    WorkingFolder& workingFolder();
    // Read on the main thread; start-up's first step replaces it.
    const CoreConfiguration& configuration() const { return configuration_; }
    // The update check, for the menu's "check for updates"; none before start-up or without
    // an update user.
    UpdateCheck* updateCheck() { return updateCheck_.get(); }

private:
    BrimleyAppDelegate& record_;
    MainThreadDispatcher& dispatcher_;
    AnalyticsEvents& analytics_;
    // The scan worker keeps the presets it was made with (a restore is always available).
    CoreConfiguration configuration_;
    const StartupServices services_;
    std::shared_ptr<MainWindowOnMainThread> window_;
    std::unique_ptr<WorkingFolder> workingFolder_;
    std::unique_ptr<DeviceDetailsReader> deviceDetails_;
    std::unique_ptr<ScanWorker> scanWorker_;
    std::jthread signatureLoader_;
    std::unique_ptr<UpdateCheck> updateCheck_;
    std::jthread updateChecker_;
};

#pragma once

#include "app/CoreConfiguration.h"

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

// The application core without its window: what start-up brings into being, in start-up's
// order, for a front end (the Qt window or the headless scanner) to drive. The front end gives
// its window, which the core reaches only through the main-thread dispatcher.
//
// applicationDidFinishLaunching runs the steps of start-up that need no window of their own:
// the configuration's branding, the companion identifiers, the first screens, the database
// names, the empty media lists and device record, the signature loader on a thread of its own
// (signatureLoaded is cleared before it starts and set once it has finished, whatever it
// found), the recovery services and the deleted-record run controller, the build event and the
// data-type holder. The window's own steps (menus, titles, panel images, the banner, device
// notifications) belong to the window.
class ApplicationCore {
public:
    // The working folder lies below `workingBase` when one is given, else in the application's
    // private working directory.
    ApplicationCore(BrimleyAppDelegate& record, MainThreadDispatcher& dispatcher,
                    std::shared_ptr<MainWindowActions> window, AnalyticsEvents& analytics,
                    CoreConfiguration configuration = CoreConfiguration::defaults(),
                    const char* workingBase = nullptr);
    // Stops a running scan, waits for the signature loader and detaches the window from the
    // record; the working folder goes with everything in it.
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
    const CoreConfiguration& configuration() const { return configuration_; }

private:
    BrimleyAppDelegate& record_;
    AnalyticsEvents& analytics_;
    const CoreConfiguration configuration_;
    std::shared_ptr<MainWindowOnMainThread> window_;
    std::unique_ptr<WorkingFolder> workingFolder_;
    std::unique_ptr<DeviceDetailsReader> deviceDetails_;
    std::unique_ptr<ScanWorker> scanWorker_;
    std::jthread signatureLoader_;
};

#include "app/ApplicationCore.h"

#include "app/AnalyticsEvents.h"
#include "app/BackupDatabaseTable.h"
#include "app/CrashHandling.h"
#include "app/DeviceDetails.h"
#include "app/MainWindowOnMainThread.h"
#include "app/RecoveryWindowController.h"
#include "app/ScanWorker.h"
#include "app/WindowTypes.h"
#include "app/WorkingFolder.h"
#include "carving/SqLiteTableSignatures.h"
#include "config/HostNetworkIdentity.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "services/ServicesManager.h"

#include <iostream>
#include <mutex>
#include <utility>

namespace {

// The companion application's identifier prefix and its bundle identifiers.
constexpr const char* kCompanionPrefix = "QW3R8TZ5XK";
constexpr const char* kCompanionBundle = "Quorran.Retrieve";

}  // namespace

ApplicationCore::ApplicationCore(BrimleyAppDelegate& record, MainThreadDispatcher& dispatcher,
                                 std::shared_ptr<MainWindowActions> window,
                                 AnalyticsEvents& analytics, CoreConfiguration configuration,
                                 const char* workingBase, StartupServices services)
    : record_(record),
      dispatcher_(dispatcher),
      analytics_(analytics),
      configuration_(std::move(configuration)),
      services_(std::move(services)),
      window_(std::make_shared<MainWindowOnMainThread>(dispatcher, std::move(window), record)),
      workingFolder_(workingBase ? std::make_unique<WorkingFolder>(workingBase)
                                 : std::make_unique<WorkingFolder>()),
      deviceDetails_(std::make_unique<DeviceDetailsReader>(record, *window_)),
      scanWorker_(std::make_unique<ScanWorker>(record, *window_, *workingFolder_, analytics,
                                               configuration_)) {
    // The recovery threads reach the window through the dispatcher too.
    record_.setWindow(window_);
}

ApplicationCore::~ApplicationCore() {
    if (updateChecker_.joinable()) {
        updateChecker_.request_stop();
        updateChecker_.join();
    }
    updateCheck_.reset();
    scanWorker_.reset();
    if (signatureLoader_.joinable()) signatureLoader_.join();
    // The run controller calls this core's window; it goes with the core.
    record_.recoveryWindowController.set(nullptr);
    record_.servicesMgr.set(nullptr);
    record_.setWindow(nullptr);
}

MainWindowActions& ApplicationCore::window() {
    return *window_;
}
ScanWorker& ApplicationCore::scanWorker() {
    return *scanWorker_;
}
DeviceDetailsReader& ApplicationCore::deviceDetails() {
    return *deviceDetails_;
}
WorkingFolder& ApplicationCore::workingFolder() {
    return *workingFolder_;
}

void ApplicationCore::applicationDidFinishLaunching() {
    // The configuration, then the texts of the chosen language, before any text is shown.
    if (services_.loadConfiguration) configuration_ = services_.loadConfiguration();

    // The host's address for the build event: the last IPv4 address of its network
    // interfaces; none leaves it unset.
    if (const auto addresses = interfaceUtil::getInterfaces(); !addresses.empty())
        record_.ipAddress.set(addresses.back());

    record_.appIdentifier.set(kCompanionPrefix);
    record_.bundleIdentifiers.set({kCompanionPrefix, kCompanionBundle});
    record_.tabItem = ToCode(TabTag::TabTagPhotos);
    window_->showScreen(ScreenState::ScreenLoading);

    // No device or backup is known yet: the names of an unknown iOS version.
    setupDataBase(record_);

    if (const OptString label = configuration_.versionLabel()) record_.Version.set(*label);
    record_.ProductName.set("Torvane");
    record_.BannerURL.set(configuration_.BannerURL.value_or(""));
    record_.SupportURL.set(configuration_.supportUrl.value_or(""));

    record_.isDeviceConnected = false;
    record_.hasDoneScan = false;
    {
        std::lock_guard photos(record_.photosLocked);
        record_.DeletedPhotos.clear();
        {
            std::lock_guard grid(record_.dcimLocked);
            record_.AllPhotos.clear();
        }
        record_._AllVideos.clear();
        record_.Photos.clear();
        record_.DeletedVideos.clear();
        record_.Videos.clear();
        record_.Audios.clear();
    }
    record_.deviceInfo.set(std::make_shared<DeviceInfo>());

    // The update check starts first; it tells the user of a newer version and asks nothing.
    if (services_.updateUser && !updateCheck_) {
        updateCheck_ = std::make_unique<UpdateCheck>(record_, *window_, dispatcher_,
                                                     *services_.updateUser,
                                                     services_.publishedVersion);
        updateChecker_ = std::jthread([this](std::stop_token stop) {
            RunAtTaskBoundary("the update check", &analytics_,
                              [&] { updateCheck_->checkForAutoUpdate(stop); });
        });
    }

    // Cleared before the loader starts, so its "loaded" is never overwritten.
    record_.signatureLoaded.reset();
    if (signatureLoader_.joinable()) signatureLoader_.join();
    signatureLoader_ = std::jthread([this] {
        RunAtTaskBoundary("loading the recovery signatures", &analytics_,
                          [this] { loadRecoverySignatures(); });
        // Whatever happened, the run controller must not wait for ever.
        record_.signatureLoaded.set();
    });

    record_.servicesMgr.set(std::make_shared<ServicesManager>(record_.deviceInfo.get()));
    record_.recoveryWindowController.set(
        std::make_shared<RecoveryWindowController>(record_, *window_));

    analytics_.softwareBuildInfo();
    if (services_.crashReportDirectory) {
        for (const CrashReport& report : TakeCrashReports(*services_.crashReportDirectory)) {
            std::cerr << ("Torvane: an earlier run crashed: " + report.reason + "\n");
            analytics_.sendCrashReport(report);
        }
    }
    record_.holder.set(std::make_shared<dataTypeHolder>());
    window_->showScreen(ScreenState::ScreenHome);
}

void ApplicationCore::loadRecoverySignatures() {
    auto catalogue = std::make_shared<SqLiteTableSignatures>();
    catalogue->loadSignatures();
    record_.recoverySignatures.set(std::move(catalogue));
    record_.signatureLoaded.set();
}

void ApplicationCore::waitForSignatures() {
    record_.signatureLoaded.wait({});
}

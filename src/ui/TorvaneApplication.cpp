#include "ui/TorvaneApplication.h"

#include "app/ApplicationCore.h"
#include "app/ApplicationShutdown.h"
#include "app/DeviceRecoveryFlow.h"
#include "app/InterruptWatcher.h"
#include "app/MixPanelEvents.h"
#include "app/TimeOfUse.h"
#include "common/AppPaths.h"
#include "common/TemporaryFiles.h"
#include "device/MobileDeviceAccess.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/MainMenu.h"
#include "ui/QtDispatcher.h"
#include "ui/StatusMenu.h"
#include "ui/WindowStartup.h"

#include <QApplication>

namespace {

AnalyticsEvents& AnalyticsFor(const TorvaneApplication::Options& options, BrimleyAppDelegate& record,
                              std::unique_ptr<AnalyticsEvents>& own) {
    if (options.analytics) return *options.analytics;
    own = std::make_unique<MixPanelEvents>(record);
    return *own;
}

}  // namespace

TorvaneApplication::TorvaneApplication(Options options)
    : options_(std::move(options)),
      record_(options_.record ? *options_.record : BrimleyAppDelegate::appDelegate()),
      analytics_(AnalyticsFor(options_, record_, ownAnalytics_)),
      dispatcher_(std::make_unique<QtDispatcher>()),
      timeOfUse_(std::make_unique<TimeOfUse>()) {
    window_ = std::make_unique<MainMenu>(record_, analytics_, *dispatcher_);
    StartupServices services;
    if (options_.loadConfiguration) services.loadConfiguration = &CoreConfiguration::loadFromFiles;
    if (options_.updateCheck) services.updateUser = window_.get();
    services.crashReportDirectory = AppPaths::stateDirectory();
    // The core reaches the window only through the dispatcher, which is stopped before the
    // window goes: the window is lent, not shared.
    std::shared_ptr<MainWindowActions> lent(window_.get(), [](MainWindowActions*) {});
    core_ = std::make_unique<ApplicationCore>(record_, *dispatcher_, lent, analytics_,
                                              CoreConfiguration::defaults(), options_.workingBase,
                                              std::move(services));
    flow_ = std::make_unique<DeviceRecoveryFlow>(*core_, record_, *dispatcher_, analytics_);
    // The close button ends the process at once, scans still running: the copies of the
    // phone's photos and the other working files go first, since no destructor runs after.
    std::function<void(int)> end = options_.endProcess ? options_.endProcess : ApplicationShutdown::EndProcessNow;
    shutdown_ = std::make_unique<ApplicationShutdown>(
        *timeOfUse_, analytics_, [] { QApplication::quit(); }, [end = std::move(end)](int status) {
            TemporaryFiles::removeAll();
            end(status);
        });
    window_->attach(*core_, *flow_, shutdown_.get(), options_.banner ? timeOfUse_.get() : nullptr);
}

TorvaneApplication::~TorvaneApplication() {
    signals_.reset();
    dispatcher_->stop();
    flow_.reset();
    core_.reset();
    shutdown_.reset();
    window_.reset();
}

void TorvaneApplication::start() {
    // A logout or a kill ends the program as the close button does: the time of use, the close
    // event, and the copies of the phone's photos and the other working files removed. A second
    // signal while that runs removes the working files and ends the process at once.
    if (options_.watchSignals && !signals_)
        signals_ = std::make_unique<InterruptWatcher>(
            [this](int) { dispatcher_->post([this] { shutdown_->OnTerminate(); }); },
            [](int) { TemporaryFiles::removeAll(); });
    core_->applicationDidFinishLaunching();
    if (options_.listenForDevices) flow_->listenForDevices(std::make_shared<MobileDeviceAccess>());
    window_->windowStartup();
    window_->show();
    WindowStartup::centreOnScreen(*window_);
    window_->raise();
    window_->activateWindow();
    installOpenShortcut(*window_);
    activateStatusMenu(*window_);
    if (options_.backupFolder)
        window_->openBackupFolder(QString::fromStdString(*options_.backupFolder));
}

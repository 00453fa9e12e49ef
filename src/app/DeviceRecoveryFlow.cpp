#include "app/DeviceRecoveryFlow.h"

#include "app/ApplicationCore.h"
#include "app/DeviceDetails.h"
#include "app/MainThreadDispatcher.h"
#include "app/MainWindow.h"
#include "app/ScanWorker.h"
#include "app/WindowTypes.h"
#include "device/AMDevice.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

DeviceRecoveryFlow::DeviceRecoveryFlow(ApplicationCore& core, BrimleyAppDelegate& record,
                                       MainThreadDispatcher& dispatcher, AnalyticsEvents& analytics,
                                       std::function<void()> scanEnded)
    : core_(core),
      record_(record),
      dispatcher_(dispatcher),
      backup_(record, dispatcher, core.window(), core.deviceDetails(), core.scanWorker(), analytics,
              DeviceBackupSettings::fromConfiguration(core.configuration()), std::move(scanEnded)) {}

DeviceRecoveryFlow::~DeviceRecoveryFlow() {
    if (access_) {
        access_->setListener(nullptr);
        access_->applicationWillTerminate();
        if (record_.MobileDevice.get() == access_) record_.MobileDevice.set(nullptr);
    }
    record_.mDevice.set(nullptr);
}

void DeviceRecoveryFlow::listenForDevices(std::shared_ptr<MobileDeviceAccess> access) {
    access_ = std::move(access);
    record_.MobileDevice.set(access_);
    access_->setListener(this, [&dispatcher = dispatcher_](std::function<void()> work) {
        dispatcher.post(std::move(work));
    });
}

void DeviceRecoveryFlow::deviceConnected(const std::shared_ptr<AMDevice>& device) {
    if (!device || !device->deviceName()) return;
    record_.isDeviceConnected = true;
    record_.mDevice.set(device);
    core_.window().deviceConnected();
}

void DeviceRecoveryFlow::deviceDisconnected(const std::shared_ptr<AMDevice>& device) {
    if (!device || !device->deviceName()) return;
    record_.RecoverType = 1;
    if (const auto current = record_.deviceInfo.get()) {
        auto info = std::make_shared<DeviceInfo>(*current);
        info->setConnected(false);
        record_.deviceInfo.set(std::move(info));
    }
    record_.isDeviceConnected = false;
    // A departed device can no longer be read: the next reading picks a listed one.
    if (record_.mDevice.get() == device) record_.mDevice.set(nullptr);
    core_.window().deviceDisconnected();
}

void DeviceRecoveryFlow::homeDevicePressed() {
    MainWindowActions& window = core_.window();
    window.hideImageView();
    core_.scanWorker().clearData();
    window.setAllButtonDisable();
    window.showScreen(ScreenState::ScreenHome);
    record_.hasDoneScan = false;
    window.returnMainScreen();
}

void DeviceRecoveryFlow::homeBackupPressed() {
    MainWindowActions& window = core_.window();
    core_.scanWorker().clearData();
    window.showScreen(ScreenState::ScreenHome);
    window.setAllButtonDisable();
    window.hideImageView();
    record_.hasDoneScan = false;
    window.recoverFromMac();
}

void DeviceRecoveryFlow::startRecovery() {
    core_.scanWorker().clearData();
    record_.hasDoneScan = false;
    core_.window().showScreen(ScreenState::ScreenHome);
    core_.window().showRecoverView();
}

void DeviceRecoveryFlow::restartRecovery() {
    core_.window().fullRecover();
}

bool DeviceRecoveryFlow::DeviceRecovery(std::int32_t tag) {
    record_._RecoverMode = tag;
    record_.RecoverType = 0;
    const auto access = record_.MobileDevice.get();
    if (record_.isDeviceConnected && access && !access->devices().empty()) {
        if (!core_.deviceDetails().getInfoFromDevice(backup_.settings().mobileSyncFolder)) return false;
        const auto info = record_.deviceInfo.get();
        backup_.BackupAgent(info ? info->UniqueDeviceID().value_or("") : "");
        core_.window().showScreen(ScreenState::ScreenInitialLoading);
        return true;
    }
    core_.window().runAlert({"Device not Found, please Reconnect", "", {"Close"}}, [](std::size_t) {});
    return false;
}

#pragma once

#include "app/DeviceBackup.h"
#include "device/MobileDeviceAccess.h"

#include <cstdint>
#include <functional>
#include <memory>

class AMDevice;
class AnalyticsEvents;
class ApplicationCore;
class BrimleyAppDelegate;
class MainThreadDispatcher;

// The device half of the application core: the device callbacks that keep the record's
// connection state, the entry actions through which a new recovery begins, and the device
// backup that precedes a recovery from a connected device. A front end makes one beside its
// ApplicationCore and lets it listen for devices; everything here runs on the main thread.
class DeviceRecoveryFlow : public MobileDeviceAccessListener {
public:
    // `scanEnded` runs on the scan's thread when a scan started by the device backup has ended.
    DeviceRecoveryFlow(ApplicationCore& core, BrimleyAppDelegate& record, MainThreadDispatcher& dispatcher,
                       AnalyticsEvents& analytics, std::function<void()> scanEnded = {});
    // Stops listening, stops a backup that still runs, and closes every device's session.
    ~DeviceRecoveryFlow() override;
    DeviceRecoveryFlow(const DeviceRecoveryFlow&) = delete;
    DeviceRecoveryFlow& operator=(const DeviceRecoveryFlow&) = delete;

    // Start-up's device step: keeps the device access in the record and becomes its listener;
    // arrivals and departures come through the dispatcher.
    void listenForDevices(std::shared_ptr<MobileDeviceAccess> access);

    // ---- Device callbacks (a device without a name is ignored) ----
    void deviceConnected(const std::shared_ptr<AMDevice>& device) override;
    void deviceDisconnected(const std::shared_ptr<AMDevice>& device) override;

    // ---- Entry actions ----
    // A new scan of a connected device: the previous results go and the home screen shows.
    void homeDevicePressed();
    // A new scan of a backup folder: the previous results go and the folder choice shows.
    void homeBackupPressed();
    void startRecovery();
    void restartRecovery();
    // Backs the connected device up and scans the backup (`tag`: 0 fast, 1 full). False, with
    // the "Device not Found, please Reconnect" alert when no device is connected, or silently
    // when the device's details cannot be read.
    bool DeviceRecovery(std::int32_t tag);

    DeviceBackup& deviceBackup() { return backup_; }

private:
    ApplicationCore& core_;
    BrimleyAppDelegate& record_;
    MainThreadDispatcher& dispatcher_;
    std::shared_ptr<MobileDeviceAccess> access_;
    DeviceBackup backup_;
};

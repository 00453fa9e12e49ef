#include "app/ScanClearing.h"

#include "app/DataTypes.h"
#include "app/MainWindow.h"
#include "app/WorkingFolder.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "services/ServicesManager.h"

#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void ClearScanResults(BrimleyAppDelegate& record, MainWindowActions& window,
                      WorkingFolder* workingFolder) {
    window.clearScreens();
    window.removeSelection();
    // The copies of the previous scan's databases go with the working folder's contents.
    record.backupFiles.set(nullptr);
    if (workingFolder) workingFolder->clear();

    for (const auto& descriptor : DataTypes())
        if (descriptor.clear) descriptor.clear(record);
    // What the services kept of the previous scan for their own work goes too, before the new
    // scan reads its records beside them.
    if (const auto services = record.servicesMgr.get()) services->releaseResults();
    // The new scan starts from what is still in use.
    ReleaseFreedMemory();
    record.DatabaseProblems.clear();
    record.carvingProblem.set(std::nullopt);
    record.MediaNotCopied.clear();
}

void ClearDeviceDetails(BrimleyAppDelegate& record, MainWindowActions& window) {
    const auto current = record.deviceInfo.get();
    auto cleared = std::make_shared<DeviceInfo>(current ? *current : DeviceInfo{});
    cleared->setDeviceName("");
    cleared->setDisplayName("");
    cleared->setSerialNumber("");
    cleared->setProductType("");
    cleared->setUniqueDeviceID("");
    cleared->setProductVersion("");
    cleared->setFirmwareVersion("");
    cleared->setIMSI("");
    cleared->setIMEI("");
    cleared->setICICD("");
    cleared->setKnownIfEncrypted(false);
    cleared->setIsEncrypted(false);
    cleared->setIOSMajorVersion(0);
    cleared->setIOSMinorVersion(0);
    record.deviceInfo.set(std::move(cleared));
    window.updateDisplayName("");
}

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

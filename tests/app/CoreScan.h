#pragma once

#include "app/ApplicationCore.h"
#include "app/DeviceDetails.h"
#include "app/HeadlessDispatcher.h"
#include "app/ScanWorker.h"
#include "records/BrimleyAppDelegate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

// One whole scan of every type of a backup folder on the core, as the headless front end starts
// it (`recoverType` 1: a backup folder, 0: as a device's fresh backup), run on the dispatcher as
// the core's main thread; returns when the scan has ended.
inline void ScanEveryType(ApplicationCore& core, BrimleyAppDelegate& record,
                          HeadlessDispatcher& dispatcher, const std::string& backup,
                          std::int32_t recoverType) {
    dispatcher.post([&] {
        core.applicationDidFinishLaunching();
        record.BACKUP_DIRECTORY.set(backup);
        record._RecoverType = recoverType;
        record._RecoverMode = 0;
        EXPECT_TRUE(core.deviceDetails().getInfoFromBackup());
        core.scanWorker().start(std::make_shared<dataTypeHolder>(DataType::DataTypeAll),
                                [&] { dispatcher.stop(); });
    });
    dispatcher.run();
    core.scanWorker().wait();
}

// The older carving path over a fuzzed database file: the input stands for the database of every
// role, and the dispatcher runs the routines of a few iOS versions over it (messages, notes,
// call history, calendar, WhatsApp, contacts), plus the iOS 7 iMessage parser that no sequence
// runs. Nothing is read from disk: no backup folder is named, so no live-row query runs.

#include "legacy/LegacyMessageCarving.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/ScanContext.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FileBytes bytes(data, size);
    for (const std::int32_t version : {3, 4, 5, 6, 7}) {
        BrimleyAppDelegate record;
        auto device = std::make_shared<DeviceInfo>();
        device->setIOSMajorVersion(version);
        ScanContext context;
        context.device = device;
        context.results = &record;
        LegacyRecovery run(context);
        for (std::size_t role = 0; role < kDatabaseRoleCount; ++role)
            run.setDatabaseBytes(static_cast<DatabaseRole>(role), bytes);
        run.RecoverDeletedDataNonSignatures();
        if (version == 7) LegacyMessageCarving(run).RecoverDeletediMessage_iOS7_0_2();
    }
    return 0;
}

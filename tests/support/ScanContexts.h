#pragma once

#include "app/ScanInputs.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <memory>
#include <stop_token>

namespace testsupport {

// The context of a scan of what the record describes, the record being its results record, as
// the scan worker makes it.
inline ScanContext ContextFor(BrimleyAppDelegate& record, std::stop_token stop = {}) {
    return ScanContextOf(record, std::move(stop));
}

// The same, for a device record of the test's own.
inline ScanContext ContextFor(BrimleyAppDelegate& record, const DeviceInfo& device,
                              std::stop_token stop = {}) {
    ScanContext context = ScanContextOf(record, std::move(stop));
    context.device = std::make_shared<const DeviceInfo>(device);
    return context;
}

}  // namespace testsupport

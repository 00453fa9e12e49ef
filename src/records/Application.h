#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One installed application.
class Application {
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(ApplicationName, setApplicationName)
    // The name is spelled so in the screens and the export that read it.
    TORVANE_TEXT_FIELD_OF_RECORD(BundleIdentifer, setBundleIdentifer)
    TORVANE_TEXT_FIELD_OF_RECORD(BundleVersion, setBundleVersion)
};

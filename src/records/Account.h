#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One mail or internet account of the device.
class Account {
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(Username, setUsername)
    TORVANE_TEXT_FIELD_OF_RECORD(PortNumber, setPortNumber)
    TORVANE_TEXT_FIELD_OF_RECORD(ClassName, setClassName)
    TORVANE_TEXT_FIELD_OF_RECORD(Hostname, setHostname)
};

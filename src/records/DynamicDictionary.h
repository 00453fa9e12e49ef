#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One word the user taught the keyboard (its user dictionary).
class DynamicDictionary {
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(UserKey, setUserKey)
};

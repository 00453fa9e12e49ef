#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One browser cookie; every attribute is kept as text, HttpOnly included.
class Cookies {
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(Domain, setDomain)
    TORVANE_TEXT_FIELD_OF_RECORD(HttpOnly, setHttpOnly)
    TORVANE_TEXT_FIELD_OF_RECORD(Name, setName)
    TORVANE_TEXT_FIELD_OF_RECORD(Path, setPath)
    TORVANE_TEXT_FIELD_OF_RECORD(Value, setValue)
};

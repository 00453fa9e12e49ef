#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One visited page of the browser history.
class InternetHistory {
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(Url, setUrl)
    // "yyyy-MM-dd HH:mm:ss", local time.
    TORVANE_TEXT_FIELD_OF_RECORD(LastVisitedDate, setLastVisitedDate)
    TORVANE_TEXT_FIELD_OF_RECORD(Title, setTitle)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, VisitCount, setVisitCount, 0)
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)
};

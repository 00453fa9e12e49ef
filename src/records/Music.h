#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One music file.
class Music {
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(FileName, setFileName)
    TORVANE_TEXT_FIELD_OF_RECORD(FileID, setFileID)
};

#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One search of the maps application.
class MapHistory {
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(Query, setQuery)
    TORVANE_TEXT_FIELD_OF_RECORD(Location, setLocation)
    TORVANE_TEXT_FIELD_OF_RECORD(Latitude, setLatitude)
    TORVANE_TEXT_FIELD_OF_RECORD(Longitude, setLongitude)
};

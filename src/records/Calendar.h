#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One calendar event as the calendar screen shows it and the export writes it.
class Calendar {
    // Row number; 0 for carved events.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(Summary, setSummary)
    // Place text.
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(Location, setLocation)
    TORVANE_TEXT_FIELD_OF_RECORD(Description, setDescription)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(StartDate, setStartDate)
    TORVANE_TEXT_FIELD_OF_RECORD(Start_TimeZone, setStart_TimeZone)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(EndDate, setEndDate)
    // "1" for an all-day event, else "0" (a live row carries its column text).
    TORVANE_TEXT_FIELD_OF_RECORD(AllDay, setAllDay)
    // Start time text as made when carving (stored files use this spelling).
    TORVANE_TEXT_FIELD_OF_RECORD(OrginalDate, setOrginalDate)
    TORVANE_TEXT_FIELD_OF_RECORD(Priority, setPriority)
    // 1 when ticked for export, 0 otherwise.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(UniqueIdentifier, setUniqueIdentifier)
};

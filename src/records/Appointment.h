#pragma once

#include "common/Clock.h"
#include "records/BaseRecoveryObject.h"
#include "records/RecordFields.h"

#include <cstdint>
#include <string>

// One item of the phone's calendar database (a CalendarItem row, an Event row before iOS 5),
// as the calendar carvers fill it. Turned into the display record Calendar by
// generateCalendarObject (database layer), which looks the event's place up in the calendar
// database.
class Appointment : public baseRecoveryObject {
public:
    // Same title, time zone and start text (an absent text equals nothing).
    bool IsEqual(const Appointment& other) const;
    // The time zone, or the empty text for none and for the floating zone "_float".
    std::string StartTimeZoneText() const;
    // The address for display: the empty text for none; from 16 characters on its short form
    // followed by "..."; otherwise the address itself.
    std::string UrlShort() const;
    // "yyyy-MM-dd HH:mm:ss" in local time; the empty text without a time.
    std::string StartDateText() const;
    std::string EndDateText() const;
    // "1" for an all-day event, else "0".
    std::string AppointmentAllDayLabel() const { return AllDay_ ? "1" : "0"; }

    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, appointmentID, setAppointmentID, 0)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, AllDay, setAllDay, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, BirthDayEvent, setBirthDayEvent, false)
    // The item's row of the Location table.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, LocationId, setLocationId, 0)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, LocationLatitude, setLocationLatitude, 0)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, LocationLongitude, setLocationLongitude, 0)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, CalendarId, setCalendarId, 0)
    // The item's title.
    TORVANE_TEXT_FIELD_OF_RECORD(Summary, setSummary)
    TORVANE_TEXT_FIELD_OF_RECORD(ShortSummary, setShortSummary)
    TORVANE_TEXT_FIELD_OF_RECORD(Description, setDescription)
    TORVANE_TEXT_FIELD_OF_RECORD(ShortDescription, setShortDescription)
    // A zone name, or "_float" for an item without a zone.
    TORVANE_TEXT_FIELD_OF_RECORD(StartTimeZone, setStartTimeZone)
    TORVANE_TEXT_FIELD_OF_RECORD(LocationTitle, setLocationTitle)
    TORVANE_TEXT_FIELD_OF_RECORD(CalendarName, setCalendarName)
    TORVANE_VALUE_FIELD_OF_RECORD(OptString, Url, setUrl, std::string())
    TORVANE_TEXT_FIELD_OF_RECORD(Color, setColor)
    TORVANE_TEXT_FIELD_OF_RECORD(UniqueIdentifier, setUniqueIdentifier)
    // The item's privacy level as text, which the lists show as its priority.
    TORVANE_TEXT_FIELD_OF_RECORD(PrivacyLevel, setPrivacyLevel)
    // The start time as text, made when the item was carved.
    TORVANE_TEXT_FIELD_OF_RECORD(OriginalStartDate, setOriginalStartDate)
    TORVANE_TEXT_FIELD_OF_RECORD(Subject, setSubject)
    TORVANE_TEXT_FIELD_OF_RECORD(Details, setDetails)
    TORVANE_VALUE_FIELD_OF_RECORD(OptDate, StartTime, setStartTime, std::nullopt)
    TORVANE_VALUE_FIELD_OF_RECORD(OptDate, EndTime, setEndTime, std::nullopt)
};

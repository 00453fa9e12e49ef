#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One call as the call screen shows it and the export writes it.
class CallLog {
public:
    // The name fill: a call whose ContactName is absent or empty is named by its Address.
    void fillContactName() {
        const OptString address = Address();
        updateContactName([&](OptString& name) {
            if (!name || name->empty()) name = address;
        });
    }
    // The full fill: the name fill, then "Unknown" for a name and an address that are still
    // absent or empty.
    void fillUnknowns() {
        fillContactName();
        const auto unknown = [](OptString& text) {
            if (!text || text->empty()) text = std::string("Unknown");
        };
        updateContactName(unknown);
        updateAddress(unknown);
    }

    // Row number shown in the list, counted from 1.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    // Phone number or address of the other party.
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(Address, setAddress)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(LocalTime, setLocalTime)
    TORVANE_TEXT_FIELD_OF_RECORD(PhoneNumber, setPhoneNumber)
    // Direction and outcome, e.g. "Incoming - Missed call".
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(CallType, setCallType)
    // The other party's name; the empty text when unknown.
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(ContactName, setContactName)
    // Seconds.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, CallDuration, setCallDuration, 0)
    // "Call" or "FaceTime".
    TORVANE_TEXT_FIELD_OF_RECORD(CallMode, setCallMode)
    // 1 when ticked for export or transfer, 0 otherwise.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)
};

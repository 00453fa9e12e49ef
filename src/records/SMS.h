#pragma once

#include "records/CompactText.h"
#include "records/RecordFields.h"

#include <cstdint>

// One message as the messages screen shows it and the export writes it: a live row of the
// messages database, or a carved message converted by generateSMSObject. A large database lists
// millions of them, so the texts are kept compact: the getters answer copies.
class SMS {
public:
    // The same message: both guids present and equal. No other field takes part, so a carved
    // copy of a live message is recognised whatever its address, time or row id.
    bool isRoughlyEqual(const SMS& other) const { return SameText(GUID(), other.GUID()); }
    // The key of isRoughlyEqual for hashed look-ups: the guid; none without one.
    static OptString GuidKey(const SMS& sms) { return sms.GUID(); }

    // ROWID of the live row; 0 for the schemas before iOS 6; -1 for a carved message.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, RowID, setRowID, 0)
    // A second row id that nothing sets; the carving engine's on-list test reads it.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, RowId, setRowId, 0)
    // The partner's address: the handle's id, or "unknown<n>" for a carved message whose
    // partner is not known. The message service may rewrite it while the screens show it.
    TORVANE_COMPACT_TEXT_FIELD_OF_RECORD(SharedPooledText, Address, setAddress)
    // Message time as display text; " " for a carved time that is not plausible.
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 0, LocalTime, setLocalTime)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 1, Message, setMessage)
    // "Sent to", "Received from", "Message Send Failure", or the old schemas' type text.
    TORVANE_COMPACT_TEXT_FIELD_OF_RECORD(SharedText, Type, setType)
    // Running number in the list: from 1 for live rows, 0 for carved ones.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, handleID, setHandleID, 0)
    // Taken from the carved row, so pooled rather than kept for good.
    TORVANE_COMPACT_TEXT_FIELD_OF_RECORD(SharedPooledText, service, setService)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 2, GUID, setGUID)
    // 1 when ticked for export, 0 otherwise.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)
    // Carved (deleted) rather than live.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, isRecovered, setIsRecovered, false)

private:
    // The message's own texts: its time, its body and its guid.
    CompactTexts<3> texts_;
};

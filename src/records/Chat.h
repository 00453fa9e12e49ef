#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One chat of the messages database (for the chat list), or one line of a chat joined with its
// message (for the lines of one chat).
class Chat {
    TORVANE_TEXT_FIELD_OF_RECORD(chat_identifier, setChat_identifier)
    // "1" for a line sent from the device, "0" otherwise.
    TORVANE_TEXT_FIELD_OF_RECORD(is_from_me, setIs_from_me)
    // The line's time as display text.
    TORVANE_TEXT_FIELD_OF_RECORD(date, setDate)
    TORVANE_TEXT_FIELD_OF_RECORD(text, setText)
    // The chat's ROWID.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, RowId, setRowId, 0)
    // The chat's service name ("SMS", "iMessage").
    TORVANE_TEXT_FIELD_OF_RECORD(servicType, setServicType)
};

#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// The text after the number in a WhatsApp user address ("<number>@s.whatsapp.net").
inline constexpr const char* WhatsAppUserSuffix = "@s.whatsapp.net";

// One WhatsApp message as the WhatsApp screen shows it and the export writes it.
class WhatsApp {
public:
    // Whether the two records stand for the same message as far as the carver can tell: their
    // time texts are equal. The text plays no part; an absent time equals nothing.
    bool isRoughlyEqual(const WhatsApp& other) const {
        return SameText(MessageDate(), other.MessageDate());
    }

    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(MessageDate, setMessageDate)
    // Sender's user address.
    TORVANE_TEXT_FIELD_OF_RECORD(FromMsgID, setFromMsgID)
    // Receiver's user address.
    TORVANE_TEXT_FIELD_OF_RECORD(ToMsgID, setToMsgID)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(zText, setZText)
    // Sent from the phone.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, isSent, setIsSent, false)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(ContactName, setContactName)
    // Whether ContactName is a non-empty text.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, ishavingName, setIshavingName, false)
    // 1 when ticked for export or transfer, 0 otherwise.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)
    // Partner phone number; absent for carved messages.
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(PhoneNo, setPhoneNo)
};

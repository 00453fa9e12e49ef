#pragma once

#include "records/BaseRecoveryObject.h"
#include "records/CompactText.h"
#include "records/RecordFields.h"

#include <cstdint>
#include <memory>

class ConversationContact;
class MessageAttachment;

// One row of the messages database's message table, carved or read live. The base keeps RowId,
// Text, Service, Account, Country and Recovered. A carved message reaches the lists as an SMS
// through generateSMSObject (database layer), which may look its partner up in the handle table.
// A run can carve hundreds of thousands of them, so the texts of the row are kept in one block
// (the getters answer copies).
class Message : public baseRecoveryObject {
    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsActivated, setIsActivated, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsVisible, setIsVisible, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, HasAttachment, setHasAttachment, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsSelected, setIsSelected, false)
    // Sent from the device (is_from_me).
    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsFromMe, setIsFromMe, false)
    // The flags column of the older message tables.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, Flags, setFlags, 0)
    // The partner the message service attributed the message to.
    TORVANE_VALUE_FIELD_OF_RECORD(std::shared_ptr<::ConversationContact>, ConversationContact,
                                  setConversationContact, nullptr)
    TORVANE_VALUE_FIELD_OF_RECORD(std::shared_ptr<::MessageAttachment>, MessageAttachment,
                                  setMessageAttachment, nullptr)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 0, ContactFullName, setContactFullName)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 1, ContactPhone, setContactPhone)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 2, ContactEmail, setContactEmail)
    // The partner's address as the old schemas store it in the row; absent from iOS 6 on,
    // where the row names its partner through HandleId.
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 3, Address, setAddress)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 4, AccountGuid, setAccountGuid)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 5, Guid, setGuid)
    // The raw date, date_read and date_delivered (seconds since 2001-01-01).
    TORVANE_VALUE_FIELD_OF_RECORD(double, OriginalDate, setOriginalDate, 0.0)
    TORVANE_VALUE_FIELD_OF_RECORD(double, OriginalDateRead, setOriginalDateRead, 0.0)
    TORVANE_VALUE_FIELD_OF_RECORD(double, OriginalDataDelivered, setOriginalDataDelivered, 0.0)
    // The same moments as display texts, or " " when not plausible.
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 6, Date, setDate)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 7, DateRead, setDateRead)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 8, DateDelivered, setDateDelivered)
    TORVANE_PACKED_TEXT_FIELD_OF_RECORD(texts_, 9, Id, setId)
    // Row id of the partner's handle row; 0 when absent.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, HandleId, setHandleId, 0)

private:
    // The texts of the row, in the order of the fields above, in one block.
    CompactTexts<10> texts_;
};

#pragma once

#include "records/BaseRecoveryObject.h"
#include "records/RecordFields.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One media item of a WhatsApp message (a ZWAMEDIAITEM row).
class WhatsAppMessageAttachment {
    // False for items read from the live database.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, Recovered, setRecovered, false)
    // Path of the backup file that holds the media.
    TORVANE_TEXT_FIELD_OF_RECORD(ZMediaLocalPath, setZMediaLocalPath)
    // The media path as the database records it.
    TORVANE_TEXT_FIELD_OF_RECORD(OriginalZMediaLocalPath, setOriginalZMediaLocalPath)
    TORVANE_TEXT_FIELD_OF_RECORD(ZThumbnailLocalPath, setZThumbnailLocalPath)
    TORVANE_TEXT_FIELD_OF_RECORD(OriginalZThumbnailLocalPath, setOriginalZThumbnailLocalPath)
    // Bytes.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, ZFileSize, setZFileSize, 0)
    // Seconds.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, ZMovieDuration, setZMovieDuration, 0)
};

class WhatsAppMessage;

// One WhatsApp chat partner.
class WhatsAppContact {
    TORVANE_VALUE_FIELD_OF_RECORD(bool, Recovered, setRecovered, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, ContainsDeletedMessage, setContainsDeletedMessage, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, isChecked, setIsChecked, false)
    // The partner's user address.
    TORVANE_TEXT_FIELD_OF_RECORD(ZContactJID, setZContactJID)
    // "+" followed by the number part of the address.
    TORVANE_TEXT_FIELD_OF_RECORD(Phone, setPhone)
    TORVANE_TEXT_FIELD_OF_RECORD(ZPartnerName, setZPartnerName)
    // Path of the profile picture.
    TORVANE_TEXT_FIELD_OF_RECORD(ZContactProfileBitmapImage, setZContactProfileBitmapImage)
    // The partner's messages.
    TORVANE_VALUE_FIELD_OF_RECORD(std::vector<std::shared_ptr<WhatsAppMessage>>,
                                  ObservableCollection, setObservableCollection, {})
};

// One row of WhatsApp's message table (ZWAMESSAGE), read live or carved from free space.
// Turned into the display record WhatsApp by generateWhatsAppObject (database layer), which
// looks the partner's name up in the chat database.
class WhatsAppMessage : public baseRecoveryObject {
public:
    // The partner's name, or the empty text without a partner.
    std::string ContactFullName() const;
    // The partner's phone, or the empty text without a partner.
    std::string ContactPhone() const;
    // "Sent" or "Received".
    std::string Type() const { return IsFromMe_ ? "Sent" : "Received"; }
    bool HasAttachment() const { return whatsAppMessageAttachment_ != nullptr; }
    // The number part (before the last "@") of the sender's address for a sent message, of the
    // receiver's otherwise; the empty text when there is none.
    std::string GetZMessageNumberOrEmpty() const;
    // Whether both records hold the same texts, stanza identifier and push name (an absent
    // text equals nothing).
    bool IsEqual(const WhatsAppMessage& other) const;

    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsActivated, setIsActivated, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsVisible, setIsVisible, false)
    // Sent from the phone (ZISFROMME).
    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsFromMe, setIsFromMe, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, isChecked, setIsChecked, false)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, ZPrimaryKey, setZPrimaryKey, 0)
    TORVANE_VALUE_FIELD_OF_RECORD(std::shared_ptr<WhatsAppContact>, whatsAppContact,
                                  setWhatsAppContact, nullptr)
    TORVANE_VALUE_FIELD_OF_RECORD(std::shared_ptr<WhatsAppMessageAttachment>,
                                  whatsAppMessageAttachment, setWhatsAppMessageAttachment, nullptr)
    TORVANE_TEXT_FIELD_OF_RECORD(ZText, setZText)
    // A second date text (the name is spelled so).
    TORVANE_TEXT_FIELD_OF_RECORD(_zmesssageDate, set_zmesssageDate)
    // Sender's user address; empty or absent for messages sent from the phone.
    TORVANE_TEXT_FIELD_OF_RECORD(ZFromJid, setZFromJid)
    // The name the sender publishes.
    TORVANE_TEXT_FIELD_OF_RECORD(ZPushName, setZPushName)
    TORVANE_TEXT_FIELD_OF_RECORD(ZToJid, setZToJid)
    // The message's stanza identifier.
    TORVANE_TEXT_FIELD_OF_RECORD(ZStandZAid, setZStandZAid)
    // Message time as text.
    TORVANE_TEXT_FIELD_OF_RECORD(Date, setDate)
    // The raw time, seconds since 2001-01-01.
    TORVANE_VALUE_FIELD_OF_RECORD(double, OriginalDate, setOriginalDate, 0.0)
};

#pragma once

#include "records/RecordFields.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Message;

// One phone number of a conversation partner.
class ContactPhoneNumber {
    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsPhoneNumber, setIsPhoneNumber, false)
    TORVANE_TEXT_FIELD_OF_RECORD(Country, setCountry)
    TORVANE_TEXT_FIELD_OF_RECORD(PhoneNumber, setPhoneNumber)
    TORVANE_TEXT_FIELD_OF_RECORD(GooglePhoneNumber, setGooglePhoneNumber)

public:
    // Whether the text is exactly the number: its GooglePhoneNumber when it is a phone number
    // and has one, else its PhoneNumber. An absent text or number equals nothing.
    static bool AreEqual(const ContactPhoneNumber& phone, const OptString& stringPhone) {
        const bool google = phone.IsPhoneNumber() && phone.GooglePhoneNumber().has_value();
        return SameText(google ? phone.GooglePhoneNumber() : phone.PhoneNumber(), stringPhone);
    }
};

// One conversation partner as the message services gather it: the names, numbers, e-mail
// addresses and handle row ids under which the partner appears. Every list exists, empty,
// from the start, so the services append without creating it.
class ConversationContact {
public:
    std::vector<std::string>& Names() { return Names_; }
    const std::vector<std::string>& Names() const { return Names_; }
    void setNames(std::vector<std::string> v) { Names_ = std::move(v); }

    std::vector<std::shared_ptr<ContactPhoneNumber>>& PhoneNumbers() { return PhoneNumbers_; }
    const std::vector<std::shared_ptr<ContactPhoneNumber>>& PhoneNumbers() const {
        return PhoneNumbers_;
    }
    void setPhoneNumbers(std::vector<std::shared_ptr<ContactPhoneNumber>> v) {
        PhoneNumbers_ = std::move(v);
    }

    std::vector<std::string>& Emails() { return Emails_; }
    const std::vector<std::string>& Emails() const { return Emails_; }
    void setEmails(std::vector<std::string> v) { Emails_ = std::move(v); }

    std::vector<std::shared_ptr<Message>>& Messages() { return Messages_; }
    const std::vector<std::shared_ptr<Message>>& Messages() const { return Messages_; }
    void setMessages(std::vector<std::shared_ptr<Message>> v) { Messages_ = std::move(v); }

    // Handle row ids of the partner; a carved message is attributed by its handle id.
    std::vector<std::int64_t>& RowIds() { return RowIds_; }
    const std::vector<std::int64_t>& RowIds() const { return RowIds_; }
    void setRowIds(std::vector<std::int64_t> v) { RowIds_ = std::move(v); }

    // Set once a carved message has been attributed to the partner.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, ContainsDeletedMessage, setContainsDeletedMessage, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, NotContainsDeletedMessage, setNotContainsDeletedMessage,
                                  false)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, HandleRowId, setHandleRowId, 0)
    // Group id of the oldest schemas.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, GroupId, setGroupId, 0)
    // ROWID of the chat the partner belongs to.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, ChatId, setChatId, 0)
    // The handle address through which the partner was found.
    TORVANE_TEXT_FIELD_OF_RECORD(PhoneNumberHandleId, setPhoneNumberHandleId)

private:
    std::vector<std::string> Names_;
    std::vector<std::shared_ptr<ContactPhoneNumber>> PhoneNumbers_;
    std::vector<std::string> Emails_;
    std::vector<std::shared_ptr<Message>> Messages_;
    std::vector<std::int64_t> RowIds_;
};

// One member of a message group of the oldest schemas.
class GroupMember {
    TORVANE_TEXT_FIELD_OF_RECORD(Country, setCountry)
    TORVANE_TEXT_FIELD_OF_RECORD(Address, setAddress)
};

// An attachment of a message.
class MessageAttachment {
    TORVANE_TEXT_FIELD_OF_RECORD(BackupThumbnailFilenamePath, setBackupThumbnailFilenamePath)
    TORVANE_TEXT_FIELD_OF_RECORD(BackupFilenamePath, setBackupFilenamePath)
    TORVANE_TEXT_FIELD_OF_RECORD(Filename, setFilename)
    TORVANE_TEXT_FIELD_OF_RECORD(Transfername, setTransfername)
    TORVANE_TEXT_FIELD_OF_RECORD(Created, setCreated)
};

#pragma once

#include "records/BaseRecoveryObject.h"
#include "records/RecordFields.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

class BrimleyAppDelegate;
class CallLog;
class Contact;

// The names of the contacts of a shared state record by their first three numbers, read once:
// what getContactNamefromNumber finds, without a walk of every contact per call.
class ContactNamesByNumber {
public:
    explicit ContactNamesByNumber(const BrimleyAppDelegate& state);
    // As CallHistory::getContactNamefromNumber on the record as it was when read.
    std::string nameFor(const OptString& number) const;

private:
    struct Holder {
        std::size_t position;  // of the first contact holding the number, live ones first
        std::string name;
    };
    const Holder* find(const std::string& number) const;
    std::unordered_map<std::string, Holder> byNumber_;
};

// The type text of a call by who placed it and whether it was taken ("Outgoing - Answered",
// "Incoming - Missed call"): one wording for the calls read and the calls carved.
std::string CallTypeText(bool outgoing, bool answered);

// What a row of either call store says of one call, as read from the live table or carved.
struct CallFacts {
    // A row of the newer store's ZCALLRECORD table; else of the older `call` table.
    bool callStore = false;
    // The older table's flags (only the low 8 bits count) or the newer store's call type.
    std::int32_t flags = 0;
    // The newer store's mark of a call placed from the phone.
    bool originated = false;
    // The row's answered mark, where it keeps one (the older table's `answered` of iOS 7, the
    // newer store's ZANSWERED); both stores mark only incoming calls.
    std::optional<bool> answered;
    // Whole seconds, as CallSeconds gives them.
    std::int64_t seconds = 0;
};

// Type text and mode text ("Call" or "FaceTime") of one call.
struct CallKind {
    std::string type;
    std::string mode;
};

// The one table of call types, for the calls listed live and the calls carved alike. In the
// older table bit 0 of the flags marks a call placed from the phone (iOS 4 keeps 4 and 5, iOS 7
// keeps 0 and 9, each with high bits of its own) and bit 4 a FaceTime call; in the newer store
// ZORIGINATED gives the direction and call types 8 and 16 are FaceTime calls. A call was
// answered when it lasted; an incoming call with an answered mark goes by its mark.
CallKind KindOfCall(const CallFacts& facts);

// The seconds a call lasted, as listed: a call that lasted less than a second counts as one
// second (it was taken), otherwise whole seconds; nothing for a value that is no duration.
std::int64_t CallSeconds(double duration);

// One call of the phone's call store: a row of the older `call` table (iOS 7 and earlier) or
// of the newer store's ZCALLRECORD table, carved or read. Uses the base's RowId and Recovered.
class CallHistory : public baseRecoveryObject {
public:
    // Same other party and same call time text (an absent text equals nothing).
    bool IsEqual(const CallHistory& other) const;
    // Kept beside the isChecked field for the callers that ask this way; always false.
    bool IsChecked() const { return false; }
    // The other party's full name; the empty text without a contact.
    std::string Fullname() const;

    // The display record of this call for the deleted-calls list of `state`: numbered as the
    // next entry of that list, with its type and mode texts and the other party's name from the
    // live contacts, else from the carved ones.
    std::shared_ptr<CallLog> generateCallLogObject(const BrimleyAppDelegate& state) const;
    // The same, with the names read beforehand.
    std::shared_ptr<CallLog> generateCallLogObject(const BrimleyAppDelegate& state,
                                                   const ContactNamesByNumber& names) const;

    // The name of the first contact of `state` that holds the number, plain or split by
    // splittedTelNumber, as its first, second or third number; live contacts before carved
    // ones. The empty text for an absent or empty number or when no contact holds it.
    static std::string getContactNamefromNumber(const OptString& number,
                                                const BrimleyAppDelegate& state);
    // The contact's nickname, else first name, else last name (a present empty text counts as
    // set); the empty text when it has none.
    static std::string getContactName(const Contact& contact);
    // The number with a no-break space before its sixth character, as the address book stores
    // numbers it has formatted; numbers shorter than six characters come back unchanged.
    static std::string splittedTelNumber(const std::string& number);

    // Direction and outcome, and whether it was a plain call or a FaceTime call: KindOfCall of
    // the record's facts.
    std::string convertCallTypeFlagtoCallTypeString() const;
    std::string convertCallTypeFlagtoCallModeString() const;

    TORVANE_VALUE_FIELD_OF_RECORD(bool, isChecked, setIsChecked, false)
    // The older table's read mark.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, Read, setRead, false)
    // The newer store's mark of a call placed from the phone.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, ZOriginated, setZOriginated, false)
    // The older table's flags (low 8 bits) or the newer store's call type.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, Flags, setFlags, 0)
    // Whether the row came from the newer store, whose flags mean other things.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, InCallStore, setInCallStore, false)
    // The older table's address-book row of the other party.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, ContactRowId, setContactRowId, 0)
    // The other party, when known.
    TORVANE_VALUE_FIELD_OF_RECORD(std::shared_ptr<Contact>, contact, setContact, nullptr)
    TORVANE_TEXT_FIELD_OF_RECORD(Address, setAddress)
    // Call time as local text "yyyy-MM-dd HH:mm:ss".
    TORVANE_TEXT_FIELD_OF_RECORD(Date, setDate)
    // The raw date value of the row.
    TORVANE_VALUE_FIELD_OF_RECORD(double, OriginalDate, setOriginalDate, 0.0)
    // Seconds.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, Duration, setDuration, 0)
    // Whether the call was answered, where the row has such a column (the newer store's
    // ZANSWERED, the older table's `answered` of iOS 7); none where it has not, and the
    // duration tells instead. A call answered for less than a second is still answered.
    TORVANE_VALUE_FIELD_OF_RECORD(std::optional<bool>, ZAnswered, setZAnswered, std::nullopt)
    // The newer store's identifier of the call (ZUNIQUE_ID).
    TORVANE_TEXT_FIELD_OF_RECORD(ZUniqueId, setZUniqueId)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, ZFaceTimeData, setZFaceTimeData, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(MobileCountryCode, setMobileCountryCode)
    TORVANE_TEXT_FIELD_OF_RECORD(MobileNetworkCode, setMobileNetworkCode)
    TORVANE_TEXT_FIELD_OF_RECORD(FaceTimeDataUrl, setFaceTimeDataUrl)
};

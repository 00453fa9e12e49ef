#pragma once

#include "records/BaseRecoveryObject.h"
#include "records/RecordFields.h"

#include <cstdint>
#include <string>

// One entry of a contact: a phone number, e-mail address, postal or messaging address or home
// page, with the label the address book gives it.
class baseContactData {
public:
    virtual ~baseContactData() = default;

    // The label as shown: the address book's "_$!<" and ">!$_" brackets removed; "Other" for an
    // absent or empty label.
    std::string LabelFormated() const;

    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, identifier, setIdentifier, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(Label, setLabel)
};

class ContactNumber : public baseContactData {
    TORVANE_TEXT_FIELD_OF_RECORD(Number, setNumber)
};

class ContactEmailAddress : public baseContactData {
    TORVANE_TEXT_FIELD_OF_RECORD(Email, setEmail)
};

class ContactAddress : public baseContactData {
    TORVANE_TEXT_FIELD_OF_RECORD(Country, setCountry)
    TORVANE_TEXT_FIELD_OF_RECORD(Street, setStreet)
    TORVANE_TEXT_FIELD_OF_RECORD(Postcode, setPostcode)
    TORVANE_TEXT_FIELD_OF_RECORD(City, setCity)
    TORVANE_TEXT_FIELD_OF_RECORD(CountryShort, setCountryShort)
    TORVANE_TEXT_FIELD_OF_RECORD(StateOrCounty, setStateOrCounty)
    TORVANE_TEXT_FIELD_OF_RECORD(ImUsername, setImUsername)
    TORVANE_TEXT_FIELD_OF_RECORD(ImType, setImType)
    TORVANE_TEXT_FIELD_OF_RECORD(ImFullName, setImFullName)
    TORVANE_TEXT_FIELD_OF_RECORD(ImProfileUrl, setImProfileUrl)
};

class ContactHomePage : public baseContactData {
    TORVANE_TEXT_FIELD_OF_RECORD(HomePageUrl, setHomePageUrl)
};

// One row of the address book's multi-value table: one phone number, e-mail address or similar
// value of a person. The value itself is kept in the base's Value.
class ContactABMultiValue : public baseRecoveryObject {
public:
    OptString value() const { return Value(); }

    // Same numbers and the same value and guid texts.
    bool IsEqual(const ContactABMultiValue& other) const {
        return RecordId_ == other.RecordId_ && Property_ == other.Property_ &&
               Identifier_ == other.Identifier_ && Label_ == other.Label_ &&
               SameText(value(), other.value()) && SameText(Guid_, other.Guid_);
    }

    // The person's row id.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, RecordId, setRecordId, 0)
    // Which kind of value the row holds (3 phone number, 4 e-mail address, ...).
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, Property, setProperty, 0)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, Identifier, setIdentifier, 0)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, Label, setLabel, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(Guid, setGuid)
};

// A (property code, value) pair of one multi-value row, as the live contact queries give it.
class Property {
    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, PropertyID, setPropertyID, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(Value, setValue)
};

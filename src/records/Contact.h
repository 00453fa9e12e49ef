#pragma once

#include "records/BaseRecoveryObject.h"
#include "records/ContactData.h"
#include "records/RecordFields.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// One person of the address book: a live row read by the contact queries, or a carved one.
// The live side fills the first group of fields, the carvers the second. The entry lists exist,
// empty, from the start.
class Contact : public baseRecoveryObject {
public:
    Contact() : ContactNo1_(std::string()) {}

    // When the first number is the empty text, takes the second number unless it is the empty
    // text, else the third unless it is the empty text. An absent number counts as not empty
    // (so an absent second number is taken); an absent or non-empty first number stays.
    void setContactNo1Number();

    std::vector<std::shared_ptr<ContactEmailAddress>>& ContactEmailAddresses() {
        return ContactEmailAddresses_;
    }
    const std::vector<std::shared_ptr<ContactEmailAddress>>& ContactEmailAddresses() const {
        return ContactEmailAddresses_;
    }
    std::vector<std::shared_ptr<ContactNumber>>& ContactNumbers() { return ContactNumbers_; }
    const std::vector<std::shared_ptr<ContactNumber>>& ContactNumbers() const {
        return ContactNumbers_;
    }
    std::vector<std::shared_ptr<ContactAddress>>& ContactAddresses() { return ContactAddresses_; }
    const std::vector<std::shared_ptr<ContactAddress>>& ContactAddresses() const {
        return ContactAddresses_;
    }
    std::vector<std::shared_ptr<ContactHomePage>>& ContactHomePages() { return ContactHomePages_; }
    const std::vector<std::shared_ptr<ContactHomePage>>& ContactHomePages() const {
        return ContactHomePages_;
    }

    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, handleId, setHandleId, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(FullName, setFullName)
    TORVANE_TEXT_FIELD_OF_RECORD(ContactNumbersText, setContactNumbersText)
    TORVANE_TEXT_FIELD_OF_RECORD(ContactEmailAddresesText, setContactEmailAddresesText)
    // Row number in the contacts list, from 1.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    // Creation time of a live row as display text.
    TORVANE_TEXT_FIELD_OF_RECORD(CreatedDate, setCreatedDate)
    TORVANE_TEXT_FIELD_OF_RECORD(Title, setTitle)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(FirstName, setFirstName)
    TORVANE_TEXT_FIELD_OF_RECORD(MiddleName, setMiddleName)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(LastName, setLastName)
    // Nickname of a live row; the call-history carvers put a carved call's name here.
    TORVANE_TEXT_FIELD_OF_RECORD(NickName, setNickName)
    TORVANE_TEXT_FIELD_OF_RECORD(DisplayName, setDisplayName)
    // Shown as "Home", "Work", "iPhone", "Mobile", "Main" and "Home Fax" numbers.
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(ContactNo2, setContactNo2)
    TORVANE_TEXT_FIELD_OF_RECORD(ContactNo3, setContactNo3)
    TORVANE_TEXT_FIELD_OF_RECORD(ContactNo4, setContactNo4)
    TORVANE_TEXT_FIELD_OF_RECORD(ContactNo5, setContactNo5)
    TORVANE_TEXT_FIELD_OF_RECORD(ContactNo6, setContactNo6)
    // Shown as "Home Email", "Work Email" and "Other".
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(EmailAddress1, setEmailAddress1)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(EmailAddress2, setEmailAddress2)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(EmailAddress3, setEmailAddress3)
    TORVANE_TEXT_FIELD_OF_RECORD(JobTitle, setJobTitle)
    TORVANE_TEXT_FIELD_OF_RECORD(Department, setDepartment)
    TORVANE_TEXT_FIELD_OF_RECORD(Organization, setOrganization)
    // Modification time of a live row as display text.
    TORVANE_TEXT_FIELD_OF_RECORD(ModifiedDate, setModifiedDate)
    // 1 when ticked for export, 0 otherwise.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)
    TORVANE_VALUE_FIELD_OF_RECORD(std::optional<std::vector<Bytes>>, ContactProfileImages,
                                  setContactProfileImages, std::nullopt)

    // ---- Carved rows ----
    // The full-text-search row's phone, e-mail and address columns: values separated by blanks.
    TORVANE_TEXT_FIELD_OF_RECORD(C15Phone, setC15Phone)
    TORVANE_TEXT_FIELD_OF_RECORD(C16Email, setC16Email)
    TORVANE_TEXT_FIELD_OF_RECORD(C17Address, setC17Address)
    TORVANE_TEXT_FIELD_OF_RECORD(ImageUri, setImageUri)
    // Display text of the carved creation time, or " ".
    TORVANE_TEXT_FIELD_OF_RECORD(CreationDate, setCreationDate)
    // The carved creation value: seconds since 2001-01-01.
    TORVANE_VALUE_FIELD_OF_RECORD(double, OriginalCreationDate, setOriginalCreationDate, 0.0)
    TORVANE_TEXT_FIELD_OF_RECORD(ModificationDate, setModificationDate)
    TORVANE_VALUE_FIELD_OF_RECORD(double, OriginalModificationDate, setOriginalModificationDate,
                                  0.0)
    TORVANE_TEXT_FIELD_OF_RECORD(FirstPhonetic, setFirstPhonetic)
    TORVANE_TEXT_FIELD_OF_RECORD(MiddlePhonetic, setMiddlePhonetic)
    TORVANE_TEXT_FIELD_OF_RECORD(LastPhonetic, setLastPhonetic)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(Note, setNote)
    TORVANE_TEXT_FIELD_OF_RECORD(Birthday, setBirthday)
    // The carved person row's nickname (a field apart from NickName).
    TORVANE_TEXT_FIELD_OF_RECORD(Nickname, setNickname)
    TORVANE_TEXT_FIELD_OF_RECORD(Prefix, setPrefix)
    TORVANE_TEXT_FIELD_OF_RECORD(Suffix, setSuffix)
    TORVANE_TEXT_FIELD_OF_RECORD(ExternalIdentifier, setExternalIdentifier)
    TORVANE_TEXT_FIELD_OF_RECORD(ExternalModificationTag, setExternalModificationTag)
    TORVANE_TEXT_FIELD_OF_RECORD(ExternalUUID, setExternalUUID)
    TORVANE_TEXT_FIELD_OF_RECORD(_fullName, set_fullName)
    TORVANE_TEXT_FIELD_OF_RECORD(_fullNamePhonetic, set_fullNamePhonetic)
    TORVANE_TEXT_FIELD_OF_RECORD(_shortContactItemDescription, set_shortContactItemDescription)
    TORVANE_TEXT_FIELD_OF_RECORD(Guid, setGuid)
    TORVANE_VALUE_FIELD_OF_RECORD(std::optional<Bytes>, _contactProfileBitmapImage,
                                  set_contactProfileBitmapImage, std::nullopt)

public:
    OptString ContactNo1() const { return ContactNo1_.load(); }
    void setContactNo1(OptString v) { ContactNo1_.store(std::move(v)); }
    template <class Change>
    OptString updateContactNo1(Change change) { return ContactNo1_.update(change); }

private:
    // The empty text from the start (the other numbers start absent).
    SharedRecordText ContactNo1_;
    std::vector<std::shared_ptr<ContactEmailAddress>> ContactEmailAddresses_;
    std::vector<std::shared_ptr<ContactNumber>> ContactNumbers_;
    std::vector<std::shared_ptr<ContactAddress>> ContactAddresses_;
    std::vector<std::shared_ptr<ContactHomePage>> ContactHomePages_;
};

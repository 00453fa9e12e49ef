#pragma once

#include "common/ColumnValue.h"
#include "common/Types.h"
#include "services/CarvedRecordCheck.h"
#include "services/CarvedRowFingerprint.h"
#include "services/LiveTableReader.h"
#include "services/ScanRecoverer.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

class BrimleyAppDelegate;
class Contact;
class ContactABMultiValue;
class SqliteConnection;

// The recoverers of the address book ("AddressBook.sqlitedb"). Each carves one table's deleted
// rows; the full-text and person recoverers list them as deleted contacts in the shared state
// record. One object serves one run on one file, on the contacts service's thread, with
// read-only connections of its own.

// What the address-book recoverers share: the signature look-up, the test against the live
// tables and the listing.
class AddressBookRecovery : public ScanRecoverer<> {
public:
    ~AddressBookRecovery() override;

    // Two contacts name the same person: equal first and last names (absent equals empty) and
    // at least one of them not empty; for contacts of neither, equal organisations that are not
    // empty (a company's card).
    static bool SamePersonName(const Contact& a, const Contact& b);
    // The key of SamePersonName for hashed look-ups; none for a contact without a name.
    static OptString PersonNameKey(const Contact& contact);

    // The values of deleted multi-value rows (numbers, e-mail addresses) carved from the same
    // file: what the phone stored, which the contacts listed take in the place of the forms
    // their full-text rows list.
    void setCarvedValues(std::vector<std::shared_ptr<ContactABMultiValue>> values);
    // Puts the numbers and e-mail addresses of the person's carved multi-value rows in the
    // contact's place: the rows of its row id where it is known, else those of the one deleted
    // person whose numbers the contact's full-text lists name. The values the rows lack (rows
    // overwritten since) stay as the full-text lists give them. Nothing changes when no rows
    // are found.
    void takeStoredValues(Contact& contact, std::optional<std::int64_t> rowId) const;
    // Who a carved contact is: its guid, which names one person for good; without one (a
    // full-text row, a person row of an older file) its names and, where the row has one, its
    // creation time. None for a contact without guid and names. People of the same names with
    // different guids are different people.
    static OptString IdentityKey(const Contact& contact);

protected:
    explicit AddressBookRecovery(ScanContext context);

    // Opens the file at path and takes the patterns of the address book's signature of table,
    // provided the file may have the live table (so that it is an address book at all). The
    // patterns of a file whose readable schema lacks it stay empty and nothing is carved; a
    // file whose schema cannot be read at all is carved, as carving needs no schema.
    void setSignature(const std::string& path, std::string_view table, std::string_view liveTable);
    // Whether the statement finds a live row; none when SQLite cannot answer it (a column of
    // a later release, or a file it cannot read), which is then asked no more.
    std::optional<bool> liveRowExists(std::string_view sql,
                                      const std::vector<ColumnValue>& args) const;
    // The values of the named columns of every live row of the table, read once per run: with
    // SQL, or from the file's own pages where SQLite cannot read it.
    const std::vector<std::vector<ColumnValue>>& liveRows(
        std::string_view table, const std::vector<std::string>& columns) const;
    // The texts of one column of every live row (liveRows), to look up.
    const std::unordered_set<std::string>& liveTexts(std::string_view table,
                                                     const std::string& column) const;
    // Whether the row id names a live row of the table (LiveTableReader::rowIds), read once per
    // run: a whole cell that carries one is a copy of that row.
    bool isLiveRowId(std::string_view table, std::int64_t rowId) const;
    // Whether a person of that row id is live: its person row or its full-text row (whose docid
    // is the person's row id) is, where either table lost the row (a file cut short).
    bool isLivePerson(std::int64_t rowId) const;
    // Adds one to DeletedContactCount, appends the contact to AllDeletedContacts and then to
    // DeletedContact, and tells the window when asked to. False, listing nothing, when the
    // contact has no name, organisation, number or e-mail address, or when this recoverer listed
    // the same person before (same IdentityKey).
    bool listContact(const std::shared_ptr<Contact>& contact, bool tellWindow);
    // Whether this recoverer listed the person already (same IdentityKey).
    bool isListed(const Contact& contact) const;
    // Puts `now` in the place of the listed contact `old` in AllDeletedContacts and
    // DeletedContact (the count stays), counts its person as listed and tells the window.
    void replaceListed(const std::shared_ptr<Contact>& old, const std::shared_ptr<Contact>& now);

    // Records are identified by every decoded value.
    void startRecord() { fingerprint_.clear(); }
    void noteValue(const ColumnValue& value) { fingerprint_.add(value); }
    bool firstSighting() { return sightings_.firstSighting(fingerprint_); }

    // The texts carved keep their place: the engine finds records where they start.
    std::int32_t verifyDataPosition(ByteView) override { return kKeepPosition; }
    // Passes over matches whose texts were decoded from the wrong place (CarvedRecordCheck).
    bool acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                      std::int64_t contentShift) override;

private:
    // The columns of an address-book table as its widest carving pattern names them, for a file
    // whose schema no longer names the table (LiveTableReader::Layout).
    const LiveTableReader::Layout& layoutOf(std::string_view table) const;

    std::string path_;
    std::shared_ptr<SqliteConnection> live_;
    mutable std::map<std::string, LiveTableReader::Layout, std::less<>> layouts_;
    mutable std::set<std::string> unanswerable_;
    mutable std::map<std::string, std::vector<std::vector<ColumnValue>>> liveRows_;
    mutable std::map<std::string, std::unordered_set<std::string>> liveTexts_;
    CarvedRecordCheck recordCheck_;
    CarvedRowFingerprint fingerprint_;
    CarvedRowSightings sightings_;
    // The IdentityKeys of the contacts this recoverer listed.
    std::unordered_set<std::string> listed_;
    mutable std::map<std::string, std::vector<std::int64_t>> liveRowIds_;
    // The carved multi-value rows of deleted people, by the person's row id.
    std::map<std::int64_t, std::vector<std::shared_ptr<ContactABMultiValue>>> carvedValues_;
    // The carved phone numbers by the digits a form of them must share (NumberBucket), so that
    // a person's numbers are looked up, not compared with every carved row.
    struct CarvedNumber {
        std::int64_t recordId;
        std::size_t row;  // in carvedValues_[recordId]
        std::string key;  // iPhoneNumberUtils::NumberKey
    };
    std::unordered_map<std::string, std::vector<CarvedNumber>> carvedNumbers_;
};

// Rows of the full-text table ABPersonFullTextSearch_content: names, and blank-separated lists
// of the person's phone numbers, e-mail addresses and address words. Lists without telling the
// window.
class ContactSearchsSQLiteRecovery : public AddressBookRecovery {
public:
    explicit ContactSearchsSQLiteRecovery(ScanContext context)
        : AddressBookRecovery(std::move(context)) {}

    void DoRecoveryPath(const std::string& path) override;

    // Fill the contact's numbers, e-mail addresses and addresses from its C15Phone, C16Email and
    // C17Address lists. The numbers are the whole numbers of the list (each once, in its first
    // form), in its order, the first six also in ContactNo1 to ContactNo6.
    static void SplitPhoneNumbers(Contact& contact);
    static void SplitEmailAddresses(Contact& contact);
    static void SplitAddresses(Contact& contact);

    // Keeps in RecoveredFiltered the contacts of RecoveredData that have a first or a last name
    // and whose names (first, last and middle) no live row of the search table of the database
    // at path has.
    void filterMessages(const std::string& path);

    std::int32_t setRecoveryCount(std::int32_t n);
    std::int32_t incrementRecoveryCount();

    // The carved rows that only their names tie to a live person, whose numbers that person
    // lacks: an older copy of that person's row, or the row of a deleted person of the same
    // names. They are not listed; a deleted person row of those names takes one of them.
    const std::vector<std::shared_ptr<Contact>>& sameNamesAsLive() const { return sameNames_; }

    // The position check after the text of `field` was decoded: for "c15Phone" longer than six
    // bytes, where among its first six bytes the list starts ('+', the byte 0x1E or a digit;
    // 0 when none of them does, and for six bytes or fewer); kKeepPosition for any other field.
    static std::int32_t PhoneStartShift(std::string_view field, ByteView text);

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    void addRecoveredObject() override;
    std::int32_t verifyDataPosition(ByteView text) override { return PhoneStartShift(field_, text); }
    // The table holds texts and NULLs only: a header that reads a blob was read from the
    // wrong place (in a freed row, often from the free block's own size).
    bool acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                      std::int64_t contentShift) override;

private:
    enum class Liveness { Deleted, Live, SameNamesOnly };
    Liveness isLive(const Contact& contact) const;

    // The live rows that a carved row is compared with, read once per file: a large address
    // book is compared with thousands of carved rows.
    struct LiveIndex {
        // The docids of the live full-text rows.
        std::unordered_set<std::int64_t> rowIds;
        // The first, last and middle names and the organisation of the live full-text rows
        // (empty texts as absent).
        std::set<std::tuple<OptString, OptString, OptString, OptString>> names;
        // The trimmed number lists of the live full-text rows, sorted.
        std::vector<std::string> phones;
        // The ROWIDs of the live person rows per first and last name and organisation.
        std::map<std::tuple<OptString, OptString, OptString>, std::vector<std::int64_t>> persons;
        // The number keys of the live multi-values per person ROWID.
        std::unordered_map<std::int64_t, std::vector<std::string>> numberKeys;
    };
    const LiveIndex& liveIndex() const;

    // The mapped name of the column filled last.
    std::string field_;
    mutable std::optional<LiveIndex> liveIndex_;
    std::vector<std::shared_ptr<Contact>> sameNames_;
};

// Rows of the person table ABPerson: names, organisation, note, dates, guid. A person already
// listed from the full-text table in this scan is not listed again: each contact listed from
// that table stands for one person row of its names. Tells the window after each contact
// listed.
class ContactsSQLiteRecovery : public AddressBookRecovery {
public:
    explicit ContactsSQLiteRecovery(ScanContext context)
        : AddressBookRecovery(std::move(context)) {}

    void DoRecoveryPath(const std::string& path) override;

    // The full-text rows held back because a live person has their names
    // (ContactSearchsSQLiteRecovery::sameNamesAsLive): a deleted person row of those names
    // whose full-text row was not listed pairs with one of them.
    void setSameNamesAsLive(std::vector<std::shared_ptr<Contact>> contacts);

    // Keeps in RecoveredFiltered the contacts of RecoveredData that have a first or a last name
    // and whose first and last names no live person row of the database at path has.
    void filterMessages(const std::string& path);

    std::int32_t setRecoveryCount(std::int32_t n);
    std::int32_t incrementRecoveryCount();

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    void addRecoveredObject() override;

private:
    bool isLive(const Contact& contact) const;
    // Whether the person row is the one that a contact listed from the full-text table stands
    // for; the first row of those names met takes that contact's place, and with it every copy
    // of that row.
    // The paired contact takes the person row's place in the lists, with the numbers, e-mail
    // addresses and addresses of the full-text row added: it is one person, and the person row
    // holds the dates and the other fields that the full-text row lacks.
    bool pairWithFullText(const std::shared_ptr<Contact>& contact);
    void offer(const std::shared_ptr<Contact>& contact, std::optional<std::int64_t> rowId);

    // What a person row takes from its full-text row.
    static void TakeFullText(Contact& contact, const Contact& fullText);

    // Per name key, the contacts listed before this run (by the full-text recoverer) that have
    // not been paired with a person row yet.
    std::unordered_map<std::string, std::vector<std::shared_ptr<Contact>>> fullTextUnpaired_;
    // Per name key, the full-text rows held back as of a live person's names.
    std::unordered_map<std::string, std::vector<std::shared_ptr<Contact>>> sameNames_;
    // The IdentityKeys of the person rows paired with a full-text contact.
    std::unordered_set<std::string> paired_;
};

// Rows of the multi-value table ABMultiValue (one phone number, e-mail address or similar of
// a person). Keeps them in RecoveredData and, after the carving, those that the live table does
// not hold in RecoveredFiltered; lists nothing. The contacts service hands those to the
// recoverers that list contacts (setCarvedValues).
class ContactsABMultiValueSQLiteRecovery : public AddressBookRecovery {
public:
    explicit ContactsABMultiValueSQLiteRecovery(ScanContext context)
        : AddressBookRecovery(std::move(context)) {}

    void DoRecoveryPath(const std::string& path) override;
    // Keeps in RecoveredFiltered the carved values that the database at path does not hold.
    void filterMessages(const std::string& path);
    // RecoveredFiltered as multi-value rows.
    std::vector<std::shared_ptr<ContactABMultiValue>> deletedValues();

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    void addRecoveredObject() override;

private:
    std::vector<std::shared_ptr<baseRecoveryObject>> carved_;
};

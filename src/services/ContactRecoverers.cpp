#include "services/ContactRecoverers.h"

#include "carving/SQLiteSignature.h"
#include "carving/SqLiteTableSignatures.h"
#include "common/DateUtils.h"
#include "common/PhoneAndEmailUtils.h"
#include "common/StringUtils.h"
#include "database/QueryDates.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"
#include "records/ContactData.h"
#include "records/RecordKey.h"
#include "services/CarvedRecordCheck.h"
#include "services/LiveTableReader.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

constexpr std::string_view kDomain = "HomeDomain";
constexpr std::string_view kDatabase = "AddressBook.sqlite";
constexpr std::int64_t kFirstPropertyCode = 3;
constexpr std::int64_t kLastPropertyCode = 63;

OptString TextOf(const ColumnValue& value) {
    return AbstractSqLiteRecovery::getStringFromValue(value);
}

// The parts of a text between single blanks, empty parts included ("a  b" has three).
std::vector<std::string> SplitAtBlanks(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t blank = text.find(' ', from);
        parts.push_back(
            text.substr(from, blank == std::string::npos ? std::string::npos : blank - from));
        if (blank == std::string::npos) return parts;
        from = blank + 1;
    }
}

// A name as the keys compare it: an empty text is no name.
OptString Present(const OptString& text) {
    return StringUtils::IsNullOrEmpty(text) ? OptString{} : text;
}

ColumnValue Bind(const OptString& text) {
    return text ? ColumnValue(*text) : ColumnValue::Null();
}

// Whether a carved contact says who it is: a record with none of these is no person.
bool NamesSomeone(const Contact& contact) {
    for (const OptString& text :
         {contact.FirstName(), contact.LastName(), contact.Organization(), contact.DisplayName(),
          contact.C15Phone(), contact.C16Email()})
        if (!StringUtils::IsNullOrEmpty(text)) return true;
    return false;
}

// The person-table date rule: numbers only; the text is " " for a moment not in the past.
void SetCarvedDate(Contact& contact, const ColumnValue& value, bool creation) {
    if (!value.isNumber()) return;
    const double seconds = value.asDouble();
    const std::string text = DateUtils::doubleIOSDateTimeToString(seconds);
    // The dates the lists and the export show, in the text of the live rows' dates.
    std::string shown = DisplayTextOfDate(DateUtils::DoubleToIOSDateTime(seconds));
    if (creation) {
        contact.setOriginalCreationDate(seconds);
        contact.setCreationDate(text);
        contact.setCreatedDate(std::move(shown));
    } else {
        contact.setOriginalModificationDate(seconds);
        contact.setModificationDate(text);
        contact.setModifiedDate(std::move(shown));
    }
}

}  // namespace

// ---- Shared part ----

AddressBookRecovery::AddressBookRecovery(ScanContext context) : ScanRecoverer(std::move(context)) {}

AddressBookRecovery::~AddressBookRecovery() = default;

bool AddressBookRecovery::SamePersonName(const Contact& a, const Contact& b) {
    const OptString key = PersonNameKey(a);
    return key && key == PersonNameKey(b);
}

OptString AddressBookRecovery::PersonNameKey(const Contact& contact) {
    const OptString first = Present(contact.FirstName()), last = Present(contact.LastName());
    if (first || last) return RecordKey().add(std::int64_t{1}).add(first).add(last).take();
    if (const OptString organization = Present(contact.Organization()))
        return RecordKey().add(std::int64_t{2}).add(organization).take();
    return std::nullopt;
}

OptString AddressBookRecovery::IdentityKey(const Contact& contact) {
    if (!StringUtils::IsNullOrEmpty(contact.Guid()))
        return RecordKey().add(std::int64_t{1}).add(contact.Guid()).take();
    const OptString name = PersonNameKey(contact);
    if (!name) return std::nullopt;
    RecordKey key;
    key.add(std::int64_t{2}).add(name);
    if (contact.CreationDate()) key.add(contact.OriginalCreationDate());
    return key.take();
}

bool AddressBookRecovery::isLiveRowId(std::string_view table, std::int64_t rowId) const {
    auto known = liveRowIds_.find(std::string(table));
    if (known == liveRowIds_.end())
        known = liveRowIds_
                    .emplace(std::string(table),
                             LiveTableReader(path_).rowIds(table, &layoutOf(table)))
                    .first;
    return std::binary_search(known->second.begin(), known->second.end(), rowId);
}

bool AddressBookRecovery::isLivePerson(std::int64_t rowId) const {
    return isLiveRowId("ABPerson", rowId) || isLiveRowId("ABPersonFullTextSearch_content", rowId);
}

namespace {

constexpr std::int64_t kPhoneProperty = 3;
constexpr std::int64_t kEmailProperty = 4;
constexpr std::size_t kShortestNumberTail = 7;

// Puts the numbers in the contact's six number fields and its list of numbers.
void SetNumbers(Contact& contact, const std::vector<std::string>& numbers) {
    const auto slot = [&](std::size_t i) {
        return i < numbers.size() ? OptString(numbers[i])
                                  : i == 0 ? OptString(std::string()) : OptString();
    };
    contact.setContactNo1(slot(0));
    contact.setContactNo2(slot(1));
    contact.setContactNo3(slot(2));
    contact.setContactNo4(slot(3));
    contact.setContactNo5(slot(4));
    contact.setContactNo6(slot(5));
    contact.ContactNumbers().clear();
    for (const auto& whole : numbers) {
        auto number = std::make_shared<ContactNumber>();
        number->setLabel("Other Phone");
        number->setNumber(whole);
        contact.ContactNumbers().push_back(std::move(number));
    }
}

// Puts the addresses in the contact's three e-mail fields and its list of e-mail addresses.
void SetEmailAddresses(Contact& contact, const std::vector<std::string>& addresses) {
    const auto slot = [&](std::size_t i) {
        return i < addresses.size() ? OptString(addresses[i]) : OptString();
    };
    contact.setEmailAddress1(slot(0));
    contact.setEmailAddress2(slot(1));
    contact.setEmailAddress3(slot(2));
    contact.ContactEmailAddresses().clear();
    for (const auto& address : addresses) {
        auto email = std::make_shared<ContactEmailAddress>();
        email->setLabel("Other Email");
        email->setEmail(address);
        contact.ContactEmailAddresses().push_back(std::move(email));
    }
}

bool SameNumber(const std::string& a, const std::string& b) {
    return iPhoneNumberUtils::SameNumberKey(iPhoneNumberUtils::NumberKey(a),
                                            iPhoneNumberUtils::NumberKey(b), kShortestNumberTail);
}

// Two number keys can be forms of one number only when they fall in the same bucket: a key of
// kShortestNumberTail digits or more by its last ones (a form of it ends with them), a shorter
// key by itself (it matches only itself).
std::string NumberBucket(const std::string& key) {
    return key.size() >= kShortestNumberTail ? key.substr(key.size() - kShortestNumberTail)
                                             : "=" + key;
}

}  // namespace

void AddressBookRecovery::setCarvedValues(std::vector<std::shared_ptr<ContactABMultiValue>> values) {
    carvedValues_.clear();
    for (auto& value : values)
        if (value) carvedValues_[value->RecordId()].push_back(std::move(value));
    // In the person's order; a row found twice (in a page's gap and in a freeblock) once.
    const auto order = [](const auto& value) {
        return std::tuple(value->Property(), value->Identifier(), value->value());
    };
    for (auto& [recordId, rows] : carvedValues_) {
        std::stable_sort(rows.begin(), rows.end(),
                         [&](const auto& a, const auto& b) { return order(a) < order(b); });
        rows.erase(std::unique(rows.begin(), rows.end(),
                               [&](const auto& a, const auto& b) { return order(a) == order(b); }),
                   rows.end());
    }
    carvedNumbers_.clear();
    for (const auto& [recordId, rows] : carvedValues_)
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i]->Property() == kPhoneProperty)
                if (const OptString value = rows[i]->value()) {
                    std::string key = iPhoneNumberUtils::NumberKey(*value);
                    carvedNumbers_[NumberBucket(key)].push_back({recordId, i, std::move(key)});
                }
}

void AddressBookRecovery::takeStoredValues(Contact& contact,
                                           std::optional<std::int64_t> rowId) const {
    if (carvedValues_.empty()) return;
    std::vector<std::string> listed;
    for (const auto& number : contact.ContactNumbers())
        if (number && !StringUtils::IsNullOrEmpty(number->Number()))
            listed.push_back(*number->Number());
    const std::vector<std::shared_ptr<ContactABMultiValue>>* rows = nullptr;
    if (rowId) {
        const auto found = carvedValues_.find(*rowId);
        if (found != carvedValues_.end()) rows = &found->second;
    }
    if (!rows) {
        // The deleted person whose stored numbers the full-text lists name; none when two
        // people's rows name as many of them.
        std::map<std::int64_t, std::set<std::size_t>> named;  // the rows a listed number names
        for (const std::string& number : listed) {
            const std::string key = iPhoneNumberUtils::NumberKey(number);
            const auto bucket = carvedNumbers_.find(NumberBucket(key));
            if (bucket == carvedNumbers_.end()) continue;
            for (const CarvedNumber& carved : bucket->second)
                if (iPhoneNumberUtils::SameNumberKey(key, carved.key, kShortestNumberTail))
                    named[carved.recordId].insert(carved.row);
        }
        std::size_t most = 0;
        bool tie = false;
        for (const auto& [recordId, values] : named) {
            if (values.size() < most) continue;
            tie = values.size() == most;
            most = values.size();
            rows = &carvedValues_.at(recordId);
        }
        if (tie) rows = nullptr;
    }
    if (!rows || isLivePerson(rows->front()->RecordId())) return;
    std::vector<std::string> numbers, addresses;
    const auto addNumber = [&](const std::string& number) {
        if (std::none_of(numbers.begin(), numbers.end(),
                         [&](const auto& stored) { return SameNumber(stored, number); }))
            numbers.push_back(number);
    };
    for (const auto& value : *rows) {
        if (StringUtils::IsNullOrEmpty(value->value())) continue;
        if (value->Property() == kPhoneProperty) addNumber(*value->value());
        if (value->Property() == kEmailProperty &&
            std::find(addresses.begin(), addresses.end(), *value->value()) == addresses.end())
            addresses.push_back(*value->value());
    }
    for (const std::string& number : listed) addNumber(number);
    for (const auto& email : contact.ContactEmailAddresses())
        if (email && email->Email() &&
            std::find(addresses.begin(), addresses.end(), *email->Email()) == addresses.end())
            addresses.push_back(*email->Email());
    SetNumbers(contact, numbers);
    SetEmailAddresses(contact, addresses);
}

bool AddressBookRecovery::isListed(const Contact& contact) const {
    const OptString key = IdentityKey(contact);
    return key && listed_.count(*key) != 0;
}

void AddressBookRecovery::setSignature(const std::string& path, std::string_view table,
                                       std::string_view liveTable) {
    setTablePatterns(std::vector<TablePattern>{});
    path_ = path;
    liveRows_.clear();
    liveTexts_.clear();
    liveRowIds_.clear();
    live_ = SqliteConnection::OpenReadOnly(path);
    if (!live_->isOpen()) return;
    if (!liveTable.empty() && !LiveTableReader(path).mayHoldTable(liveTable)) return;
    const auto catalogue = context().signatures;
    if (!catalogue || !setPatternsFromSignature(kDomain, kDatabase, table, catalogue.get())) return;
    // A row never has a column that its table lacks: a layout of a later release (the guid
    // and what followed it) would only misread the rows of an older file, where it fits a
    // record whose first texts happen to read as its extra columns' serial types.
    if (liveTable.empty() || !live_->hasTable(liveTable)) return;
    std::vector<TablePattern> fitting;
    for (const TablePattern& pattern : tablePatterns()) {
        std::istringstream names(pattern.columns().value_or(""));
        bool fits = true;
        for (std::string name; fits && names >> name;)
            fits = live_->hasColumn(liveTable, name);
        if (fits) fitting.push_back(pattern);
    }
    if (!fitting.empty() && fitting.size() < tablePatterns().size())
        setTablePatterns(std::move(fitting));
}

std::optional<bool> AddressBookRecovery::liveRowExists(std::string_view sql,
                                                       const std::vector<ColumnValue>& args) const {
    if (!live_ || !live_->isOpen() || unanswerable_.count(std::string(sql))) return std::nullopt;
    auto row = live_->executeQuery(sql, args);
    if (row.next()) return true;
    if (row && !row.failed()) return false;
    // A statement that the file cannot answer fails alike for every record; it is asked once.
    unanswerable_.insert(std::string(sql));
    return std::nullopt;
}

const LiveTableReader::Layout& AddressBookRecovery::layoutOf(std::string_view table) const {
    const auto known = layouts_.find(table);
    if (known != layouts_.end()) return known->second;
    const auto catalogue = context().signatures;
    const SQLiteSignature* signature =
        catalogue ? catalogue->Find(kDomain, kDatabase, table) : nullptr;
    return layouts_
        .emplace(std::string(table),
                 LiveTableReader::LayoutOf(signature ? signature->TablePatterns()
                                                     : std::vector<TablePattern>{}))
        .first->second;
}

const std::vector<std::vector<ColumnValue>>& AddressBookRecovery::liveRows(
    std::string_view table, const std::vector<std::string>& columns) const {
    std::string key(table);
    for (const std::string& column : columns) key += "\n" + column;
    const auto known = liveRows_.find(key);
    if (known != liveRows_.end()) return known->second;
    return liveRows_
        .emplace(key, LiveTableReader(path_).rows(table, columns, &layoutOf(table)).rows)
        .first->second;
}

const std::unordered_set<std::string>& AddressBookRecovery::liveTexts(
    std::string_view table, const std::string& column) const {
    const std::string key = std::string(table) + "\n" + column;
    if (const auto known = liveTexts_.find(key); known != liveTexts_.end()) return known->second;
    std::unordered_set<std::string> texts;
    for (const auto& row : liveRows(table, {column}))
        if (const auto text = row[0].text()) texts.insert(*text);
    return liveTexts_.emplace(key, std::move(texts)).first->second;
}

void AddressBookRecovery::replaceListed(const std::shared_ptr<Contact>& old,
                                        const std::shared_ptr<Contact>& now) {
    if (const OptString key = IdentityKey(*now)) listed_.insert(*key);
    results().AllDeletedContacts.replaceItem(old, now);
    results().DeletedContact.replaceItem(old, now);
    results().updateUIfoundRecoveredData();
}

bool AddressBookRecovery::listContact(const std::shared_ptr<Contact>& contact, bool tellWindow) {
    if (!NamesSomeone(*contact)) return false;
    if (const OptString key = IdentityKey(*contact); key && !listed_.insert(*key).second)
        return false;
    ++results().DeletedContactCount;
    results().AllDeletedContacts.append(contact);
    results().DeletedContact.append(contact);
    if (tellWindow) results().updateUIfoundRecoveredData();
    return true;
}

// ---- Full-text table ----

namespace {

// The text without the blanks that the search table puts around its lists.
std::string TrimmedText(const OptString& text) {
    if (!text) return {};
    const auto first = text->find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text->substr(first, text->find_last_not_of(' ') - first + 1);
}

}  // namespace

void ContactSearchsSQLiteRecovery::SplitPhoneNumbers(Contact& contact) {
    if (StringUtils::IsNullOrEmpty(contact.C15Phone())) return;
    // The search text lists whole numbers, each possibly in several forms, separated by the same
    // blanks that separate the groups of a number: it says nothing of what kind each number is.
    SetNumbers(contact, iPhoneNumberUtils::SplitWholeNumbers(*contact.C15Phone()));
}

void ContactSearchsSQLiteRecovery::filterMessages(const std::string& path) {
    KeepRecordsNotLive(*this, path, [](const baseRecoveryObject& record) -> std::optional<LiveStatement> {
        const auto* contact = RecordOf<Contact>(record);
        if (!contact || (!contact->FirstName() && !contact->LastName())) return std::nullopt;
        return LiveStatement{
            "SELECT c0First FROM ABPersonFullTextSearch_content WHERE c0First IS ? AND c1Last IS ? "
            "AND c2Middle IS ?",
            {Bind(contact->FirstName()), Bind(contact->LastName()), Bind(contact->MiddleName())}};
    });
}

void ContactSearchsSQLiteRecovery::SplitEmailAddresses(Contact& contact) {
    if (StringUtils::IsNullOrEmpty(contact.C16Email())) return;
    // The device ends the list with a blank: the empty text after it is no address.
    auto parts = SplitAtBlanks(*contact.C16Email());
    parts.erase(std::remove(parts.begin(), parts.end(), std::string()), parts.end());
    if (parts.empty()) return;
    SetEmailAddresses(contact, parts);
}

void ContactSearchsSQLiteRecovery::SplitAddresses(Contact& contact) {
    if (StringUtils::IsNullOrEmpty(contact.C17Address())) return;
    for (const auto& part : SplitAtBlanks(*contact.C17Address())) {
        if (part.empty()) continue;
        auto address = std::make_shared<ContactAddress>();
        address->setStreet(part);
        contact.ContactAddresses().push_back(std::move(address));
    }
}

std::int32_t ContactSearchsSQLiteRecovery::setRecoveryCount(std::int32_t n) {
    results().DeletedContactCount = n;
    return n;
}

std::int32_t ContactSearchsSQLiteRecovery::incrementRecoveryCount() {
    return ++results().DeletedContactCount;
}

void ContactSearchsSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    liveIndex_.reset();
    sameNames_.clear();
    setSignature(path, "ABPersonFullTextSearch_content", "ABPersonFullTextSearch_content");
    AbstractSqLiteRecovery::DoRecoveryPath(path);
}

std::int32_t ContactSearchsSQLiteRecovery::PhoneStartShift(std::string_view field, ByteView text) {
    if (field != "c15Phone") return kKeepPosition;
    if (text.size() <= 6) return 0;
    for (std::int32_t i = 0; i < 6; ++i) {
        const std::uint8_t byte = text[static_cast<std::size_t>(i)];
        if (byte == '+' || byte == 0x1E || (byte >= '0' && byte <= '9')) return i;
    }
    return 0;
}

std::shared_ptr<baseRecoveryObject> ContactSearchsSQLiteRecovery::GetNewRecoveryObject() {
    field_.clear();
    startRecord();
    return std::make_shared<Contact>();
}

void ContactSearchsSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                             const TablePattern& tablePattern) {
    noteValue(object);
    field_.clear();
    const std::string* mapped = tablePattern.mappedName(column);
    if (!mapped || !currentRecord()) return;
    markCurrentMapped();
    auto& contact = static_cast<Contact&>(*currentRecord());
    const std::string& name = *mapped;
    field_ = name;
    if (name == "c0First") {
        contact.setFirstName(TextOf(object));
    } else if (name == "c1Last") {
        contact.setLastName(TextOf(object));
    } else if (name == "c2Middle") {
        contact.setMiddleName(TextOf(object));
    } else if (name == "c6Organization") {
        contact.setOrganization(TextOf(object));
    } else if (name == "c15Phone") {
        contact.setC15Phone(TextOf(object));
        SplitPhoneNumbers(contact);
    } else if (name == "c16Email") {
        contact.setC16Email(TextOf(object));
        SplitEmailAddresses(contact);
    } else if (name == "c17Address") {
        contact.setC17Address(TextOf(object));
        SplitAddresses(contact);
    }
}

namespace {

// The text of a value that a carved name can equal: NULL or a text. Nothing for any other value.
std::optional<OptString> NameOf(const ColumnValue& value) {
    if (value.isNull()) return OptString{};
    if (const std::string* text = value.text()) return OptString{*text};
    return std::nullopt;
}

}  // namespace

const ContactSearchsSQLiteRecovery::LiveIndex& ContactSearchsSQLiteRecovery::liveIndex() const {
    if (liveIndex_) return *liveIndex_;
    LiveIndex index;
    for (const auto& row :
         liveRows("ABPersonFullTextSearch_content",
                  {"docid", "c0First", "c1Last", "c2Middle", "c6Organization", "c15Phone"})) {
        if (row[0].isNumber()) index.rowIds.insert(row[0].asInteger());
        const auto first = NameOf(row[1]), last = NameOf(row[2]), middle = NameOf(row[3]),
                   organization = NameOf(row[4]);
        if (first && last && middle && organization)
            index.names.emplace(Present(*first), Present(*last), Present(*middle),
                                Present(*organization));
        index.phones.push_back(TrimmedText(row[5].toText()));
    }
    std::sort(index.phones.begin(), index.phones.end());
    for (const auto& person : liveRows("ABPerson", {"ROWID", "First", "Last", "Organization"})) {
        const auto first = NameOf(person[1]), last = NameOf(person[2]),
                   organization = NameOf(person[3]);
        if (!first || !last || !organization) continue;
        auto& rowIds = index.persons[{Present(*first), Present(*last), Present(*organization)}];
        if (person[0].isInteger()) rowIds.push_back(person[0].asInteger());
    }
    for (const auto& value : liveRows("ABMultiValue", {"record_id", "value"}))
        if (value[0].isInteger())
            index.numberKeys[value[0].asInteger()].push_back(
                iPhoneNumberUtils::NumberKey(value[1].toText().value_or("")));
    return liveIndex_.emplace(std::move(index));
}

ContactSearchsSQLiteRecovery::Liveness ContactSearchsSQLiteRecovery::isLive(
    const Contact& contact) const {
    const LiveIndex& live = liveIndex();
    // The row of a person that still exists: the same row id (where the record kept it).
    if (currentRowIdWasRead() && live.rowIds.count(contact.RowId())) return Liveness::Live;
    // A row of a person whose person row is live: the same names and, where the row has
    // numbers, one of that person's numbers.
    const auto numbers = iPhoneNumberUtils::SplitWholeNumbers(TrimmedText(contact.C15Phone()));
    if (const auto person = live.persons.find({Present(contact.FirstName()),
                                               Present(contact.LastName()),
                                               Present(contact.Organization())});
        person != live.persons.end()) {
        if (numbers.empty()) return Liveness::Live;
        std::vector<std::string> keys;
        for (const auto& number : numbers) keys.push_back(iPhoneNumberUtils::NumberKey(number));
        for (const std::int64_t rowId : person->second) {
            const auto values = live.numberKeys.find(rowId);
            if (values == live.numberKeys.end()) continue;
            for (const auto& value : values->second)
                for (const auto& key : keys)
                    if (iPhoneNumberUtils::SameNumberKey(key, value)) return Liveness::Live;
        }
    }
    // A copy written before the person was renamed or given more numbers: its numbers are the
    // first numbers of a live row, in the same order and forms.
    const std::string phones = TrimmedText(contact.C15Phone());
    if (!phones.empty()) {
        if (std::binary_search(live.phones.begin(), live.phones.end(), phones))
            return Liveness::Live;
        const std::string head = phones + ' ';
        const auto next = std::lower_bound(live.phones.begin(), live.phones.end(), head);
        if (next != live.phones.end() && next->compare(0, head.size(), head) == 0)
            return Liveness::Live;
    }
    // Free space holds older copies of rows that still exist (a person whose number changed):
    // a live row of the same names may be that person. With numbers that person lacks, it may
    // as well be a deleted person of the same names.
    if (live.names.count({Present(contact.FirstName()), Present(contact.LastName()),
                          Present(contact.MiddleName()), Present(contact.Organization())}))
        return numbers.empty() ? Liveness::Live : Liveness::SameNamesOnly;
    return Liveness::Deleted;
}

bool ContactSearchsSQLiteRecovery::acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                                                std::int64_t contentShift) {
    // Position 0 is the header-length byte, which is not a serial type.
    for (std::size_t i = 1; i < info.Header.size(); ++i) {
        const std::int64_t serialType = info.Header[i].first;
        if (serialType >= 12 && serialType % 2 == 0) return false;
    }
    return AddressBookRecovery::acceptHeader(area, info, contentShift);
}

void ContactSearchsSQLiteRecovery::addRecoveredObject() {
    const bool mapped = currentWasMapped();
    // A record cut short by the end of its area is mostly an older copy of a row whose tail a
    // later cell overwrote: its last texts are cut and its values cannot be told from others'.
    if (!mapped || !currentRecord() || !currentRecordIsComplete() || !firstSighting()) return;
    auto contact = std::static_pointer_cast<Contact>(currentRecord());
    // A whole cell that carries a live row's docid is that row, whatever its bytes say.
    const auto rowId = currentRecordRowId();
    if (rowId && isLivePerson(*rowId)) return;
    switch (isLive(*contact)) {
        case Liveness::Live:
            return;
        case Liveness::SameNamesOnly:
            takeStoredValues(*contact, std::nullopt);
            sameNames_.push_back(std::move(contact));
            return;
        case Liveness::Deleted:
            takeStoredValues(*contact, rowId);
            listContact(contact, false);
            return;
    }
}

// ---- Person table ----

void ContactsSQLiteRecovery::filterMessages(const std::string& path) {
    KeepRecordsNotLive(*this, path, [](const baseRecoveryObject& record) -> std::optional<LiveStatement> {
        const auto* contact = RecordOf<Contact>(record);
        if (!contact || (!contact->FirstName() && !contact->LastName())) return std::nullopt;
        return LiveStatement{"SELECT ROWID FROM ABPerson WHERE First IS ? AND Last IS ?",
                             {Bind(contact->FirstName()), Bind(contact->LastName())}};
    });
}

std::int32_t ContactsSQLiteRecovery::setRecoveryCount(std::int32_t n) {
    results().DeletedContactCount = n;
    return n;
}

std::int32_t ContactsSQLiteRecovery::incrementRecoveryCount() {
    return ++results().DeletedContactCount;
}

void ContactsSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    setSignature(path, "ABPerson", "ABPerson");
    // The contacts listed so far: the full-text recoverer's of this scan.
    const auto listedBefore = results().DeletedContact.snapshot();
    fullTextUnpaired_.clear();
    paired_.clear();
    for (const auto& contact : listedBefore)
        if (contact)
            if (const OptString name = PersonNameKey(*contact))
                fullTextUnpaired_[*name].push_back(contact);
    setRecoveredData({listedBefore.begin(), listedBefore.end()});
    AbstractSqLiteRecovery::DoRecoveryPath(path);
}

std::shared_ptr<baseRecoveryObject> ContactsSQLiteRecovery::GetNewRecoveryObject() {
    startRecord();
    return std::make_shared<Contact>();
}

void ContactsSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                       const TablePattern& tablePattern) {
    noteValue(object);
    const std::string* mapped = tablePattern.mappedName(column);
    if (!mapped || !currentRecord()) return;
    markCurrentMapped();
    auto& contact = static_cast<Contact&>(*currentRecord());
    using Setter = void (Contact::*)(OptString);
    struct TextColumn {
        std::string_view name;
        Setter set;
    };
    static constexpr TextColumn kTexts[] = {
        {"First", &Contact::setFirstName},
        {"Last", &Contact::setLastName},
        {"FirstPhonetic", &Contact::setFirstPhonetic},
        {"MiddlePhonetic", &Contact::setMiddlePhonetic},
        {"LastPhonetic", &Contact::setLastPhonetic},
        {"Organization", &Contact::setOrganization},
        {"Department", &Contact::setDepartment},
        {"Note", &Contact::setNote},
        {"Birthday", &Contact::setBirthday},
        {"JobTitle", &Contact::setJobTitle},
        {"Nickname", &Contact::setNickname},
        {"Prefix", &Contact::setPrefix},
        {"Suffix", &Contact::setSuffix},
        {"DisplayName", &Contact::setDisplayName},
        {"ImageURI", &Contact::setImageUri},
        {"Guid", &Contact::setGuid},
    };
    const std::string& name = *mapped;
    for (const auto& text : kTexts) {
        if (name == text.name) {
            (contact.*text.set)(TextOf(object));
            return;
        }
    }
    if (name == "CreationDate")
        SetCarvedDate(contact, object, true);
    else if (name == "ModificationDate")
        SetCarvedDate(contact, object, false);
}

namespace {

// Whether a person's guid has the form the phone gives it: a GUID, alone or followed by ':'
// and the table's name.
bool WellFormedPersonGuid(const std::string& guid) {
    if (guid.size() < 36 || (guid.size() > 36 && guid[36] != ':')) return false;
    for (std::size_t i = 0; i < 36; ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (guid[i] == '-') || (!dash && !std::isxdigit(static_cast<unsigned char>(guid[i]))))
            return false;
    }
    return true;
}

}  // namespace

bool ContactsSQLiteRecovery::isLive(const Contact& contact) const {
    // The guid names one person for good; without it (older files) the names and the creation
    // time do. Where SQLite cannot answer, the live rows as the file's own pages hold them do.
    ColumnValue created =
        contact.CreationDate() ? ColumnValue(contact.OriginalCreationDate()) : ColumnValue::Null();
    if (contact.Guid() && !contact.Guid()->empty()) {
        if (liveRowExists("SELECT 1 FROM ABPerson WHERE guid = ?", {ColumnValue(*contact.Guid())})
                .value_or(false))
            return true;
        // A damaged index answers "no row" without an error: the table itself confirms it.
        if (liveTexts("ABPerson", "guid").count(*contact.Guid())) return true;
        // A guid the phone wrote (8-4-4-4-12 hexadecimal digits, then ":ABPerson") names
        // another person. One that is no longer of that form is a copy whose bytes were
        // changed: the names and the creation time tell whether it is a live person's.
        if (WellFormedPersonGuid(*contact.Guid()) || created.isNull()) return false;
    }
    if (const auto answer = liveRowExists(
            "SELECT 1 FROM ABPerson WHERE First IS ? AND Last IS ? AND CreationDate IS ?",
            {Bind(contact.FirstName()), Bind(contact.LastName()), created}))
        return *answer;
    const auto sameTime = [&](const ColumnValue& stored) {
        return stored.isNull() ? created.isNull()
                               : created.isNumber() && stored.isNumber() &&
                                     stored.asDouble() == created.asDouble();
    };
    for (const auto& row : liveRows("ABPerson", {"First", "Last", "CreationDate"}))
        if (row[0] == Bind(contact.FirstName()) && row[1] == Bind(contact.LastName()) &&
            sameTime(row[2]))
            return true;
    return false;
}

bool ContactsSQLiteRecovery::pairWithFullText(const std::shared_ptr<Contact>& contact) {
    // The full-text row loses its docid with its cell head, so the names pair the two; a name
    // that several people share pairs as many person rows as contacts of it were listed.
    const OptString key = IdentityKey(*contact);
    if (key && paired_.count(*key)) return true;
    const OptString name = PersonNameKey(*contact);
    if (!name) return false;
    const auto unpaired = fullTextUnpaired_.find(*name);
    if (unpaired == fullTextUnpaired_.end() || unpaired->second.empty()) {
        // A deleted person of the names of a live one: its full-text row was held back.
        const auto held = sameNames_.find(*name);
        if (held == sameNames_.end() || held->second.empty()) return false;
        const std::shared_ptr<Contact> fullText = held->second.front();
        held->second.erase(held->second.begin());
        if (key) paired_.insert(*key);
        TakeFullText(*contact, *fullText);
        listContact(contact, true);
        return true;
    }
    const std::shared_ptr<Contact> fullText = unpaired->second.front();
    unpaired->second.erase(unpaired->second.begin());
    if (key) paired_.insert(*key);
    TakeFullText(*contact, *fullText);
    replaceListed(fullText, contact);
    return true;
}

void ContactsSQLiteRecovery::TakeFullText(Contact& contact, const Contact& fullText) {
    // What only the full-text row knows.
    contact.setMiddleName(contact.MiddleName() ? contact.MiddleName() : fullText.MiddleName());
    contact.setC15Phone(fullText.C15Phone());
    contact.setC16Email(fullText.C16Email());
    contact.setC17Address(fullText.C17Address());
    contact.setContactNo1(fullText.ContactNo1());
    contact.setContactNo2(fullText.ContactNo2());
    contact.setContactNo3(fullText.ContactNo3());
    contact.setContactNo4(fullText.ContactNo4());
    contact.setContactNo5(fullText.ContactNo5());
    contact.setContactNo6(fullText.ContactNo6());
    contact.setEmailAddress1(fullText.EmailAddress1());
    contact.setEmailAddress2(fullText.EmailAddress2());
    contact.setEmailAddress3(fullText.EmailAddress3());
    contact.ContactNumbers() = fullText.ContactNumbers();
    contact.ContactEmailAddresses() = fullText.ContactEmailAddresses();
    contact.ContactAddresses() = fullText.ContactAddresses();
    if (!contact.Organization()) contact.setOrganization(fullText.Organization());
}

void ContactsSQLiteRecovery::offer(const std::shared_ptr<Contact>& contact,
                                   std::optional<std::int64_t> rowId) {
    if (isLive(*contact) || isListed(*contact) || pairWithFullText(contact)) return;
    takeStoredValues(*contact, rowId);
    listContact(contact, true);
}

void ContactsSQLiteRecovery::setSameNamesAsLive(std::vector<std::shared_ptr<Contact>> contacts) {
    sameNames_.clear();
    for (auto& contact : contacts)
        if (contact)
            if (const OptString name = PersonNameKey(*contact))
                sameNames_[*name].push_back(std::move(contact));
}

void ContactsSQLiteRecovery::addRecoveredObject() {
    const bool mapped = currentWasMapped();
    // As in the full-text table, a record cut short is left out.
    if (!mapped || !currentRecord() || !currentRecordIsComplete() || !firstSighting()) return;
    // A whole cell that carries a live person's row id is that person, whatever its bytes say.
    const auto rowId = currentRecordRowId();
    if (rowId && isLivePerson(*rowId)) return;
    offer(std::static_pointer_cast<Contact>(currentRecord()), rowId);
}

// ---- Multi-value table ----

void ContactsABMultiValueSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    carved_.clear();
    setSignature(path, "ABMultiValue", "");
    AbstractSqLiteRecovery::DoRecoveryPath(path);
    setRecoveredData(carved_);
    filterMessages(path);
}

void ContactsABMultiValueSQLiteRecovery::filterMessages(const std::string& path) {
    const auto live = SqliteConnection::OpenReadOnly(path);
    if (!live->isOpen()) return;
    for (const auto& record : RecoveredData()) {
        if (isCancelled()) return;
        const auto& value = static_cast<const ContactABMultiValue&>(*record);
        auto row = live->executeQuery(
            "SELECT record_id FROM ABMultiValue where record_id=? AND property=? AND identifier=? "
            "AND value IS ?",
            {ColumnValue(value.RecordId()), ColumnValue(value.Property()),
             ColumnValue(value.Identifier()), Bind(value.value())});
        if (row.next()) continue;
        if (!row || row.failed()) {
            // SQLite cannot read the table: the file's own pages say which values are live.
            const auto& rows =
                liveRows("ABMultiValue", {"record_id", "property", "identifier", "value"});
            const bool held = std::any_of(rows.begin(), rows.end(), [&](const auto& r) {
                return r[0].asInteger() == value.RecordId() &&
                       r[1].asInteger() == value.Property() &&
                       r[2].asInteger() == value.Identifier() && r[3].toText() == value.value();
            });
            if (held) continue;
        }
        RecoveredFiltered().push_back(record);
    }
}

std::vector<std::shared_ptr<ContactABMultiValue>> ContactsABMultiValueSQLiteRecovery::deletedValues() {
    std::vector<std::shared_ptr<ContactABMultiValue>> values;
    for (const auto& record : RecoveredFiltered())
        if (auto value = std::dynamic_pointer_cast<ContactABMultiValue>(record))
            values.push_back(std::move(value));
    return values;
}

std::shared_ptr<baseRecoveryObject> ContactsABMultiValueSQLiteRecovery::GetNewRecoveryObject() {
    startRecord();
    return std::make_shared<ContactABMultiValue>();
}

void ContactsABMultiValueSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                                   const TablePattern& tablePattern) {
    noteValue(object);
    const std::string* mapped = tablePattern.mappedName(column);
    if (!mapped || !currentRecord()) return;
    auto& value = static_cast<ContactABMultiValue&>(*currentRecord());
    const std::string& name = *mapped;
    if (name == "RecordId")
        value.setRecordId(object.asInteger());
    else if (name == "Property")
        value.setProperty(object.asInteger());
    else if (name == "Identifier")
        value.setIdentifier(object.asInteger());
    else if (name == "Label")
        value.setLabel(object.asInteger());
    else if (name == "Value")
        value.setValue(TextOf(object));
    else if (name == "Guid")
        value.setGuid(TextOf(object));
}

void ContactsABMultiValueSQLiteRecovery::addRecoveredObject() {
    if (!currentRecord() || !currentRecordIsComplete()) return;
    // A value row always belongs to a person and holds its value; the address book's property
    // codes are small (3 phone, 4 e-mail, 5 address, ... 46 social profile).
    const auto& value = static_cast<const ContactABMultiValue&>(*currentRecord());
    if (value.RecordId() < 1 || value.Property() < kFirstPropertyCode ||
        value.Property() > kLastPropertyCode || StringUtils::IsNullOrEmpty(value.value()) ||
        !firstSighting())
        return;
    carved_.push_back(currentRecord());
}

bool AddressBookRecovery::acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                                       std::int64_t contentShift) {
    return recordCheck_.looksWritten(area, info, contentShift);
}

#include "legacy/LegacyRecovery.h"

#include "carving/StoredTables.h"
#include "common/DateUtils.h"
#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "legacy/LegacyCalendarCarving.h"
#include "legacy/LegacyCallHistoryCarving.h"
#include "legacy/LegacyContactCarving.h"
#include "legacy/LegacyMessageCarving.h"
#include "legacy/LegacyNoteCarving.h"
#include "legacy/LegacyWhatsAppCarving.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/Contact.h"
#include "records/DataType.h"
#include "records/DatabaseProblem.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <iostream>
#include <span>
#include <string_view>

namespace {

// One step of a sequence: the data type it carves, a status text (none for no status line), a
// routine, and whether the main window then switches to the messages tab.
struct LegacyStep {
    DataType type;
    const char* status;
    bool (*routine)(LegacyRecovery&);
    bool view;
};

template <class Carving, bool (Carving::*Routine)()>
bool Run(LegacyRecovery& run) {
    Carving carving(run);
    return (carving.*Routine)();
}

constexpr LegacyStep kIOS7Steps[] = {
    {DataType::DataTypeNotes, "Recovering Notes...", Run<LegacyNoteCarving, &LegacyNoteCarving::RecoverDeletedNewIOS6Notes>, true},
    {DataType::DataTypeCallHistory, "Recovering CallHistory...",
     Run<LegacyCallHistoryCarving, &LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4>, true},
    {DataType::DataTypeWhatsApp, "Recovering WhatsApp message... ",
     Run<LegacyWhatsAppCarving, &LegacyWhatsAppCarving::RecoverDeletedWhatsAppMsg_iOS7_0_2>, true},
    {DataType::DataTypeSMS, "Recovering Messages & iMessages...",
     Run<LegacyMessageCarving, &LegacyMessageCarving::RecoverIOS6DeletedSMS>, true},
    {DataType::DataTypeCalendar, "Recovering Calendar... ",
     Run<LegacyCalendarCarving, &LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2>, true},
    // The iOS 7 person table has a routine of its own; without this step the older path would
    // stand for the contacts' deleted records and list none.
    {DataType::DataTypeContacts, "Recovering Contacts...",
     Run<LegacyContactCarving, &LegacyContactCarving::DeletediOS7Contacts>, true},
};
constexpr LegacyStep kIOS6Steps[] = {
    {DataType::DataTypeSMS, "Recovering Text...", Run<LegacyMessageCarving, &LegacyMessageCarving::RecoverIOS6DeletedSMS>, false},
    {DataType::DataTypeNotes, "Recovering Notes...", Run<LegacyNoteCarving, &LegacyNoteCarving::RecoverDeletedNewIOS6Notes>, false},
    {DataType::DataTypeCallHistory, "Recovering CallHistory...",
     Run<LegacyCallHistoryCarving, &LegacyCallHistoryCarving::RecoverDeletedNewIOS6CallHistory>, false},
    {DataType::DataTypeCalendar, "Recovering Calendar...",
     Run<LegacyCalendarCarving, &LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2>, false},
    {DataType::DataTypeWhatsApp, "Recovering WhatsApp message...",
     Run<LegacyWhatsAppCarving, &LegacyWhatsAppCarving::RecoverDeletedWhatsAppMsg_iOS7_0_2>, false},
    {DataType::DataTypeContacts, "Recovering Contacts...",
     Run<LegacyContactCarving, &LegacyContactCarving::RecoverDeletedNewIOS6Contacts_Future>, false},
};
constexpr LegacyStep kIOS5Steps[] = {
    {DataType::DataTypeSMS, nullptr, Run<LegacyMessageCarving, &LegacyMessageCarving::RecoverNewDeletedSMS>, false},
    {DataType::DataTypeNotes, nullptr, Run<LegacyNoteCarving, &LegacyNoteCarving::RecoverDeletedNewNotes>, false},
    {DataType::DataTypeCallHistory, nullptr, Run<LegacyCallHistoryCarving, &LegacyCallHistoryCarving::RecoverDeletedNewCallHistory>, false},
    {DataType::DataTypeCalendar, nullptr, Run<LegacyCalendarCarving, &LegacyCalendarCarving::RecoverDeletedNewIOS5CalendarInfo>, false},
    {DataType::DataTypeContacts, nullptr, Run<LegacyContactCarving, &LegacyContactCarving::RecoverDeletedContacts>, false},
};
constexpr LegacyStep kIOS4Steps[] = {
    {DataType::DataTypeSMS, nullptr, Run<LegacyMessageCarving, &LegacyMessageCarving::RecoverNewDeletedSMS>, false},
    {DataType::DataTypeNotes, nullptr, Run<LegacyNoteCarving, &LegacyNoteCarving::RecoverDeletedNotes>, false},
    {DataType::DataTypeCallHistory, nullptr, Run<LegacyCallHistoryCarving, &LegacyCallHistoryCarving::RecoverDeletedCallHistory>, false},
    {DataType::DataTypeCalendar, nullptr, Run<LegacyCalendarCarving, &LegacyCalendarCarving::RecoverDeletedCalendarInfo>, false},
    {DataType::DataTypeContacts, nullptr, Run<LegacyContactCarving, &LegacyContactCarving::RecoverDeletedContacts>, false},
};

// The main window's tab of the messages.
constexpr std::int32_t kMessagesTab = 1;

// A table layout that a data type's routines read: the table, how many columns it has (the row
// id's included), and a column that stands where the routines expect it.
struct KnownLayout {
    const char* table;
    std::size_t fewest;
    std::size_t most;
    std::size_t column;
    const char* name;  // of that column
};
constexpr std::size_t kAppended = 1000;  // later versions append columns that are not read

// The database a data type's routines read, and the layouts they know (any one of them): the
// tables of iOS 4 to 7 (the message table of iOS 6 onwards keeps its first columns). A file
// without one of them is of a layout these routines cannot read.
struct StepInput {
    DataType type;
    DatabaseRole role;
    std::initializer_list<KnownLayout> layouts;
    const char* known;  // the layouts, in words
};
const StepInput kStepInputs[] = {
    {DataType::DataTypeSMS, DatabaseRole::Messages,
     {{"message", 17, 33, 3, "text"}, {"message", 38, kAppended, 2, "text"}},
     "a message table of 17 to 33 columns, as iOS 4 and 5 write it, or of 38 or more, as iOS 6 and later do"},
    {DataType::DataTypeContacts, DatabaseRole::AddressBook, {{"ABPerson", 34, 36, 1, "First"}},
     "a person table of 34 to 36 columns, as iOS 4 to 7 write it"},
    {DataType::DataTypeCallHistory, DatabaseRole::CallHistory, {{"call", 8, 14, 1, "address"}},
     "a call table of 8 to 14 columns, as iOS 4 to 7 write it"},
    {DataType::DataTypeNotes, DatabaseRole::Notes, {{"ZNOTE", 19, 20, 0, "Z_PK"}},
     "a note table of 19 or 20 columns, as iOS 4 to 7 write it"},
    {DataType::DataTypeCalendar, DatabaseRole::Calendar,
     {{"Event", 20, 33, 1, "summary"}, {"CalendarItem", 51, kAppended, 3, "description"}},
     "an event table Event, as iOS 4 writes it, or CalendarItem with the description as its fourth column, as iOS 5 to 8 write it"},
    {DataType::DataTypeWhatsApp, DatabaseRole::WhatsApp, {{"ZWAMESSAGE", 20, 20, 14, "ZMESSAGEDATE"}},
     "a message table of 20 columns with the message date as its 15th"},
};

bool Knows(const KnownLayout& layout, const std::vector<std::string>& columns) {
    return columns.size() >= layout.fewest && columns.size() <= layout.most && layout.column < columns.size() &&
           columns[layout.column] == layout.name;
}

bool Equal(const OptString& a, const OptString& b) {
    return a.has_value() && b.has_value() && *a == *b;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

const std::string& TextOf(const OptString& text) {
    static const std::string kEmpty;
    return text ? *text : kEmpty;
}

// Whether every character of the text is one of the allowed set.
bool OnlyCharactersOf(const std::string& text, std::u16string_view allowed) {
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    for (std::int32_t i = 0; i < unicode.length(); ++i)
        if (allowed.find(static_cast<char16_t>(unicode.charAt(i))) == std::u16string_view::npos)
            return false;
    return true;
}

bool IsDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

}  // namespace

LegacyRecovery::LegacyRecovery(ScanContext context, LegacyReporter reporter, std::int32_t hostVersion)
    : context_(std::move(context)), reporter_(std::move(reporter)), hostVersion_(hostVersion) {}

LegacyRecovery::~LegacyRecovery() = default;

void LegacyRecovery::RecoverDeletedDataNonSignatures(DataType selected) {
    const std::int32_t version = iOSMajorVersion();
    std::span<const LegacyStep> steps = kIOS4Steps;
    if (version >= 7)
        steps = kIOS7Steps;
    else if (version == 6)
        steps = kIOS6Steps;
    else if (version == 5)
        steps = kIOS5Steps;
    for (const LegacyStep& step : steps) {
        if (stopRequested()) return;
        if (!RunsStep(selected, step.type)) continue;
        if (reporter_.stepBegins) reporter_.stepBegins(step.type, step.status);
        if (step.status && reporter_.updateStatus) reporter_.updateStatus(3, step.status);
        if (readableByThisPath(step.type)) step.routine(*this);
        if (reporter_.stepEnds) reporter_.stepEnds(step.type);
        if (step.view && reporter_.UpdateMainView) reporter_.UpdateMainView(kMessagesTab);
    }
}

bool LegacyRecovery::readableByThisPath(DataType type) {
    const auto input = std::find_if(std::begin(kStepInputs), std::end(kStepInputs),
                                    [&](const StepInput& i) { return i.type == type; });
    if (input == std::end(kStepInputs) || borrowed_[static_cast<std::size_t>(input->role)]) return true;
    const std::string name = context_.databaseName(input->role);
    const OptString path = context_.locate(name);
    if (!path) return true;  // the backup lacks it: the routine finds nothing, as it should
    const StoredTables stored(*path);
    // What the file has instead: the tables it lacks, or the column count of the one it has.
    std::string lacks, has;
    for (const KnownLayout& layout : input->layouts) {
        const auto columns = stored.columnsOf(layout.table);
        if (columns && Knows(layout, *columns)) return true;
        if (columns && has.empty())
            has = "its table " + std::string(layout.table) + " has " + std::to_string(columns->size()) +
                  " columns; the routines read " + input->known;
        else if (!columns && lacks.find(layout.table) == std::string::npos)
            lacks += (lacks.empty() ? "" : " or ") + std::string(layout.table);
    }
    // A layout of another iOS version: the file is sound, this path just has no routine for it.
    auto problem = std::make_shared<DatabaseProblem>();
    problem->database = DescriptionOf(input->role);
    problem->fileName = name;
    problem->what = "the older carving path has no routine for its layout (" +
                    (has.empty() ? "it has no table " + lacks : has) + ")";
    problem->noOlderRoutine = true;
    const std::string line = "the deleted records of the " + problem->database + " (" + name +
                             ") are not searched: " + problem->what;
    std::cerr << ("scan: " + line + "\n");
    if (context_.sink().DatabaseProblems.appendUnlessKey(problem, &DatabaseProblem::FileNameKey) &&
        reporter_.updateStatus)
        reporter_.updateStatus(3, line);
    return false;
}

LegacyRecovery::Database LegacyRecovery::readDatabase(DatabaseRole role) {
    Database database;
    if (const auto& borrowed = borrowed_[static_cast<std::size_t>(role)]) {
        database.borrowed_ = *borrowed;
    } else {
        const std::string path = context_.databasePath(role);
        if (!path.empty()) database.file_ = MappedFile::open(path);
    }
    if (database.empty()) isRecovering = false;
    return database;
}

std::optional<std::vector<std::string>> LegacyRecovery::columnNames(DatabaseRole role,
                                                                    std::string_view table) const {
    if (borrowed_[static_cast<std::size_t>(role)]) return std::nullopt;
    const std::string path = context_.databasePath(role);
    if (path.empty()) return std::nullopt;
    const StoredTables tables(path);
    auto columns = tables.columnsOf(table);
    if (!columns || columns->empty()) return std::nullopt;
    return columns;
}

std::optional<std::int32_t> LegacyRecovery::columnCount(DatabaseRole role, std::string_view table) const {
    const auto columns = columnNames(role, table);
    if (!columns) return std::nullopt;
    return static_cast<std::int32_t>(columns->size());
}

void LegacyRecovery::setDatabaseBytes(DatabaseRole role, FileBytes bytes) {
    borrowed_[static_cast<std::size_t>(role)] = bytes;
}

// ---- Existing messages ----

void LegacyRecovery::loadExistingMessages() {
    if (existingMessagesLoaded_) return;
    existingMessagesLoaded_ = true;
    const std::string path = context_.databasePath(DatabaseRole::Messages);
    if (path.empty() || borrowed_[static_cast<std::size_t>(DatabaseRole::Messages)]) return;
    // The query counts and lists what it reads into its results record: a scratch one here,
    // so the scan's own lists and counts stay as they are.
    BrimleyAppDelegate scratch;
    ScanContext reading = context_;
    reading.results = &scratch;
    auto connection = std::make_shared<FMDBUtils>(path);
    if (!connection->openDatabase()) return;
    DAOs daos(connection, reading);
    if (auto messages = daos.GetSMS()) listSMS = std::move(*messages);
}

bool LegacyRecovery::isIOS6NormalSMS(const OptString& text, const OptString& address) {
    loadExistingMessages();
    for (const auto& sms : listSMS) {
        if (!sms || TextOf(sms->Message()).empty() || TextOf(sms->Address()).empty()) continue;
        if (Equal(sms->Message(), text) && (!address || Equal(sms->Address(), address))) return true;
    }
    return false;
}

bool LegacyRecovery::isNormalSMS(const OptString& text, const OptString& address) {
    loadExistingMessages();
    const std::string& carved = TextOf(text);
    const std::string& phone = TextOf(address);
    for (const auto& sms : listSMS) {
        if (!sms) continue;
        const std::string message = TextOf(sms->Message());
        const std::string stored = TextOf(sms->Address());
        if (message.empty() || stored.empty()) continue;
        if (message == carved) {
            if (!address || stored == phone) return true;
            continue;
        }
        const auto l = static_cast<std::int32_t>(CharacterCount(stored) + CharacterCount(message));
        const auto m = static_cast<std::int32_t>(CharacterCount(carved) + CharacterCount(phone));
        if (Contains(message, carved) && Contains(stored, phone)) return m - l < 19 && m > l;
        if (Contains(carved, message) && Contains(phone, stored)) {
            const auto lf = static_cast<float>(l);
            const auto mf = static_cast<float>(m);
            if (mf - lf < 19 && mf > lf) return true;
            if (mf == lf) return true;
            if (static_cast<double>(l) > 0.75 * static_cast<double>(mf)) return false;
        }
    }
    return false;
}

bool LegacyRecovery::isNormalSMS(const OptString& text) {
    loadExistingMessages();
    const std::string& carved = TextOf(text);
    for (const auto& sms : listSMS) {
        if (!sms) continue;
        const std::string message = TextOf(sms->Message());
        const std::string stored = TextOf(sms->Address());
        if (message.empty() || stored.empty()) continue;
        if (!Contains(carved, message) || !Contains(carved, stored)) continue;
        const auto l = static_cast<std::int32_t>(CharacterCount(stored) + CharacterCount(message));
        const auto m = static_cast<std::int32_t>(CharacterCount(carved));
        return m - l < 19 && m > l;
    }
    return false;
}

// ---- Duplicate tests ----

bool LegacyRecovery::isDuplicateSMS(const OptString&) const {
    return false;
}

bool LegacyRecovery::isDuplicateSms(const OptString& text, const OptString& localTime,
                                    const std::vector<std::shared_ptr<SMS>>& list) {
    return std::any_of(list.begin(), list.end(), [&](const auto& sms) {
        return sms && Equal(sms->Message(), text) && Equal(sms->LocalTime(), localTime);
    });
}

bool LegacyRecovery::isDuplicateWhatsAppmsg(const OptString& text, const OptString& messageDate,
                                            const std::vector<std::shared_ptr<WhatsApp>>& list) {
    return std::any_of(list.begin(), list.end(), [&](const auto& message) {
        return message && Equal(message->zText(), text) && Equal(message->MessageDate(), messageDate);
    });
}

bool LegacyRecovery::isDuplicateContact(const OptString& firstName) const {
    return appDelegate().DeletedContact.any(
        [&](const Contact& contact) { return Equal(contact.FirstName(), firstName); });
}

bool LegacyRecovery::isDuplicateContactName(const OptString& firstName, const OptString& createdDate) const {
    return appDelegate().DeletedContact.any([&](const Contact& contact) {
        return Equal(contact.FirstName(), firstName) && Equal(contact.CreatedDate(), createdDate);
    });
}

bool LegacyRecovery::isDuplicateNotes(const OptString& title) const {
    if (!title) return false;
    const std::string& t = *title;
    const std::int64_t length = CharacterCount(t);
    std::string middle;
    if (length > 21)
        middle = Characters(t, 2, length - 5);
    else if (length >= 5)
        middle = Characters(t, 2, length - 2);
    return appDelegate().DeletedNotes.any([&](const Note& note) {
        if (!note.Title()) return false;
        if (*note.Title() == t) return true;
        return length >= 5 && Contains(*note.Title(), middle);
    });
}

bool LegacyRecovery::isDuplicateCalender(const OptString& summary) const {
    return appDelegate().DeletedCalendar.any(
        [&](const Calendar& event) { return Equal(event.Summary(), summary); });
}

// ---- Byte and number readers ----

std::uint32_t LegacyRecovery::GetDwordFromBuffer(FileBytes bytes, std::int64_t offset, std::int32_t length) {
    if (length < 2 || length > 4) return 0;
    std::uint32_t value = 0;
    for (std::int32_t i = 0; i < length; ++i) value = (value << 8) | bytes[offset + i];
    return value;
}

std::int32_t LegacyRecovery::GetValue(std::int8_t a, std::int8_t b) {
    return ((static_cast<std::uint8_t>(a) & 127) * 128) + (static_cast<std::uint8_t>(b) & 127);
}

std::int64_t LegacyRecovery::GetTheLengthOfTheStringBytes(FileBytes bytes, std::int64_t start) {
    std::int32_t zeros = 0;
    for (std::int64_t at = std::max<std::int64_t>(start, 0); at < bytes.length(); ++at) {
        zeros = bytes[at] == 0 ? zeros + 1 : 0;
        if (zeros == 2) return at + 1;
    }
    return bytes.length();
}

OptString LegacyRecovery::GetDateFromInteger(std::int64_t unixSeconds) {
    // The stored date as it is: a carved row keeps the time the phone wrote.
    return DateUtils::DateTimeToString(DateFromUnixSeconds(static_cast<double>(unixSeconds)));
}

// ---- Character, string and phone-number tests ----

bool LegacyRecovery::IsValidPritableAsciiCharacter(std::int8_t byte) {
    const auto b = static_cast<std::uint8_t>(byte);
    return b >= 0x20 && b <= 0x7E;
}

bool LegacyRecovery::isAsciiValue(std::int8_t byte) {
    const auto b = static_cast<std::uint8_t>(byte);
    return IsDigit(b) || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

bool LegacyRecovery::isValidString(const OptString& text) const {
    static constexpr std::u16string_view kAllowed =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLKMNOPQRSTUVWXYZ0123456789()@{}_-., ";
    if (!OnlyCharactersOf(TextOf(text), kAllowed)) return false;
    if (hostVersion_ >= 17) {
        std::pair<std::int64_t, std::int64_t> range{0, 0};
        if (ContainPhoneNumber(text, &range)) return false;
    }
    return true;
}

bool LegacyRecovery::isValidChar(const OptString& text) {
    static constexpr std::u16string_view kAllowed =
        u"\"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLKMNOPQRSTUVWXYZ0123456789()!@{}_-., -()*&%#!@_:;'?!/$";
    return OnlyCharactersOf(TextOf(text), kAllowed);
}

bool LegacyRecovery::ContainPhoneNumber(const OptString&, std::pair<std::int64_t, std::int64_t>*) {
    return false;
}

OptString LegacyRecovery::GetValidPhno(FileBytes bytes, std::int64_t offset, std::int32_t size) {
    std::string run;
    for (std::int32_t i = 0; i < size && bytes.has(offset + i, 1); ++i) {
        const std::uint8_t b = bytes[offset + i];
        if (!IsDigit(b) && b != '+') break;
        run.push_back(static_cast<char>(b));
    }
    if (run.size() < 3) return std::nullopt;
    return run;
}

std::string LegacyRecovery::GetPhoneNumber(const std::string& text) const {
    if (hostVersion_ >= 17) return text;
    const FileBytes bytes(text);
    const std::int64_t size = bytes.length();
    const auto digits = [&](std::int64_t at, std::int64_t count) {
        for (std::int64_t i = 0; i < count; ++i)
            if (!IsDigit(bytes[at + i])) return false;
        return true;
    };
    for (std::int64_t at = 0; at < size; ++at) {
        // The length of the matched pattern, or 0.
        std::int64_t matched = 0;
        if (bytes.has(at, 7) && bytes[at] == '+' && digits(at + 1, 6))
            matched = 7;
        else if (bytes.has(at, 7) && bytes[at] == '0' && bytes[at + 1] == '0' && digits(at + 2, 5))
            matched = 7;
        else if (bytes.has(at, 8) && IsDigit(bytes[at]) && bytes[at + 1] == ' ' && bytes[at + 2] == '(' &&
                 bytes[at + 6] == ')' && bytes[at + 7] == ' ')
            matched = 8;
        if (matched == 0) continue;
        // The first two patterns end at the next blank after their start; the third at the
        // first blank after its eight bytes.
        const std::int64_t from = matched == 8 ? at + 8 : at;
        const auto blank = text.find(' ', static_cast<std::size_t>(from));
        if (blank == std::string::npos) return text;
        return text.substr(static_cast<std::size_t>(at), blank - static_cast<std::size_t>(at));
    }
    return text;
}

// ---- Texts ----

std::int64_t LegacyRecovery::CharacterCount(const std::string& text) {
    return icu::UnicodeString::fromUTF8(text).length();
}

std::string LegacyRecovery::Characters(const std::string& text, std::int64_t start, std::int64_t count) {
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    const auto length = static_cast<std::int64_t>(unicode.length());
    start = std::clamp<std::int64_t>(start, 0, length);
    count = std::clamp<std::int64_t>(count, 0, length - start);
    std::string out;
    unicode.tempSubString(static_cast<std::int32_t>(start), static_cast<std::int32_t>(count)).toUTF8String(out);
    return out;
}

#include "demo-backup/DemoBackup.h"

#include "common/Gzip.h"
#include "support/BackupBuilder.h"
#include "support/FixtureDatabase.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace demo {
namespace {

using testsupport::BackupBuilder;
using testsupport::FixtureDatabase;
using testsupport::Row;

// Marks a folder as one this program wrote, so that writing it again may replace it.
constexpr const char* kMarkerFile = ".torvane-demo-backup";

// 2016-08-01 00:00:00 UTC in seconds since 2001-01-01; the backup is from 2016-09-01.
constexpr double kAugustFirst = 491702400.0;
constexpr double kDay = 86400.0;

constexpr std::array kFirstNames = {
    "Anna",  "Ben",  "Clara", "David", "Elif",  "Felix", "Greta",   "Hannah", "Ivan", "Julia",
    "Karim", "Lena", "Max",   "Nora",  "Oskar", "Paula", "Quentin", "Rosa",   "Sven", "Tara",
    "Umut",  "Vera", "Wim",   "Yara",  "Zoe",   "Jonas", "Mia",     "Luca",   "Emma", "Noah"};
constexpr std::array kLastNames = {"Schmidt", "Becker",    "Müller", "Yılmaz", "Novak",
                                   "Rossi",   "Fischer",   "Weber",  "Jansen", "Kowalski",
                                   "Berg",    "Lindqvist", "Dubois", "Moreau", "Costa",
                                   "Wagner",  "Hoffmann",  "Schulz", "Keller", "Brandt"};
constexpr std::array kCompanies = {
    "Stadtwerke München GmbH", "Nordlicht Design", "Café Krümel",
    "Praxis Dr. Weber",        "Bahnhofsapotheke", "Lindqvist & Berg AB"};

constexpr std::array kSmsPhrases = {"Are we still on for tonight?",
                                    "Running 10 minutes late, sorry!",
                                    "Can you pick up milk on the way home?",
                                    "Happy birthday! 🎉",
                                    "Call me when you land",
                                    "The keys are under the mat",
                                    "Did you see the match yesterday?",
                                    "Dinner at 8 at the usual place?",
                                    "Thanks for the photos!",
                                    "I left my charger at your place",
                                    "Train is delayed again 🙄",
                                    "Can we move the meeting to Thursday?",
                                    "Good luck with the interview!",
                                    "Parcel arrived, thanks",
                                    "What's the wifi password again?",
                                    "See you at the station",
                                    "Don't forget the concert tickets",
                                    "Your table is booked for Saturday",
                                    "Can you send me the address?",
                                    "Miss you already ❤️"};
constexpr std::array kSmsTails = {"",        "x",  "Cheers",    "– M.", "See you!", "Thanks 🙂",
                                  "Best, A", "LG", "Bis dann!", "ok?",  "👍",        "Love you"};

constexpr std::array kWhatsAppPhrases = {"Who brings the barbecue?",
                                         "Sending the slides now",
                                         "Look at this view 😍",
                                         "I'm at the entrance",
                                         "Voting for Saturday",
                                         "Where did we park?",
                                         "Can someone water my plants?",
                                         "Kick-off moved to 19:30",
                                         "Happy anniversary you two!",
                                         "Boarding now ✈️",
                                         "Did anyone find my sunglasses?",
                                         "Pizza or sushi tonight?",
                                         "Laptop repaired, all good",
                                         "New photos in the album",
                                         "The ferry leaves at 9",
                                         "Rent is transferred"};
constexpr std::array kWhatsAppTails = {"", "😂", "!!", "🙏", "– Jonas", "?", "👌", "🎉"};

constexpr std::array kNoteTitles = {
    "Shopping list",           "Packing list Lisbon",  "Gift ideas",
    "Books to read",           "Wifi passwords",       "Recipe: lentil soup",
    "Flat viewing questions",  "Workout plan",         "Garden to-do",
    "Car service notes",       "Meeting notes Q3",     "Birthday party plan",
    "Podcast recommendations", "Bike repair",          "Tax documents",
    "Movie night list",        "Holiday budget",       "Running times",
    "Japanese phrases",        "Kitchen measurements", "Plants watering",
    "Wedding speech draft",    "Board game rules",     "Camping checklist"};

constexpr std::array kEventTitles = {"Dentist appointment", "Team meeting",      "Yoga class",
                                     "Lunch with Clara",    "Flight to Lisbon",  "Car service",
                                     "Parents' evening",    "Football training", "Concert",
                                     "Hairdresser",         "Project review",    "Flat viewing",
                                     "Birthday dinner",     "Language course",   "Book club",
                                     "Doctor's appointment"};
constexpr std::array kEventPlaces = {"Praxis Dr. Weber, Hauptstraße 5", "Office, Room 3.14",
                                     "Studio Lotus", "Café Krümel", "Airport Terminal 2"};

constexpr std::array kSites = {"https://www.spiegel.de/",        "https://de.wikipedia.org/wiki/",
                               "https://www.bahn.de/",           "https://www.chefkoch.de/rezepte/",
                               "https://www.booking.com/hotel/", "https://github.com/",
                               "https://www.weather.com/",       "https://www.imdb.com/title/"};
constexpr std::array kPages = {"Lissabon", "Berlin",    "Kaffee",    "Schach",
                               "Fahrrad",  "Sauerteig", "Nordlicht", "Zugspitze"};

// A numbered fallback keeps every key unique beyond the pools' combinations.
template <class Pool, class Tails>
std::string Combined(const Pool& pool, const Tails& tails, int i) {
    const int p = static_cast<int>(pool.size());
    const int t = static_cast<int>(tails.size());
    std::string text = pool[static_cast<std::size_t>(i % p)];
    const std::string tail = tails[static_cast<std::size_t>((i / p) % t)];
    if (!tail.empty()) text += " " + tail;
    if (i >= p * t) text += " (" + std::to_string(i / (p * t) + 1) + ")";
    return text;
}

// A database of the backup, written without waiting for the disk after every row: the file is
// complete once it is closed, which is all a backup needs.
FixtureDatabase AddDatabase(BackupBuilder& backup, const char* domain, const char* path,
                            const char* schema) {
    auto db = backup.addDatabase(domain, path, schema);
    db.exec("PRAGMA synchronous = OFF; PRAGMA journal_mode = MEMORY");
    return db;
}

std::string Numbered(const char* base, int i, int poolSize) {
    return i < poolSize ? std::string(base)
                        : std::string(base) + " " + std::to_string(i / poolSize + 1);
}

class DemoRandom {
public:
    explicit DemoRandom(std::uint32_t seed) : engine_(seed) {}
    std::uint32_t next() { return static_cast<std::uint32_t>(engine_()); }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
    std::string uuid() {
        char text[40];
        std::snprintf(text, sizeof text, "%08X-%04X-4%03X-%04X-%04X%08X", next(), next() & 0xFFFF,
                      next() & 0xFFF, (next() & 0x3FFF) | 0x8000, next() & 0xFFFF, next());
        return text;
    }

private:
    std::mt19937 engine_;
};

// The national digits of a contact's mobile number ("151 2345 6789" without blanks).
std::string MobileDigits(int i) {
    return "15" + std::to_string(1 + i % 3) + std::to_string(21000000 + i * 3761);
}
std::string MobileDisplay(int i) {
    const std::string d = MobileDigits(i);
    return "+49 " + d.substr(0, 3) + " " + d.substr(3, 4) + " " + d.substr(7);
}
std::string MobileCanonical(int i) {
    return "+49" + MobileDigits(i);
}
// A number that is in nobody's address book.
std::string StrangerNumber(int i) {
    return "+4930" + std::to_string(55000000 + i * 7919);
}

struct Person {
    std::string first, last;
};

Person PersonOf(int i) {
    const int f = static_cast<int>(kFirstNames.size());
    const int l = static_cast<int>(kLastNames.size());
    return {kFirstNames[static_cast<std::size_t>(i % f)],
            kLastNames[static_cast<std::size_t>((i / f + 3 * (i % f)) % l)]};
}

// ---- Address book ----

void WriteAddressBook(BackupBuilder& backup, const DemoBackupOptions& options, DemoRandom& random,
                      DemoBackupContents& contents) {
    auto db = AddDatabase(backup, "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
                          "addressbook.sql");
    std::vector<std::int64_t> rowIds;
    for (int i = 0; i < options.contacts; ++i) {
        const Person person = PersonOf(i);
        const double created = kAugustFirst - 400 * kDay + i * 3.5 * kDay;
        std::string note;
        // Longer rows, as real cards with notes are.
        if (i % 4 == 1)
            note = "Met at " +
                   std::string(kCompanies[static_cast<std::size_t>(i % kCompanies.size())]) +
                   "; prefers calls in the evening, speaks German and English. Birthday in spring.";
        const bool organisation = i % 5 == 0;
        const std::string organization =
            organisation ? kCompanies[static_cast<std::size_t>(i % kCompanies.size())] : "";
        const std::int64_t rowId = db.insert(
            "ABPerson", {{"First", person.first},
                         {"Last", person.last},
                         {"Organization", organisation ? ColumnValue(organization) : ColumnValue()},
                         {"Note", note.empty() ? ColumnValue() : ColumnValue(note)},
                         {"Kind", std::int64_t{0}},
                         {"FirstSort", person.first + " " + person.last},
                         {"LastSort", person.last + " " + person.first},
                         {"CreationDate", static_cast<std::int64_t>(created)},
                         {"ModificationDate", static_cast<std::int64_t>(created + 3 * kDay)},
                         {"StoreID", std::int64_t{0}},
                         {"guid", random.uuid() + ":ABPerson"}});
        rowIds.push_back(rowId);
        std::vector<std::string> phones = {MobileDisplay(i)};
        if (i % 3 == 0) phones.push_back("030 " + std::to_string(4400000 + i * 17));
        std::string email = person.first + "." + person.last + "@example.com";
        std::transform(email.begin(), email.end(), email.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::int64_t identifier = 0;
        for (const auto& phone : phones)
            db.insert("ABMultiValue", {{"record_id", rowId},
                                       {"property", std::int64_t{3}},
                                       {"identifier", identifier++},
                                       {"label", std::int64_t{1}},
                                       {"value", phone},
                                       {"guid", random.uuid()}});
        db.insert("ABMultiValue", {{"record_id", rowId},
                                   {"property", std::int64_t{4}},
                                   {"identifier", identifier++},
                                   {"label", std::int64_t{2}},
                                   {"value", email},
                                   {"guid", random.uuid()}});
        std::string phoneText;
        for (const auto& phone : phones) phoneText += (phoneText.empty() ? "" : " ") + phone;
        db.insert("ABPersonFullTextSearch_content",
                  {{"docid", rowId},
                   {"c0First", person.first},
                   {"c1Last", person.last},
                   {"c6Organization", organisation ? ColumnValue(organization) : ColumnValue()},
                   {"c15Phone", phoneText},
                   {"c16Email", email}});
        contents.contacts.push_back({person.first + " " + person.last, false});
    }
    // The message partners (the first twelve) stay; some others were deleted, a run of them at
    // once, as when a phone's old contacts are cleaned up.
    for (int i = 12; i < options.contacts; ++i) {
        if (i % 5 != 2 && !(i >= 30 && i < 37)) continue;
        const std::int64_t rowId = rowIds[static_cast<std::size_t>(i)];
        db.deleteRow("ABPersonFullTextSearch_content", rowId);
        db.deleteWhere("ABMultiValue", "record_id = " + std::to_string(rowId));
        db.deleteRow("ABPerson", rowId);
        contents.contacts[static_cast<std::size_t>(i)].deleted = true;
    }
    db.close();
}

// ---- Messages ----

void WriteMessages(BackupBuilder& backup, const DemoBackupOptions& options, DemoRandom& random,
                   DemoBackupContents& contents) {
    auto db = AddDatabase(backup, "HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql");
    struct Partner {
        std::string address, service;
        std::int64_t handle = 0, chat = 0;
    };
    std::vector<Partner> partners;
    for (int i = 0; i < std::min(options.contacts, 12); ++i)
        partners.push_back({MobileCanonical(i), i % 3 == 1 ? "iMessage" : "SMS"});
    partners.push_back({StrangerNumber(1), "SMS"});
    partners.push_back({"sam.taylor@example.org", "iMessage"});
    const std::string account = "5D1E0B2C-0000-4000-8000-00000000A1B2";
    for (Partner& p : partners) {
        p.handle = db.insert("handle",
                             {{"id", p.address},
                              {"country", p.service == "SMS" ? ColumnValue("de") : ColumnValue()},
                              {"service", p.service},
                              {"uncanonicalized_id", p.address}});
        p.chat = db.insert("chat", {{"guid", p.service + ";-;" + p.address},
                                    {"style", std::int64_t{45}},
                                    {"state", std::int64_t{3}},
                                    {"account_id", account},
                                    {"chat_identifier", p.address},
                                    {"service_name", p.service}});
        db.insert("chat_handle_join", {{"chat_id", p.chat}, {"handle_id", p.handle}});
    }

    std::vector<std::int64_t> rowIds;
    for (int i = 0; i < options.messages; ++i) {
        const Partner& p = partners[static_cast<std::size_t>((i * 7 + i / 5) % partners.size())];
        const bool fromMe = i % 3 != 0;
        const std::int64_t date =
            static_cast<std::int64_t>(kAugustFirst +
                                      (i * 31.0 / std::max(1, options.messages)) * kDay) +
            random.below(3600);
        const std::string text = Combined(kSmsPhrases, kSmsTails, i);
        const std::int64_t rowId =
            db.insert("message", {{"guid", random.uuid()},
                                  {"text", text},
                                  {"handle_id", p.handle},
                                  {"service", p.service},
                                  {"account", "e:me@example.com"},
                                  {"account_guid", account},
                                  {"date", date},
                                  {"date_read", fromMe ? std::int64_t{0} : date + 60},
                                  {"date_delivered", fromMe ? date + 5 : std::int64_t{0}},
                                  {"is_from_me", std::int64_t{fromMe}},
                                  {"is_delivered", std::int64_t{1}},
                                  {"is_finished", std::int64_t{1}},
                                  {"is_read", std::int64_t{!fromMe}},
                                  {"is_sent", std::int64_t{fromMe}},
                                  {"error", std::int64_t{0}}});
        db.insert("chat_message_join", {{"chat_id", p.chat}, {"message_id", rowId}});
        rowIds.push_back(rowId);
        contents.messages.push_back({text, false});
    }
    for (int i = 0; i < options.messages; ++i) {
        if (i % 5 != 3 && !(i >= 100 && i < 112)) continue;
        const std::int64_t rowId = rowIds[static_cast<std::size_t>(i)];
        // As on the phone: the message goes with its link to the chat.
        db.deleteWhere("chat_message_join", "message_id = " + std::to_string(rowId));
        db.deleteRow("message", rowId);
        contents.messages[static_cast<std::size_t>(i)].deleted = true;
    }
    db.close();
}

// ---- Call history ----

void WriteCalls(BackupBuilder& backup, const DemoBackupOptions& options, DemoRandom& random,
                DemoBackupContents& contents) {
    auto db = AddDatabase(backup, "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
                          "callhistory-storedata-ios8.sql");
    for (int i = 1; i <= options.calls; ++i) {
        // Each call with a number of its own: the first ones with people in the address book.
        const std::string number =
            i <= options.contacts ? MobileCanonical(i - 1) : StrangerNumber(100 + i);
        const bool answered = i % 6 != 0;
        db.insert("ZCALLRECORD",
                  {{"Z_PK", i},
                   {"Z_ENT", 2},
                   {"Z_OPT", 1},
                   {"ZANSWERED", answered ? 1 : 0},
                   {"ZCALLTYPE", i % 9 == 0 ? 8 : 1},
                   {"ZFACE_TIME_DATA", 0},
                   {"ZNUMBER_AVAILABILITY", 0},
                   {"ZORIGINATED", i % 2},
                   {"ZREAD", 1},
                   {"ZDATE", kAugustFirst + (i * 31.0 / std::max(1, options.calls)) * kDay +
                                 random.below(3600) + 0.25},
                   {"ZDURATION", answered ? 15.5 + random.below(900) : 0.0},
                   {"ZISO_COUNTRY_CODE", "de"},
                   {"ZLOCATION", "Deutschland"},
                   {"ZUNIQUE_ID", random.uuid()},
                   {"ZADDRESS", number}});
        contents.calls.push_back({number, false});
    }
    for (int i = 1; i <= options.calls; ++i) {
        if (i % 4 != 2 && i != options.calls) continue;
        db.deleteRow("ZCALLRECORD", i);
        contents.calls[static_cast<std::size_t>(i - 1)].deleted = true;
    }
    db.close();
}

// ---- Notes ----

Bytes Gzipped(const std::string& text) {
    const auto packed = GZIP::gzippedData(Bytes(text.begin(), text.end()));
    if (!packed) throw std::runtime_error("cannot compress a note");
    return *packed;
}

void WriteNotes(BackupBuilder& backup, const DemoBackupOptions& options, DemoRandom& random,
                DemoBackupContents& contents) {
    auto db = AddDatabase(backup, "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
                          "notestore-ios9.sql");
    // The two folders: the notes, and what the user deleted on the phone.
    constexpr std::int64_t kNotesFolder = 1;
    constexpr std::int64_t kDeletedFolder = 2;
    db.insert("ZICCLOUDSYNCINGOBJECT", {{"Z_PK", kNotesFolder},
                                        {"Z_ENT", 12},
                                        {"Z_OPT", 3},
                                        {"ZIDENTIFIER", random.uuid()},
                                        {"ZTITLE2", "Notes"}});
    db.insert("ZICCLOUDSYNCINGOBJECT", {{"Z_PK", kDeletedFolder},
                                        {"Z_ENT", 12},
                                        {"Z_OPT", 3},
                                        {"ZIDENTIFIER", "TrashFolder-CloudKit"},
                                        {"ZTITLE2", "Recently Deleted"}});
    const int pool = static_cast<int>(kNoteTitles.size());
    std::vector<std::int64_t> notes;
    for (int i = 0; i < options.notes; ++i) {
        const std::int64_t pk = 10 + i;
        const std::string title =
            Numbered(kNoteTitles[static_cast<std::size_t>(i % pool)], i, pool);
        const std::string body =
            title + "\n" + "- " + kEventPlaces[static_cast<std::size_t>(i % kEventPlaces.size())] +
            "\n- remember to check twice\n- " + std::to_string(3 + i % 7) + " items";
        const double created = kAugustFirst - 60 * kDay + i * 2.5 * kDay;
        // Deleted on the phone: kept in "Recently Deleted", with the time it was moved there.
        const bool recentlyDeleted = i % 6 == 4;
        db.insert(
            "ZICNOTEDATA",
            {{"Z_PK", pk}, {"Z_ENT", 7}, {"Z_OPT", 2}, {"ZNOTE", pk}, {"ZDATA", Gzipped(body)}});
        Row note = {{"Z_PK", pk},
                    {"Z_ENT", 9},
                    {"Z_OPT", 4},
                    {"ZNOTEDATA", pk},
                    {"ZCREATIONDATE", created},
                    {"ZMODIFICATIONDATE", created + 3600.5},
                    {"ZIDENTIFIER", random.uuid()},
                    {"ZSNIPPET", body.substr(title.size() + 1, 60)},
                    {"ZTITLE1", title}};
        if (recentlyDeleted) note.emplace_back("ZFOLDERSMODIFICATIONDATE", created + 20 * kDay);
        db.insert("ZICCLOUDSYNCINGOBJECT", note);
        db.insert("Z_12NOTES", {{"Z_12FOLDERS", recentlyDeleted ? kDeletedFolder : kNotesFolder},
                                {"Z_9NOTES", pk}});
        notes.push_back(pk);
        contents.notes.push_back({title, recentlyDeleted});
    }
    // Emptied from "Recently Deleted" as well: only their bodies are left in free space.
    for (int i = 0; i < options.notes; ++i) {
        if (i % 8 != 7) continue;
        const std::int64_t pk = notes[static_cast<std::size_t>(i)];
        db.deleteWhere("Z_12NOTES", "Z_9NOTES = " + std::to_string(pk));
        db.deleteRow("ZICNOTEDATA", pk);
        db.deleteRow("ZICCLOUDSYNCINGOBJECT", pk);
        contents.notes[static_cast<std::size_t>(i)].deleted = true;
    }
    db.close();

    // The notes file of iOS 8, which a phone upgraded to iOS 9 still keeps.
    auto legacy = AddDatabase(backup, "HomeDomain", "Library/Notes/notes.sqlite", "notes-ios7.sql");
    const std::array legacyTitles = {"Old phone PIN ideas", "Moving boxes", "Zugspitze hike 2014"};
    for (std::size_t i = 0; i < legacyTitles.size(); ++i) {
        const std::int64_t pk = static_cast<std::int64_t>(i) + 1;
        const double created = kAugustFirst - 700 * kDay + static_cast<double>(i) * 40 * kDay;
        legacy.insert("ZNOTE", {{"Z_PK", pk},
                                {"Z_ENT", 2},
                                {"Z_OPT", 1},
                                {"ZCONTAINSCJK", 0},
                                {"ZCONTENTTYPE", 0},
                                {"ZDELETEDFLAG", 0},
                                {"ZEXTERNALFLAGS", 0},
                                {"ZEXTERNALSERVERINTID", -1},
                                {"ZINTEGERID", 1000 + pk},
                                {"ZISBOOKKEEPINGENTRY", 0},
                                {"ZBODY", pk},
                                {"ZSTORE", 1},
                                {"ZCREATIONDATE", created},
                                {"ZMODIFICATIONDATE", created + 60.5},
                                {"ZTITLE", legacyTitles[i]},
                                {"ZEXTERNALSEQUENCENUMBER", 0},
                                {"ZGUID", random.uuid()},
                                {"ZSUMMARY", std::string(legacyTitles[i]) + " – see list"}});
        legacy.insert("ZNOTEBODY", {{"Z_PK", pk},
                                    {"Z_ENT", 3},
                                    {"Z_OPT", 1},
                                    {"ZOWNER", pk},
                                    {"ZCONTENT", "<div>" + std::string(legacyTitles[i]) +
                                                     "</div><div>see list</div>"}});
        contents.notes.push_back({legacyTitles[i], false});
    }
    legacy.close();
}

// ---- Calendar ----

void WriteCalendar(BackupBuilder& backup, const DemoBackupOptions& options, DemoRandom& random,
                   DemoBackupContents& contents) {
    auto db = AddDatabase(backup, "HomeDomain", "Library/Calendar/Calendar.sqlitedb",
                          "calendar-ios9.sql");
    std::vector<std::int64_t> places;
    for (const char* place : kEventPlaces)
        places.push_back(db.insert("Location", {{"title", place}}));
    const int pool = static_cast<int>(kEventTitles.size());
    std::vector<std::int64_t> rowIds;
    for (int i = 0; i < options.events; ++i) {
        const std::string title =
            Numbered(kEventTitles[static_cast<std::size_t>(i % pool)], i, pool);
        const double start = kAugustFirst + (i * 45.0 / std::max(1, options.events)) * kDay +
                             3600.0 * (8 + random.below(10));
        const std::string identifier = random.uuid();
        Row row = {{"summary", title},
                   {"start_date", start},
                   {"start_tz", "Europe/Berlin"},
                   {"end_date", start + 3600.0 * (1 + i % 3)},
                   {"all_day", i % 11 == 0 ? 1 : 0},
                   {"calendar_id", 1 + i % 2},
                   {"orig_item_id", 0},
                   {"orig_date", 0.0},
                   {"status", 0},
                   {"availability", 0},
                   {"privacy_level", 0},
                   {"last_modified", start - 5 * kDay + 0.5},
                   {"sequence_num", 0},
                   {"birthday_id", -1},
                   {"unique_identifier", identifier},
                   {"hidden", 0},
                   {"has_recurrences", 0},
                   {"has_attendees", 0},
                   {"UUID", identifier},
                   {"entity_type", 2},
                   {"end_tz", "Europe/Berlin"}};
        if (i % 3 == 0)
            row.emplace_back("location_id", places[static_cast<std::size_t>(i % places.size())]);
        if (i % 2 == 0)
            row.emplace_back("description", "Bring the documents, confirm a day before.");
        rowIds.push_back(db.insert("CalendarItem", row));
        contents.events.push_back({title, false});
    }
    for (int i = 0; i < options.events; ++i) {
        if (i % 4 != 2 && i != options.events - 1) continue;
        db.deleteRow("CalendarItem", rowIds[static_cast<std::size_t>(i)]);
        contents.events[static_cast<std::size_t>(i)].deleted = true;
    }
    db.close();
}

// ---- WhatsApp ----

void WriteWhatsApp(BackupBuilder& backup, const DemoBackupOptions& options, DemoRandom& random,
                   DemoBackupContents& contents) {
    auto db = AddDatabase(backup, "AppDomain-net.whatsapp.WhatsApp", "Documents/ChatStorage.sqlite",
                          "whatsapp-chatstorage.sql");
    struct Chat {
        std::string jid, name;
    };
    std::vector<Chat> chats;
    for (int i = 0; i < 4; ++i) {
        const Person person = PersonOf(i + 2);
        chats.push_back({MobileDigits(i + 2).insert(0, "49") + "@s.whatsapp.net",
                         person.first + " " + person.last});
    }
    for (std::size_t c = 0; c < chats.size(); ++c)
        db.insert("ZWACHATSESSION", {{"Z_PK", static_cast<std::int64_t>(c) + 1},
                                     {"Z_ENT", 6},
                                     {"Z_OPT", 1},
                                     {"ZCONTACTJID", chats[c].jid},
                                     {"ZPARTNERNAME", chats[c].name}});
    for (int i = 1; i <= options.whatsAppMessages; ++i) {
        const std::size_t c = static_cast<std::size_t>(i % 4);
        // Each chat goes back and forth: a chat's messages are the owner's and the partner's
        // by turns.
        const bool fromMe = (i / 4) % 2 == 1;
        const double at = kAugustFirst + (i * 31.0 / std::max(1, options.whatsAppMessages)) * kDay +
                          random.below(3600) + 0.5;
        const std::string text = Combined(kWhatsAppPhrases, kWhatsAppTails, i - 1);
        Row row = {{"Z_PK", i},
                   {"Z_ENT", 9},
                   {"Z_OPT", 2},
                   {"ZISFROMME", fromMe ? 1 : 0},
                   {"ZMESSAGESTATUS", fromMe ? 8 : 6},
                   {"ZMESSAGETYPE", 0},
                   {"ZSORT", i},
                   {"ZCHATSESSION", static_cast<std::int64_t>(c) + 1},
                   {"ZMESSAGEDATE", at},
                   {"ZSENTDATE", at},
                   {"ZSTANZAID", "3EB0" + std::to_string(7100000000 + i) + "A1F2"},
                   {"ZTEXT", text}};
        row.emplace_back(fromMe ? "ZTOJID" : "ZFROMJID", chats[c].jid);
        if (!fromMe)
            row.emplace_back("ZPUSHNAME", chats[c].name.substr(0, chats[c].name.find(' ')));
        db.insert("ZWAMESSAGE", row);
        contents.whatsAppMessages.push_back({text, false});
    }
    for (int i = 1; i <= options.whatsAppMessages; ++i) {
        if (i % 4 != 2 && i != options.whatsAppMessages) continue;
        db.deleteRow("ZWAMESSAGE", i);
        contents.whatsAppMessages[static_cast<std::size_t>(i - 1)].deleted = true;
    }
    db.close();
}

// ---- Safari ----

void WriteSafari(BackupBuilder& backup, const DemoBackupOptions& options, DemoRandom& random,
                 DemoBackupContents& contents) {
    auto db = AddDatabase(backup, "AppDomain-com.apple.mobilesafari", "Library/Safari/History.db",
                          "safari-history.sql");
    const int sites = static_cast<int>(kSites.size());
    const int pages = static_cast<int>(kPages.size());
    for (int i = 0; i < options.visits; ++i) {
        std::string url = std::string(kSites[static_cast<std::size_t>(i % sites)]) +
                          kPages[static_cast<std::size_t>((i / sites) % pages)];
        if (i >= sites * pages) url += "?p=" + std::to_string(i);
        const std::int64_t visits = 1 + random.below(4);
        const std::int64_t item =
            db.insert("history_items", {{"url", url},
                                        {"visit_count", visits},
                                        {"daily_visit_counts", Bytes{}},
                                        {"should_recompute_derived_visit_counts", 0}});
        const double at =
            kAugustFirst + (i * 31.0 / std::max(1, options.visits)) * kDay + random.below(7200);
        db.insert("history_visits",
                  {{"history_item", item},
                   {"visit_time", at},
                   {"title", std::string(kPages[static_cast<std::size_t>((i / sites) % pages)]) +
                                 " – " + url.substr(8, url.find('/', 8) - 8)}});
        contents.visits.push_back({url, false});
    }
    db.close();
}

// ---- Photos and a video ----

void WritePhotos(BackupBuilder& backup, const DemoBackupOptions& options, DemoRandom& random,
                 DemoBackupContents& contents) {
    constexpr const char* kCameraRoll = "CameraRollDomain";
    FixtureDatabase db(backup.pathFor(kCameraRoll, "Media/PhotoData/Photos.sqlite"));
    db.exec("PRAGMA synchronous = OFF; PRAGMA journal_mode = MEMORY");
    db.exec(testsupport::LoadSchema("photos.sql"));
    const auto asset = [&](std::int64_t pk, const std::string& file, std::int64_t trashed) {
        db.insert("ZGENERICASSET",
                  {{"Z_PK", pk},
                   {"ZDIRECTORY", "DCIM/100APPLE"},
                   {"ZFILENAME", file},
                   {"ZDATECREATED", kAugustFirst + static_cast<double>(pk) * 2 * kDay},
                   {"ZMODIFICATIONDATE", kAugustFirst + static_cast<double>(pk) * 2 * kDay + 60},
                   {"ZTRASHEDSTATE", trashed}});
        db.insert("Z_15ASSETS", {{"Z_15ALBUMS", 1}, {"Z_22ASSETS", pk}});
    };
    for (int i = 1; i <= options.photos; ++i) {
        char name[32];
        const bool screenshot = i % 5 == 0;
        std::snprintf(name, sizeof name, "IMG_%04d.%s", i, screenshot ? "PNG" : "JPG");
        const auto bytes =
            screenshot ? DemoPng(48, 32, random.next()) : DemoJpeg(64, 48, random.next());
        backup.addFile(kCameraRoll, std::string("Media/DCIM/100APPLE/") + name,
                       Bytes(bytes.begin(), bytes.end()));
        // One picture lies in the library's trash.
        asset(i, name, i == 3 ? 1 : 0);
        ++contents.photos;
    }
    char video[32];
    std::snprintf(video, sizeof video, "IMG_%04d.MOV", options.photos + 1);
    const auto film = DemoQuickTimeHeader();
    backup.addFile(kCameraRoll, std::string("Media/DCIM/100APPLE/") + video,
                   Bytes(film.begin(), film.end()));
    asset(options.photos + 1, video, 0);
    ++contents.videos;
    db.close();

    for (int i = 0; i < options.extraPhotos; ++i) {
        char name[48];
        std::snprintf(name, sizeof name, "Media/DCIM/101APPLE/IMG_%04d.JPG", 1000 + i);
        const auto bytes = DemoJpeg(16, 16, random.next());
        backup.addFile(kCameraRoll, name, Bytes(bytes.begin(), bytes.end()));
    }
}

void PrepareFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (std::filesystem::exists(folder, error)) {
        const bool empty = std::filesystem::is_empty(folder, error);
        if (!empty && !std::filesystem::exists(folder / kMarkerFile, error))
            throw std::runtime_error(
                folder.string() + " is not empty and holds no demo backup; choose another folder");
        std::filesystem::remove_all(folder, error);
        if (error)
            throw std::runtime_error("cannot replace " + folder.string() + ": " + error.message());
    }
    std::filesystem::create_directories(folder, error);
    if (error)
        throw std::runtime_error("cannot create " + folder.string() + ": " + error.message());
    std::ofstream(folder / kMarkerFile)
        << "Made by torvane-demo-backup; replaced when it runs again.\n";
}

}  // namespace

DemoBackupContents WriteDemoBackup(const std::filesystem::path& folder,
                                   const DemoBackupOptions& options) {
    PrepareFolder(folder);
    DemoRandom random(options.seed);
    BackupBuilder backup(folder);
    DemoBackupContents contents;
    contents.folder = folder;

    testsupport::DeviceDetails details;
    details.deviceName = "Demo iPhone";
    details.displayName = "Demo iPhone";
    details.serialNumber = "F2LDEMO0HG7F";
    details.productType = "iPhone8,1";
    details.uniqueIdentifier = "D3E0B4C4F00D5EED0000DE5000000000000A1B2C";
    details.productVersion = "9.3.5";
    details.phoneNumber = "+49 151 00012345";
    details.iccid = "8949020000099999999";
    backup.writePlists(details);
    contents.deviceName = *details.deviceName;

    WriteAddressBook(backup, options, random, contents);
    WriteMessages(backup, options, random, contents);
    WriteCalls(backup, options, random, contents);
    WriteNotes(backup, options, random, contents);
    WriteCalendar(backup, options, random, contents);
    WriteWhatsApp(backup, options, random, contents);
    WriteSafari(backup, options, random, contents);
    WritePhotos(backup, options, random, contents);
    // The file list an iOS 9 backup has.
    backup.writeManifestMbdb();
    return contents;
}

}  // namespace demo

#include "services/CalendarRecoverers.h"
#include "services/CalendarsService.h"

#include "CalendarCallsNotesWhatsAppSupport.h"
#include "records/Calendar.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <map>

#include <set>
#include <string>

namespace {

using testsupport::ContextFor;

using othertest::DeletedRows;
using othertest::RecoveryTest;
using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::FixtureDatabase;
using testsupport::Row;

constexpr const char* kDomain = "HomeDomain";
constexpr const char* kPath = "Library/Calendar/Calendar.sqlitedb";

// 2016-01-15 08:30:00 UTC in seconds since 2001; event i starts i days later.
constexpr double kFirstStart = 474539400.0;

std::string TitleOf(int i) {
    return "Termin " + std::to_string(i);
}
std::string IdentifierOf(int i) {
    return "5F3A2C1B-7D4E-4A9B-8C6D-" + std::to_string(200000000000 + i);
}

// An event as the calendar app stores it; every third one has a place, some no description.
Row EventRow(int i, bool iOS9Layout, std::int64_t place) {
    const double start = kFirstStart + 86400.0 * i;
    Row row = {{"summary", TitleOf(i)},
               {"start_date", start},
               {"start_tz", i % 5 == 0 ? "_float" : "Europe/Berlin"},
               {"end_date", start + 5400.0},
               {"all_day", i % 7 == 0 ? 1 : 0},
               {"calendar_id", 1},
               {"orig_item_id", 0},
               {"orig_date", 0.0},
               {"status", 0},
               {"availability", 0},
               {"privacy_level", 0},
               {"last_modified", start - 1000.5},
               {"sequence_num", 0},
               {"birthday_id", -1},
               {"unique_identifier", IdentifierOf(i)},
               {"hidden", 0},
               {"has_recurrences", 0},
               {"has_attendees", 0},
               {"UUID", IdentifierOf(i)},
               {"entity_type", 2}};
    if (i % 3 == 0) row.emplace_back("location_id", place);
    if (i % 2 == 0)
        row.emplace_back("description", "Bitte Unterlagen mitbringen (" + std::to_string(i) + ")");
    if (iOS9Layout) row.emplace_back("end_tz", "Europe/Berlin");
    return row;
}

class CalendarServiceTest : public RecoveryTest {
protected:
    // A calendar database with `count` events, every fourth and the last deleted; the titles
    // of the deleted events the file still holds.
    std::set<std::string> addCalendar(BackupBuilder& backup, const char* schema, int count) {
        auto db = backup.addDatabase(kDomain, kPath, schema);
        const std::int64_t place =
            db.insert("Location", {{"title", "Praxis Dr. Weber, Hauptstraße 5"}});
        const bool iOS9 = std::string(schema) == "calendar-ios9.sql";
        DeletedRows written;
        std::set<std::int64_t> gone;
        for (int i = 1; i <= count; ++i) {
            const std::int64_t id = db.insert("CalendarItem", EventRow(i, iOS9, place));
            written.remember(db.handle(), "CalendarItem", id);
            if (i % 4 == 2 || i == count) gone.insert(id);
        }
        for (auto id : gone) db.deleteRow("CalendarItem", id);
        db.close();
        const auto left = written.recoverable(db.path(), gone);
        EXPECT_GE(left.size() * 2, gone.size());
        std::set<std::string> titles;
        for (auto id : left) titles.insert(TitleOf(static_cast<int>(id)));
        return titles;
    }

    std::multiset<std::string> listedTitles() const {
        std::multiset<std::string> titles;
        for (const auto& event : record.DeletedCalendar.snapshot())
            titles.insert(event->Summary().value_or("<absent>"));
        return titles;
    }
};

// Exposes the position check.
// The position check of a field, as the recoverer answers it after decoding a text.
std::int32_t Check(const std::string& field, const std::string& text) {
    return AppointmentsSQLiteRecovery::PositionShift(
        field, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace

TEST(CalendarSignature, PatternsFollowTheCalendarTables) {
    const SQLiteSignature* items =
        othertest::AppSignatures()->Find("HomeDomain", "Calendar.sqlite", "CalendarItem");
    ASSERT_NE(items, nullptr);
    othertest::ExpectPatternsFollowTables(*items,
                                          {{"calendar-ios9.sql", "CalendarItem"},
                                           {"calendar.sql", "CalendarItem"},
                                           {"calendar-ios4.sql", "Event"}},
                                          {{"summary", "summary"},
                                           {"location_id", "location_id"},
                                           {"description", "description"},
                                           {"start_date", "start_date"},
                                           {"start_tz", "start_tz"},
                                           {"end_date", "end_date"},
                                           {"all_day", "all_day"},
                                           {"calendar_id", "calendar_id"},
                                           {"last_modified", "last_modified"},
                                           {"unique_identifier", "unique_identifier"},
                                           {"privacy_level", "privacy_level"}});
}

// Both CalendarItem layouts, flat and in sub-folders: each deleted event the file still holds is
// listed once, with its place, and refreshes the window; no live event is listed.
TEST_F(CalendarServiceTest, ListsTheDeletedEventsOfBothLayouts) {
    struct Case {
        const char* schema;
        BackupLayout layout;
    };
    for (const Case c : {Case{"calendar.sql", BackupLayout::Flat},
                         Case{"calendar-ios9.sql", BackupLayout::Sharded}}) {
        SCOPED_TRACE(c.schema);
        testsupport::TempDir backupDir;
        BackupBuilder backup(backupDir.path(), c.layout);
        const auto expected = addCalendar(backup, c.schema, 80);
        useBackup(backup, 9);
        record.DeletedCalendar.clear();
        record.AllDeletedCalendar.clear();
        record.DeletedCalendarCount = 0;
        window->foundRecoveredData = 0;

        CalendarsService service;
        service.RecoverFromIOSBackup(ContextFor(record, device));

        EXPECT_EQ(listedTitles(), std::multiset<std::string>(expected.begin(), expected.end()));
        const auto events = record.DeletedCalendar.snapshot();
        EXPECT_EQ(record.AllDeletedCalendar.snapshot(), events);
        EXPECT_EQ(record.DeletedCalendarCount.load(), static_cast<int>(events.size()));
        EXPECT_EQ(window->foundRecoveredData.load(), static_cast<int>(events.size()));
        for (const auto& event : events) {
            const int i = std::stoi(event->Summary()->substr(7));
            SCOPED_TRACE(i);
            EXPECT_EQ(event->SlNo(), 0);
            EXPECT_EQ(event->UniqueIdentifier(), IdentifierOf(i));
            EXPECT_EQ(event->Location(), i % 3 == 0 ? "Praxis Dr. Weber, Hauptstraße 5" : "");
            EXPECT_EQ(event->AllDay(), i % 7 == 0 ? "1" : "0");
            // As the live list shows the stored 0.
            EXPECT_EQ(event->Priority(), "0");
        }
    }
}

// A carved event shows its values as the live events show theirs: its times, its zone (the
// floating zone as none) and no original date, which the item table does not keep.
TEST_F(CalendarServiceTest, CarvedEventShowsItsTimes) {
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase(kDomain, kPath, "calendar.sql");
    for (int i = 1; i <= 6; ++i) db.insert("CalendarItem", EventRow(i, false, 0));
    db.deleteRow("CalendarItem", 2);
    db.deleteRow("CalendarItem", 5);  // a floating event
    db.close();
    useBackup(backup, 8);
    CalendarsService().RecoverFromIOSBackup(ContextFor(record, device));
    std::map<std::string, std::shared_ptr<Calendar>> events;
    for (const auto& event : record.DeletedCalendar.snapshot())
        events[event->Summary().value_or("")] = event;
    ASSERT_EQ(events.size(), 2u);
    const auto& second = events.at(TitleOf(2));
    // 2016-01-17 08:30 UTC, an hour and a half long.
    EXPECT_EQ(second->StartDate(), "2016-01-17 09:30:00");
    EXPECT_EQ(second->EndDate(), "2016-01-17 11:00:00");
    EXPECT_EQ(second->OrginalDate(), std::nullopt);
    EXPECT_EQ(second->Start_TimeZone(), "Europe/Berlin");
    EXPECT_EQ(second->Description(), "Bitte Unterlagen mitbringen (2)");
    EXPECT_EQ(events.at(TitleOf(5))->Start_TimeZone(), "");
    EXPECT_EQ(events.at(TitleOf(5))->OrginalDate(), std::nullopt);
}

// Which carved events count as known.
TEST_F(CalendarServiceTest, KnownEventsAreNotListed) {
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase(kDomain, kPath, "calendar.sql");
    const double start = kFirstStart + 86400.0;
    const auto add = [&](const char* title, const char* identifier, double at) {
        Row row = EventRow(1, false, 0);
        row[0].second = title;
        row[1].second = at;
        for (auto& [column, value] : row)
            if (column == "unique_identifier") value = identifier;
        return db.insert("CalendarItem", row);
    };
    add("Zahnarzt", "ABCD1234-00 11", start);                             // live by identifier
    add("Elternabend", "77777777-1111-2222-3333-444444444444", start);    // live by title and start
    add("Joggen", "AAAAAAAA-1111-2222-3333-444444444444", start + 60.0);  // listed
    add("Joggen", "aaaaaaaa-1111-2222-3333-444444444444", start + 60.0);  // listed too: case counts
    add("Noch da", "99999999-1111-2222-3333-444444444444", start + 120.0);  // live row of the file
    db.deleteWhere("CalendarItem", "summary <> 'Noch da'");
    db.close();
    useBackup(backup, 8);
    auto byIdentifier = std::make_shared<Calendar>();
    byIdentifier->setUniqueIdentifier("abcd12340011");
    auto byTitle = std::make_shared<Calendar>();
    byTitle->setSummary("Elternabend");
    byTitle->setStartDate("2016-01-16 09:30:00");
    record.AllCalendarContent.append(byIdentifier);
    record.AllCalendarContent.append(byTitle);

    CalendarsService().RecoverFromIOSBackup(ContextFor(record, device));

    std::set<std::string> identifiers;
    for (const auto& event : record.DeletedCalendar.snapshot())
        identifiers.insert(event->UniqueIdentifier().value_or(""));
    EXPECT_EQ(identifiers, (std::set<std::string>{"AAAAAAAA-1111-2222-3333-444444444444",
                                                  "aaaaaaaa-1111-2222-3333-444444444444"}));
    EXPECT_EQ(record.DeletedCalendar.size(), 2u);
}

// The Event table of iOS 4: the event recoverer carves it with the signature's Event layout; the
// older variant lists into the shown list alone and compares with the shown live events.
TEST_F(CalendarServiceTest, EventTableOfIOS4) {
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase(kDomain, kPath, "calendar-ios4.sql");
    for (int i = 1; i <= 12; ++i) {
        const double start = kFirstStart + 86400.0 * i;
        db.insert("Event", {{"summary", TitleOf(i)},
                            {"location", "Büro"},
                            {"start_date", start},
                            {"start_tz", "Europe/Berlin"},
                            {"end_date", start + 3600.0},
                            {"all_day", 0},
                            {"calendar_id", 1},
                            {"unique_identifier", IdentifierOf(i)}});
    }
    for (int i : {3, 6, 9}) db.deleteRow("Event", i);
    db.close();
    useBackup(backup, 4);

    CalendarsService().RecoverFromIOSBackup(ContextFor(record, device));
    EXPECT_EQ(listedTitles(), (std::multiset<std::string>{TitleOf(3), TitleOf(6), TitleOf(9)}));

    record.DeletedCalendar.clear();
    record.AllDeletedCalendar.clear();
    auto shown = std::make_shared<Calendar>();
    shown->setSummary(TitleOf(6));
    shown->setStartDate("2016-01-21 09:30:00");
    record.CalendarContent.append(shown);
    AppointmentsIOS4SQLiteRecovery older(ContextFor(record));
    older.DoRecoveryPath(backup.pathFor(kDomain, kPath).string());
    EXPECT_EQ(listedTitles(), (std::multiset<std::string>{TitleOf(3), TitleOf(9)}));
    EXPECT_TRUE(record.AllDeletedCalendar.empty());
    for (const auto& event : record.DeletedCalendar.snapshot())
        EXPECT_FALSE(event->UniqueIdentifier().has_value());
}

TEST(CalendarPositionCheck, RealignsOnlyTitlesAndGuidShapedIdentifiers) {
    const std::string guid = "5F3A2C1B-7D4E-4A9B-8C6D-200000000001";
    struct Case {
        const char* field;
        std::string text;
        std::int32_t answer;
    };
    const Case cases[] = {
        {"summary", std::string("\0Zahnarzt", 9), 1},
        {"summary", "Zahnarzt", 0},
        {"unique_identifier", guid, 0},
        {"unique_identifier", "X" + guid, 1},
        {"unique_identifier", guid.substr(2), -2},
        {"unique_identifier", "040000008200E00074C5B7101A82E008", 0},
        // Not a GUID: taken as decoded.
        {"unique_identifier", "20160901T100000Z-1234@example.com", 0},
        {"unique_identifier", "ABCD1234-00 11", 0},
        {"description", "Bitte - Unterlagen", AbstractSqLiteRecovery::kKeepPosition},
        {"", "x", AbstractSqLiteRecovery::kKeepPosition},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Check(c.field, c.text), c.answer) << c.field << " " << c.text;
}

// The calendar routines of the older carving path over calendar databases whose event rows were
// inserted and deleted.

#include "common/Clock.h"
#include "legacy/LegacyCalendarCarving.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/DeviceInfo.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using testsupport::FixtureDatabase;
using testsupport::Row;
using testsupport::TempDir;

constexpr const char* kCalendarFile = "calendar.sqlitedb";

// Apple seconds of 2013-09-04 15:06:40 UTC.
constexpr std::int64_t kStart = 400000000;

using Routine = bool (LegacyCalendarCarving::*)();

struct CalendarRun {
    BrimleyAppDelegate record;
    DeviceInfo device;
    std::unique_ptr<LegacyRecovery> legacy;

    CalendarRun(const TempDir& dir, int iosMajor, std::stop_token stop = {}) {
        device.setIOSMajorVersion(iosMajor);
        ScanContext context = testsupport::ContextFor(record, device, stop);
        context.backupFolder = dir.path().string();
        context.databaseNames[static_cast<std::size_t>(DatabaseRole::Calendar)] = kCalendarFile;
        legacy = std::make_unique<LegacyRecovery>(std::move(context));
    }
    std::vector<std::shared_ptr<Calendar>> carve(Routine routine) {
        LegacyCalendarCarving carving(*legacy);
        EXPECT_FALSE((carving.*routine)());
        return record.DeletedCalendar.snapshot();
    }
};

struct EventRow {
    std::int64_t id;
    ColumnValue summary, description, startTz;
    std::int64_t location = 5;
};

// An iOS 5-8 calendar with one live event and the given events inserted and deleted (the last
// first, so each freed cell keeps its bytes but for the four that the free-block header takes:
// with a record of 128 bytes or more those are the cell's lengths and row id, not its header).
void BuildCalendar(const TempDir& dir, const std::vector<EventRow>& deleted, std::int64_t location = 5) {
    auto db = FixtureDatabase::FromSchema(dir / kCalendarFile, "calendar.sql");
    const auto row = [&](const EventRow& e) {
        return Row{{"ROWID", e.id},          {"summary", e.summary},  {"location_id", location},
                   {"description", e.description}, {"start_date", kStart}, {"start_tz", e.startTz},
                   {"end_date", kStart + 3600}, {"all_day", 0},       {"calendar_id", 2},
                   {"orig_item_id", 0}, {"UUID", "5E1C0D2A-7B3F-4A9E-8C61-0F2D3B4A5C6D"}};
    };
    db.insert("CalendarItem", row({1, "Weekly review", "Agenda items", "Europe/Berlin"}));
    for (const auto& e : deleted) db.insert("CalendarItem", row(e));
    for (auto e = deleted.rbegin(); e != deleted.rend(); ++e) ASSERT_TRUE(db.deleteRow("CalendarItem", e->id));
    db.close();
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::int64_t OffsetOf(const Bytes& file, const std::string& text) {
    return static_cast<std::int64_t>(std::search(file.begin(), file.end(), text.begin(), text.end()) -
                                     file.begin());
}

}  // namespace

// Five deleted events and a deleted row whose summary is a run of NUL bytes: the five are
// listed with their dates and all-day column as live events show it; the NUL row is no event.
TEST(LegacyCalendar, HeaderParseListsEveryDeletedEventAndNoTextOfNulBytes) {
    Clock::ScopedTimeZone zone("UTC");
    TempDir dir;
    struct Event {
        std::string summary;
        std::int64_t start;  // Apple seconds
        std::int64_t allDay;
        const char* startText;
    };
    const std::vector<Event> events = {
        {"Tax Day", 356313600, 1, "2012-04-17 00:00:00"},
        {"Dentist", kStart, 0, "2013-09-04 15:06:40"},
        {std::string(15, '\0'), 0, 0, ""},
        {"Team lunch", kStart + 86400, 0, "2013-09-05 15:06:40"},
        {"Flight to Lisbon", kStart + 172800, 0, "2013-09-06 15:06:40"},
        {"Mum's birthday", 356313600 + 864000, 1, "2012-04-27 00:00:00"},
    };
    {
        auto db = FixtureDatabase::FromSchema(dir / kCalendarFile, "calendar.sql");
        db.insert("CalendarItem", {{"summary", "Weekly review"}, {"start_date", kStart}, {"calendar_id", 2}});
        std::int64_t id = 2;
        for (const Event& e : events)
            db.insert("CalendarItem", {{"ROWID", id++},
                                       {"summary", e.summary},
                                       {"location_id", 0},
                                       {"start_date", e.start},
                                       {"start_tz", e.allDay ? "_float" : "Europe/Berlin"},
                                       {"end_date", e.start + 3600},
                                       {"all_day", e.allDay},
                                       {"calendar_id", 2},
                                       {"orig_item_id", 0}});
        db.exec("DELETE FROM CalendarItem WHERE ROWID > 1");
        db.close();
    }
    CalendarRun run(dir, 7);
    std::set<std::string> listed;
    for (const auto& event : run.carve(&LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2)) {
        const auto e = std::find_if(events.begin(), events.end(),
                                    [&](const Event& x) { return event->Summary() == x.summary; });
        ASSERT_NE(e, events.end()) << event->Summary().value_or("<none>").size() << " bytes";
        EXPECT_NE(e->summary[0], '\0');
        EXPECT_EQ(event->StartDate(), e->startText) << e->summary;
        EXPECT_EQ(event->AllDay(), std::to_string(e->allDay)) << e->summary;
        listed.insert(e->summary);
    }
    EXPECT_EQ(listed, (std::set<std::string>{"Tax Day", "Dentist", "Team lunch", "Flight to Lisbon", "Mum's birthday"}));
}

TEST(LegacyCalendar, HeaderParseCarvesDeletedEvents) {
    Clock::ScopedTimeZone zone("UTC");
    TempDir dir;
    const std::string longSummary = "A summary long enough that its serial type takes two bytes here";
    BuildCalendar(dir, {
        {2, "Dentist", "An older copy", "Europe/Berlin"},
        {3, "Dentist", "Bring the card", "Europe/Berlin"},
        {4, longSummary, "Two-byte header", "America/New_York"},
        {5, "Floating lunch", ColumnValue(), "_float"},
    });
    CalendarRun run(dir, 7);
    const auto carved = run.carve(&LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2);

    struct Expected {
        std::string summary;
        OptString description, zone;
    };
    // Scan order: the later rows lie lower on the page. Row 2 repeats row 3's summary; row 1
    // is live.
    const std::vector<Expected> expected = {
        {"Floating lunch", std::nullopt, std::nullopt},
        {longSummary, "Two-byte header", "America/New_York"},
        {"Dentist", "Bring the card", "Europe/Berlin"},
    };
    ASSERT_EQ(carved.size(), expected.size());
    for (std::size_t k = 0; k < carved.size(); ++k) {
        EXPECT_EQ(carved[k]->Summary(), expected[k].summary);
        EXPECT_EQ(carved[k]->Description(), expected[k].description) << expected[k].summary;
        EXPECT_EQ(carved[k]->Start_TimeZone(), expected[k].zone) << expected[k].summary;
        EXPECT_EQ(carved[k]->StartDate(), "2013-09-04 15:06:40");
        EXPECT_EQ(carved[k]->EndDate(), "2013-09-04 16:06:40");
        EXPECT_EQ(carved[k]->SlNo(), 0);
    }
    EXPECT_EQ(run.record.DeletedCalendarCount.load(), 3);
}

TEST(LegacyCalendar, HeaderParseListsOnlyDeletedEventsOfARealCalendar) {
    // Events as the phone writes them: most without a location, some titles with a typographic
    // apostrophe, four live events rewritten (their older copies freed), five events deleted.
    Clock::ScopedTimeZone zone("UTC");
    const std::vector<std::string> live = {"Team meeting",  "Dentist",          "Mum\u2019s birthday", "Gym",
                                           "Project review", "Lunch with Sam",  "Car service",         "Parents\u2019 evening",
                                           "Book club",      "Flight to Boston", "Piano lesson",       "Sarah\u2019s party"};
    const std::vector<std::string> deleted = {"Job interview", "Doctor\u2019s appointment", "Yoga", "Call the bank",
                                              "Hair cut"};
    for (const bool deleting : {false, true}) {
        TempDir dir;
        {
            auto db = FixtureDatabase::FromSchema(dir / kCalendarFile, "calendar.sql");
            std::int64_t day = 0;
            const auto insert = [&](const std::string& summary, ColumnValue location) {
                const std::int64_t start = kStart + 86400 * ++day;
                db.insert("CalendarItem", Row{{"summary", summary},   {"location_id", location}, {"start_date", start},
                                              {"start_tz", "Europe/London"}, {"end_date", start + 3600},
                                              {"all_day", 0},         {"calendar_id", 1},        {"orig_item_id", 0},
                                              {"orig_date", 0},       {"last_modified", start - 1000},
                                              {"hidden", 0},          {"entity_type", 2},
                                              {"UUID", "5E1C0D2A-7B3F-4A9E-8C61-" + std::to_string(100000000000 + day)},
                                              {"unique_identifier", std::to_string(day) + "-uid"}});
            };
            for (std::size_t k = 0; k < 6; ++k) insert(live[k], ColumnValue());
            for (std::size_t k = 0; k < 3; ++k) insert(deleted[k], ColumnValue());
            for (std::size_t k = 6; k < live.size(); ++k) insert(live[k], 0);
            for (std::size_t k = 3; k < deleted.size(); ++k) insert(deleted[k], ColumnValue());
            db.exec("UPDATE CalendarItem SET description = 'Bring the notes and the agenda for the quarter' "
                    "WHERE summary IN ('Team meeting', 'Gym', 'Mum\u2019s birthday', 'Book club')");
            if (deleting) {
                for (const std::string& summary : deleted)
                    ASSERT_EQ(db.deleteWhere("CalendarItem", "summary = '" + summary + "'"), 1);
            }
            db.close();
        }
        CalendarRun run(dir, 7);
        const auto carved = run.carve(&LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2);
        std::set<std::string> summaries;
        for (const auto& event : carved) {
            summaries.insert(event->Summary().value_or(""));
            EXPECT_EQ(event->Start_TimeZone(), "Europe/London") << *event->Summary();
            ASSERT_TRUE(event->StartDate()) << *event->Summary();
            EXPECT_EQ(event->StartDate()->substr(0, 8), "2013-09-") << *event->Summary();
        }
        EXPECT_EQ(summaries, deleting ? std::set<std::string>(deleted.begin(), deleted.end()) : std::set<std::string>());
        EXPECT_EQ(carved.size(), summaries.size());
    }
}

// Events created one by one under one default title, as a phone's quick entry leaves them: each
// deleted one is an event of its own, told apart by its times.
TEST(LegacyCalendar, HeaderParseListsEveryDeletedEventOfASeriesWithOneTitle) {
    Clock::ScopedTimeZone zone("UTC");
    TempDir dir;
    {
        auto db = FixtureDatabase::FromSchema(dir / kCalendarFile, "calendar.sql");
        for (std::int64_t id = 1; id <= 9; ++id) {
            const std::int64_t start = kStart + 5000 * id;
            db.insert("CalendarItem", Row{{"ROWID", id},         {"summary", id <= 2 ? "Kick-off" : "EVENT TITLE"},
                                          {"start_date", start}, {"start_tz", "Europe/Berlin"},
                                          {"end_date", start + 600}, {"all_day", 0},
                                          {"calendar_id", 2},    {"orig_item_id", 0}});
        }
        db.exec("DELETE FROM CalendarItem WHERE ROWID IN (1, 3, 4, 8)");
        db.close();
    }
    CalendarRun run(dir, 6);
    std::set<std::string> listed;
    for (const auto& event : run.carve(&LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2))
        listed.insert(event->Summary().value_or("") + " " + event->StartDate().value_or(""));
    EXPECT_EQ(listed, (std::set<std::string>{"Kick-off 2013-09-04 16:30:00", "EVENT TITLE 2013-09-04 19:16:40",
                                             "EVENT TITLE 2013-09-04 20:40:00", "EVENT TITLE 2013-09-05 02:13:20"}));
    EXPECT_EQ(run.record.DeletedCalendarCount.load(), 4);
}

TEST(LegacyCalendar, LetterSearchCarvesSummariesAndDescriptions) {
    const struct {
        const char* name;
        Routine routine;
        std::int64_t location;  // a printable place id joins the summary's text run
        std::int32_t firstNumber;
    } variants[] = {
        {"iOS 5", &LegacyCalendarCarving::RecoverDeletedNewIOS5CalendarInfo, 5, 11},
        {"iOS 6", &LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo, 'A', 11},
        {"iOS 6, simpler", &LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo1, 'A', 1},
    };
    for (const auto& v : variants) {
        TempDir dir;
        BuildCalendar(dir,
                      {{2, "Dentist visit", "An older copy", "Europe/Berlin"},
                       {3, "Dentist visit", "Bring the insurance card", "Europe/Berlin"},
                       {4, "Team lunch", "At the corner place", "Europe/Berlin"}},
                      v.location);
        CalendarRun run(dir, 5);
        // Ten live events: carved ones are numbered after them where the routine counts them.
        for (int k = 0; k < 10; ++k) run.record.CalendarContent.append(std::make_shared<Calendar>());
        const auto carved = run.carve(v.routine);
        ASSERT_EQ(carved.size(), 2u) << v.name;
        EXPECT_EQ(carved[0]->Summary(), "Team lunch") << v.name;
        EXPECT_EQ(carved[0]->Description(), "At the corner place") << v.name;
        EXPECT_EQ(carved[0]->SlNo(), v.firstNumber) << v.name;
        EXPECT_EQ(carved[1]->Summary(), "Dentist visit") << v.name;
        EXPECT_EQ(carved[1]->Description(), "Bring the insurance card") << v.name;
        EXPECT_EQ(carved[1]->SlNo(), v.firstNumber + 1) << v.name;
        EXPECT_EQ(run.record.DeletedCalendarCount.load(), 2) << v.name;
    }
}

TEST(LegacyCalendar, OldestEventsGiveOneEventPerText) {
    TempDir dir;
    {
        // The iOS 4 event table as far as the routine reads it: its record ends at "hidden".
        auto db = FixtureDatabase::FromSchema(dir / kCalendarFile, "calendar-ios4.sql");
        db.exec("ALTER TABLE Event DROP COLUMN has_recurrences; ALTER TABLE Event DROP COLUMN has_attendees;");
        const auto row = [](std::int64_t id, ColumnValue summary, ColumnValue location, ColumnValue description) {
            return Row{{"ROWID", id},
                       {"summary", std::move(summary)},
                       {"location", std::move(location)},
                       {"description", std::move(description)},
                       {"start_date", std::int64_t{300000000}},
                       {"start_tz", "Europe/Berlin"},
                       {"end_date", std::int64_t{300003600}},
                       {"all_day", 0},
                       {"calendar_id", 1},
                       {"external_id", "https://calendar.example.org/events/0001"},
                       {"unique_identifier", "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"},
                       {"hidden", 0}};
        };
        // A description in ISO-2022-JP ("konnichiwa").
        db.insert("Event", row(1, "Dentist", "Main Street 5", "\x1b$B$3$s$K$A$O\x1b(B"));
        db.insert("Event", row(2, "Team\nlunch", "Corner", ColumnValue()));
        ASSERT_TRUE(db.deleteRow("Event", 2));
        ASSERT_TRUE(db.deleteRow("Event", 1));
        db.close();
    }
    CalendarRun run(dir, 4);
    const auto carved = run.carve(&LegacyCalendarCarving::RecoverDeletedCalendarInfo);
    const std::vector<std::string> expected = {"Team lunch", "Corner", "Dentist", "Main Street 5",
                                               "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF"};
    ASSERT_EQ(carved.size(), expected.size());
    for (std::size_t k = 0; k < carved.size(); ++k) {
        EXPECT_EQ(carved[k]->Summary(), expected[k]);
        EXPECT_EQ(carved[k]->SlNo(), static_cast<std::int32_t>(k + 1));
        EXPECT_FALSE(carved[k]->Description());
    }
    EXPECT_EQ(run.record.DeletedCalendarCount.load(), 5);
}

TEST(LegacyCalendar, MissingShortDamagedOrStoppedFilesGiveNoCrash) {
    const struct {
        const char* name;
        Routine routine;
        bool endsRecovery;  // a missing file clears the recovering flag
    } routines[] = {
        {"iOS 7", &LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2, false},
        {"iOS 5", &LegacyCalendarCarving::RecoverDeletedNewIOS5CalendarInfo, true},
        {"iOS 6", &LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo, true},
        {"iOS 6, simpler", &LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo1, true},
        {"before iOS 5", &LegacyCalendarCarving::RecoverDeletedCalendarInfo, true},
    };
    TempDir dir;
    for (const auto& r : routines) {
        CalendarRun missing(dir, 7);
        missing.record.DeletedCalendar.append(std::make_shared<Calendar>());
        EXPECT_TRUE(missing.carve(r.routine).empty()) << r.name;
        EXPECT_EQ(missing.legacy->isRecovering.load(), !r.endsRecovery) << r.name;
    }

    BuildCalendar(dir, {{2, "Dentist visit", "Bring the insurance card", "Europe/Berlin"}}, 'A');
    const Bytes file = ReadFile(dir / kCalendarFile);
    const std::int64_t at = OffsetOf(file, "Dentist visit");
    ASSERT_LT(at, static_cast<std::int64_t>(file.size()));
    const std::int64_t whole = static_cast<std::int64_t>(file.size());
    // Inside the summary (its length runs past the end), the header pattern at the very end,
    // and shorter than the scans' margins.
    const struct {
        std::int64_t length;
        int headerParseFinds;
    } cuts[] = {{whole, 1}, {at + 5, 0}, {at - 41, 0}, {21, 0}, {7, 0}, {1, 0}};
    for (const auto& r : routines) {
        for (const auto& cut : cuts) {
            const Bytes bytes(file.begin(), file.begin() + cut.length);
            CalendarRun run(dir, 7);
            run.legacy->setDatabaseBytes(DatabaseRole::Calendar, FileBytes(bytes.data(), bytes.size()));
            const auto carved = run.carve(r.routine);
            if (r.routine == &LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2)
                EXPECT_EQ(carved.size(), static_cast<std::size_t>(cut.headerParseFinds)) << cut.length;
            else if (cut.length == whole && r.routine != &LegacyCalendarCarving::RecoverDeletedCalendarInfo)
                EXPECT_EQ(carved.size(), 1u) << r.name;
            else
                EXPECT_LE(carved.size(), 1u) << r.name << " " << cut.length;
        }
        std::stop_source stop;
        stop.request_stop();
        CalendarRun stopped(dir, 7, stop.get_token());
        EXPECT_TRUE(stopped.carve(r.routine).empty()) << r.name;
    }
}

TEST(LegacyCalendar, AMatchWhoseHeaderWalkLandsFarBackIsTakenOnce) {
    // A header pattern at 100 with no row-id byte within the twelve before it: the walk back
    // stops at 88, whose summary length is 0, and the scan goes on from before the match.
    Bytes bytes(200, 0x55);
    bytes[89] = 13;
    bytes[100] = 4;
    bytes[103] = 8;
    bytes[104] = 1;
    bytes[105] = 8;
    TempDir dir;
    for (const Routine routine : {&LegacyCalendarCarving::RecoverDeletedNewIOS5CalendarInfo,
                                  &LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo,
                                  &LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo1}) {
        CalendarRun run(dir, 5);
        run.legacy->setDatabaseBytes(DatabaseRole::Calendar, FileBytes(bytes.data(), bytes.size()));
        EXPECT_TRUE(run.carve(routine).empty());
    }
}

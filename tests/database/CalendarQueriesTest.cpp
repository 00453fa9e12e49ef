#include "LiveRowsBackup.h"

#include "common/DateUtils.h"
#include "database/GenerateCalendarObject.h"
#include "records/Appointment.h"
#include "records/Calendar.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

namespace {

using testsupport::FixtureDatabase;

constexpr LiveRowsBackup::Role kCalendar{"HomeDomain", "Library/Calendar/Calendar.sqlitedb"};

// 2016-05-01 12:00:00 UTC in Apple seconds: 14:00 in Berlin (summer time).
constexpr double kMayApple = 483796800.0;

struct Event {
    ColumnValue summary;
    const char* place;  // nullptr: none
    ColumnValue start;
    ColumnValue timeZone;
    int allDay;
    const char* uid;
};

const Event kEvents[] = {
    {"Dentist", "Praxis Dr. Weiss", ColumnValue(kMayApple + 0.9), "Europe/Berlin", 0, "5A1F-77"},
    {"Holiday", nullptr, ColumnValue(kMayApple + 86400), "_float", 1, "5A1F-78"},
    // A reminder: no title, no start.
    {ColumnValue::Null(), nullptr, ColumnValue::Null(), ColumnValue::Null(), 0, "5A1F-79"},
};

// The events in the table of the schema's era: CalendarItem with a Location row per place from
// iOS 5 on, Event with the place as text before.
void FillCalendar(LiveRowsBackup& backup, const char* schema, bool itemTable) {
    FixtureDatabase db = backup.create(kCalendar, schema);
    for (const Event& e : kEvents) {
        testsupport::Row row = {
            {"summary", e.summary},
            {"description", ColumnValue("notes")},
            {"start_date", e.start},
            {"end_date",
             e.start.isNull() ? ColumnValue::Null() : ColumnValue(e.start.asDouble() + 3600)},
            {"start_tz", e.timeZone},
            {"all_day", ColumnValue(e.allDay)},
            {"privacy_level", ColumnValue(2)},
            {"unique_identifier", ColumnValue(e.uid)}};
        if (!itemTable) {
            row.emplace_back("location", e.place ? ColumnValue(e.place) : ColumnValue::Null());
            row.emplace_back("orig_start_date", e.start);
            db.insert("Event", row);
            continue;
        }
        if (e.place) {
            // Location rows numbered apart from the items, as a real store has them.
            db.exec("INSERT INTO Location (ROWID, title) VALUES (40, 'unused')");
            const auto place = db.insert("Location", {{"title", ColumnValue(e.place)}});
            row.emplace_back("location_id", ColumnValue(place));
        }
        db.insert("CalendarItem", row);
    }
    db.close();
}

struct Era {
    int iOSMajor;
    const char* schema;
};

class CalendarSchemaTest : public ::testing::TestWithParam<Era> {};

}  // namespace

TEST_P(CalendarSchemaTest, ListsEveryEventWithLocalTimesAndItsPlace) {
    const Era era = GetParam();
    const bool itemTable = era.iOSMajor >= 5;
    LiveRowsBackup backup(era.iOSMajor);
    backup.state.CALENDAR_DATABASE.set(LiveRowsBackup::NameOf(kCalendar));
    FillCalendar(backup, era.schema, itemTable);

    const auto list = backup.boundTo(kCalendar)->GetCalendar();
    ASSERT_EQ(list.size(), std::size(kEvents));
    const struct {
        OptString summary, place;
        const char *start, *end;
        const char* zone;
        const char* allDay;
    } expected[] = {
        // The fraction of a second is dropped, not rounded.
        {"Dentist", "Praxis Dr. Weiss", "2016-05-01 14:00:00", "2016-05-01 15:00:00",
         "Europe/Berlin", "0"},
        {"Holiday", std::nullopt, "2016-05-02 14:00:00", "2016-05-02 15:00:00", "", "1"},
        {std::nullopt, std::nullopt, "", "", nullptr, "0"},
    };
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(i);
        const Calendar& c = *list[i];
        EXPECT_EQ(c.SlNo(), static_cast<int>(i + 1));
        EXPECT_EQ(c.Summary(), expected[i].summary);
        EXPECT_EQ(c.Location(), expected[i].place);
        EXPECT_EQ(c.Description(), "notes");
        EXPECT_EQ(c.StartDate(), expected[i].start);
        EXPECT_EQ(c.EndDate(), expected[i].end);
        EXPECT_EQ(c.Start_TimeZone(),
                  expected[i].zone ? OptString(expected[i].zone) : std::nullopt);
        EXPECT_EQ(c.AllDay(), expected[i].allDay);
        EXPECT_EQ(c.Priority(), "2");
        EXPECT_EQ(c.isChecked(), 0);
        // Only the Event table has the original start column; only CalendarItem is read with
        // the identifier.
        EXPECT_EQ(c.OrginalDate().has_value(), !itemTable && i < 2);
        EXPECT_EQ(c.UniqueIdentifier(), itemTable ? OptString(kEvents[i].uid) : std::nullopt);
    }
    EXPECT_EQ(backup.state.CalendarCount.load(), 3);
    EXPECT_EQ(backup.state.AllCalendarContent.snapshot(), list);
}

INSTANTIATE_TEST_SUITE_P(Eras, CalendarSchemaTest,
                         ::testing::Values(Era{4, "calendar-ios4.sql"}, Era{6, "calendar.sql"},
                                           Era{9, "calendar-ios9.sql"}));

TEST(CalendarQueriesTest, SecondListHasNoPlacesAndCountsNothing) {
    LiveRowsBackup backup(9);
    backup.state.CALENDAR_DATABASE.set(LiveRowsBackup::NameOf(kCalendar));
    FillCalendar(backup, "calendar-ios9.sql", true);
    const auto list = backup.boundTo(kCalendar)->GetCalendarForIOSFive();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->Summary(), "Dentist");
    EXPECT_EQ(list[0]->Location(), std::nullopt);
    EXPECT_EQ(list[0]->StartDate(), "2016-05-01 14:00:00");
    EXPECT_EQ(list[0]->UniqueIdentifier(), std::nullopt);
    EXPECT_EQ(list[1]->Start_TimeZone(), "");
    EXPECT_EQ(list[2]->Summary(), "(null)");
    EXPECT_EQ(list[2]->StartDate(), "");
    EXPECT_EQ(backup.state.CalendarCount.load(), 0);
    EXPECT_TRUE(backup.state.AllCalendarContent.empty());
}

TEST(CalendarQueriesTest, PlaceOfALocationRowAndRowIdMap) {
    LiveRowsBackup backup(6);
    backup.state.CALENDAR_DATABASE.set(LiveRowsBackup::NameOf(kCalendar));
    FillCalendar(backup, "calendar.sql", true);
    auto daos = backup.boundTo(kCalendar);
    EXPECT_EQ(daos->getLocationFromLocationID(41), "Praxis Dr. Weiss");
    EXPECT_EQ(daos->getLocationFromLocationID(7), "");
    EXPECT_EQ(backup.unbound()->getLocationFromLocationID(41), "");  // no open handle
    EXPECT_EQ(daos->GetAllCalenderRowID(), (RowIdMap{{"1", "1"}, {"2", "2"}, {"3", "3"}}));
}

TEST(CalendarQueriesTest, CarvedItemTakesItsPlaceWithoutTouchingTheSharedHandle) {
    LiveRowsBackup backup(9);
    backup.state.CALENDAR_DATABASE.set(LiveRowsBackup::NameOf(kCalendar));
    FillCalendar(backup, "calendar-ios9.sql", true);
    // The screens' handle and query object stay as they were, whatever database they are on.
    auto screenHandle = std::make_shared<FMDBUtils>(backup.pathOf(LiveRowsBackup::kMessages));
    auto screenDaos = std::make_shared<DAOs>(screenHandle, testsupport::ContextFor(backup.state));
    backup.state.dbUtils.set(screenHandle);
    backup.state.daos.set(screenDaos);

    Appointment item;
    item.setSummary("Dentist");
    item.setDescription("carved notes");
    item.setLocationId(41);
    item.setStartTimeZone("_float");
    item.setEndTime(DateUtils::DoubleToIOSDateTime(kMayApple));
    item.setAllDay(true);
    item.setOriginalStartDate(" ");
    item.setUniqueIdentifier("5A1F-80");

    const auto event = generateCalendarObject(item, testsupport::ContextFor(backup.state));
    EXPECT_EQ(event->SlNo(), 0);
    EXPECT_EQ(event->Summary(), "Dentist");
    EXPECT_EQ(event->Location(), "Praxis Dr. Weiss");
    EXPECT_EQ(event->Description(), "carved notes");
    EXPECT_EQ(event->StartDate(), "");  // no start time
    EXPECT_EQ(event->EndDate(), "2016-05-01 14:00:00");
    EXPECT_EQ(event->Start_TimeZone(), "");  // the floating zone, shown as live rows show it
    EXPECT_EQ(event->AllDay(), "1");
    EXPECT_EQ(event->OrginalDate(), std::nullopt);  // as live items of this table
    EXPECT_EQ(event->UniqueIdentifier(), "5A1F-80");
    EXPECT_EQ(event->isChecked(), 0);
    EXPECT_EQ(backup.state.dbUtils.get(), screenHandle);
    EXPECT_EQ(backup.state.daos.get(), screenDaos);

    // One generator serves a whole carving run; an item without a place has the empty text.
    CalendarObjectGenerator generator(testsupport::ContextFor(backup.state));
    item.setLocationId(0);
    EXPECT_EQ(generator.generateCalendarObject(item)->Location(), "");
    // Without a calendar database every place is the empty text.
    backup.state.CALENDAR_DATABASE.set("0000000000000000000000000000000000000000");
    item.setLocationId(41);
    EXPECT_EQ(generateCalendarObject(item, testsupport::ContextFor(backup.state))->Location(), "");
}

// A side table that a version of iOS does not keep (the calendar's places, the note store's
// folders) leaves its columns empty; the rows are still listed, and the log says so once.

#include "LiveRowsBackup.h"

#include "records/Calendar.h"
#include "records/Note.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::FixtureDatabase;

constexpr LiveRowsBackup::Role kCalendar{"HomeDomain", "Library/Calendar/Calendar.sqlitedb"};

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

}  // namespace

TEST(MissingSideTablesTest, ACalendarWithoutPlacesListsItsEvents) {
    LiveRowsBackup backup(14, "14.3");
    backup.state.CALENDAR_DATABASE.set(LiveRowsBackup::NameOf(kCalendar));
    FixtureDatabase db = backup.create(kCalendar, "calendar-ios9.sql");
    db.exec("DROP TABLE Location");
    db.insert("CalendarItem", {{"summary", "Dentist"},
                               {"start_date", 483796800.0},
                               {"location_id", 3},
                               {"unique_identifier", "5A1F-77"}});
    db.insert("CalendarItem", {{"summary", "Holiday"}, {"start_date", 483883200.0}});
    db.close();

    auto daos = backup.boundTo(kCalendar);
    testing::internal::CaptureStderr();
    const auto list = daos->GetCalendar();
    // The carved items' place lookup asks the same missing table once per item.
    for (int id = 1; id <= 5; ++id) EXPECT_EQ(daos->getLocationFromLocationID(id), "");
    const std::string log = testing::internal::GetCapturedStderr();

    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->Summary(), "Dentist");
    EXPECT_EQ(list[0]->Location(), std::nullopt);
    EXPECT_EQ(list[0]->UniqueIdentifier(), "5A1F-77");
    EXPECT_EQ(list[1]->Summary(), "Holiday");
    EXPECT_EQ(backup.state.CalendarCount.load(), 2);
    EXPECT_EQ(Occurrences(log, "Location"), 1u) << log;
    EXPECT_EQ(Occurrences(log, "\n"), 1u) << log;
}

TEST(MissingSideTablesTest, ANoteStoreWithoutFolderLinksListsItsNotes) {
    LiveRowsBackup backup(13, "13.7");
    FixtureDatabase db = backup.create(LiveRowsBackup::kNoteStore, "notestore-ios9.sql");
    db.exec("DROP TABLE Z_12NOTES");
    for (std::int64_t pk : {11, 12}) {
        db.insert("ZICNOTEDATA", {{"Z_PK", pk}, {"Z_ENT", 7}, {"Z_OPT", 1}, {"ZNOTE", pk}});
        db.insert("ZICCLOUDSYNCINGOBJECT", {{"Z_PK", pk},
                                            {"Z_ENT", 9},
                                            {"Z_OPT", 1},
                                            {"ZNOTEDATA", pk},
                                            {"ZCREATIONDATE", 483796800.0 + pk},
                                            {"ZTITLE1", "Note " + std::to_string(pk)},
                                            {"ZSNIPPET", " text"}});
    }
    db.close();

    testing::internal::CaptureStderr();
    const auto notes = backup.boundTo(LiveRowsBackup::kNoteStore)->GetNotes91();
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0]->Title(), "Note 11");
    EXPECT_EQ(notes[1]->Summary(), "Note 12 text");
    EXPECT_EQ(backup.state.NoteCount.load(), 2);
    EXPECT_EQ(Occurrences(log, "Z_12NOTES"), 1u) << log;
}

// A lookup that runs per row on a table the database lacks leaves one line, not one per row.
TEST(MissingSideTablesTest, AFailingStatementIsLoggedOncePerConnection) {
    LiveRowsBackup backup(4, "4.3.5");
    FixtureDatabase db = backup.create(kCalendar, "calendar-ios4.sql");
    db.close();
    auto connection = SqliteConnection::OpenReadOnly(backup.pathOf(kCalendar));
    ASSERT_TRUE(connection->isOpen());
    EXPECT_FALSE(connection->hasTable("Location"));
    EXPECT_TRUE(connection->hasTable("event"));
    testing::internal::CaptureStderr();
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(connection->executeQuery("SELECT title FROM Location WHERE ROWID = ?",
                                              {ColumnValue(i)}));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Occurrences(log, "no such table: Location"), 1u) << log;
}

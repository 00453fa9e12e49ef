// Calendar queries: the Event table before iOS 5, the CalendarItem table with its Location table
// from iOS 5 on.

#include "common/DateUtils.h"
#include "database/DAOs.h"
#include "database/GenerateCalendarObject.h"
#include "database/QueryDates.h"
#include "records/Calendar.h"

#include <cstdio>

namespace {

const char* const kCalendarItemsWithPlace =
    "select c.ROWID AS ROWID, c.summary AS summary, loc.title as location, c.description AS description, "
    "c.unique_identifier AS unique_identifier, c.start_date AS start_date, c.start_tz AS start_tz, c.end_date "
    "AS end_date, c.all_day AS all_day, c.calendar_id AS calendar_id, c.orig_date AS orig_date, c.status AS "
    "status, c.privacy_level AS privacy_level from CalendarItem c left join Location loc on loc.rowid = "
    "c.location_id";
// The same without the places, for a calendar that lacks the Location table.
const char* const kCalendarItemsWithoutPlace =
    "select c.ROWID AS ROWID, c.summary AS summary, NULL as location, c.description AS description, "
    "c.unique_identifier AS unique_identifier, c.start_date AS start_date, c.start_tz AS start_tz, c.end_date "
    "AS end_date, c.all_day AS all_day, c.calendar_id AS calendar_id, c.orig_date AS orig_date, c.status AS "
    "status, c.privacy_level AS privacy_level from CalendarItem c";
const char* const kEvents =
    "select ROWID, summary, location, description, start_date, start_tz,end_date, all_day, "
    "calendar_id, orig_start_date, status, privacy_level from Event";

// The date of a column of Apple seconds read as a 64-bit integer; no date for NULL.
OptDate AppleDateOfInt64Column(const SqliteResultSet& row, std::string_view column) {
    if (row.valueForColumn(column).isNull()) return std::nullopt;
    return DateUtils::DoubleToIOSDateTime(static_cast<double>(row.longLongIntForColumn(column)));
}

}  // namespace

RecordList<Calendar> DAOs::GetCalendar() {
    RecordList<Calendar> result;
    std::int32_t n = 1;
    if (auto connection = boundConnection()) {
        const char* statement = kEvents;
        if (iOSMajorVersion() >= 5) {
            // The places are a side table: a calendar without it still lists its events.
            statement = kCalendarItemsWithPlace;
            if (connection->isOpen() && !connection->hasTable("Location")) {
                std::fprintf(stderr,
                             "torvane: the calendar has no Location table; the events' places "
                             "are left empty\n");
                statement = kCalendarItemsWithoutPlace;
            }
        }
        auto rows = connection->executeQuery(statement);
        while (rows.next()) {
            auto event = std::make_shared<Calendar>();
            event->setSlNo(n++);
            event->setSummary(rows.stringForColumn("summary"));
            event->setLocation(rows.stringForColumn("location"));
            event->setDescription(rows.stringForColumn("description"));
            event->setStartDate(DisplayTextOfDate(AppleDateOfColumn(rows, "start_date")));
            event->setEndDate(DisplayTextOfDate(AppleDateOfColumn(rows, "end_date")));
            event->setStart_TimeZone(ShownCalendarTimeZone(rows.stringForColumn("start_tz")));
            event->setAllDay(rows.stringForColumn("all_day"));
            // Only the Event table has this column; later items leave it absent.
            event->setOrginalDate(rows.stringForColumn("orig_start_date"));
            event->setPriority(rows.stringForColumn("privacy_level"));
            event->setIsChecked(0);
            event->setUniqueIdentifier(rows.stringForColumn("unique_identifier"));
            state().AllCalendarContent.append(event);
            result.push_back(std::move(event));
        }
    }
    state().CalendarCount = n - 1;
    return result;
}

RecordList<Calendar> DAOs::GetCalendarForIOSFive() {
    RecordList<Calendar> result;
    auto connection = boundConnection();
    if (!connection) return result;
    auto rows =
        connection->executeQuery(iOSMajorVersion() >= 5 ? "select * from CalendarItem" : kEvents);
    std::int32_t n = 1;
    while (rows.next()) {
        auto event = std::make_shared<Calendar>();
        event->setSlNo(n++);
        // This list has always shown a missing title as "(null)".
        event->setSummary(rows.stringForColumn("summary").value_or("(null)"));
        // CalendarItem has no such column: without the join the place stays absent.
        event->setLocation(rows.stringForColumn("location"));
        event->setDescription(rows.stringForColumn("description"));
        event->setStartDate(DisplayTextOfDate(AppleDateOfInt64Column(rows, "start_date")));
        event->setEndDate(DisplayTextOfDate(AppleDateOfInt64Column(rows, "end_date")));
        event->setStart_TimeZone(ShownCalendarTimeZone(rows.stringForColumn("start_tz")));
        event->setAllDay(rows.stringForColumn("all_day"));
        event->setOrginalDate(rows.stringForColumn("orig_start_date"));
        event->setPriority(rows.stringForColumn("privacy_level"));
        event->setIsChecked(0);
        result.push_back(std::move(event));
    }
    return result;
}

std::string DAOs::getLocationFromLocationID(std::int64_t locationId) {
    std::string location;
    auto connection = boundConnection();
    // The calendars of iOS 4 keep no Location table: the place stays empty, for every item.
    if (!connection || !connection->hasTable("Location")) return location;
    auto rows = connection->executeQuery("SELECT title AS location FROM Location WHERE ROWID = ?",
                                         {ColumnValue(locationId)});
    while (rows.next()) location = rows.stringForColumn("location").value_or("");
    return location;
}

RowIdMap DAOs::GetAllCalenderRowID() {
    RowIdMap map;
    auto rows = openPrivate(DatabaseRole::Calendar)->executeQuery("SELECT ROWID FROM CalendarItem");
    while (rows.next())
        if (auto rowId = rows.stringForColumn("ROWID")) map[*rowId] = *rowId;
    return map;
}

#include "services/InternetHistoryService.h"

#include "common/Clock.h"
#include "common/DateUtils.h"
#include "database/FMDBUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "records/InternetHistory.h"

#include <memory>

namespace {

constexpr const char* kHistoryQuery =
    "SELECT hv.id, title, visit_time, url, visit_count  FROM history_visits hv inner join "
    "history_items hi on hv.history_item = hi.id order by visit_time desc, hv.id";

}  // namespace

void InternetHistoryService::RecoverFromIOSBackup(const ScanContext& context) {
    BrimleyAppDelegate& record = context.sink();
    record.AllInternetContent.clear();
    record.AllDeletedInternet.clear();
    for (const char* name : kHistoryDatabaseNames) {
        if (context.cancelled()) return;
        _SqliteDbName = name;
        queryDbForHistory(context);
    }
}

void InternetHistoryService::queryDbForHistory(const ScanContext& context) {
    const OptString path = ConnectionString(context);
    if (!path) return;

    BrimleyAppDelegate& record = context.sink();
    if (openOwnDatabase(*path)) {
        SqliteResultSet rows = dbUtils->sharedDB()->executeQuery(kHistoryQuery);
        std::int32_t serialNumber = 0;
        while (!context.cancelled() && rows.next()) {
            auto visit = std::make_shared<InternetHistory>();
            visit->setUrl(rows.stringForColumn("url"));
            visit->setTitle(rows.stringForColumn("title"));
            visit->setVisitCount(rows.intForColumn("visit_count"));
            // The column counts seconds from 2001; the date is made as if they counted from
            // 1970 and the text moves it forward by the distance between the two epochs.
            const ColumnValue visitTime = rows.valueForColumn("visit_time");
            if (!visitTime.isNull())
                visit->setLastVisitedDate(DateUtils::DateTimeToStringWithOffset(
                    DateFromUnixSeconds(rows.doubleForColumn("visit_time"))));
            visit->setIsChecked(0);
            visit->setSlNo(++serialNumber);
            record.AllInternetContent.append(visit);
            record.InternetContent.append(visit);
            ++record.InternetCount;
        }
    }
    // The connection goes with the run: the service keeps no file of the backup open.
    dbUtils.reset();
    record.updateUIfoundRecoveredData();
}

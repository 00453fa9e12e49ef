#include "services/InternetHistoryService.h"

#include "common/Clock.h"
#include "common/DateUtils.h"
#include "common/PropertyList.h"
#include "database/FMDBUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "records/InternetHistory.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

namespace {

constexpr const char* kHistoryQuery =
    "SELECT hv.id AS id, hv.title AS title, hv.visit_time AS visit_time, hi.url AS url, hi.visit_count AS "
    "visit_count FROM history_visits hv inner join history_items hi on hv.history_item = hi.id order by "
    "hv.visit_time desc, hv.id";

// The visit time as the history shows it: the seconds from 2001 are made into a date as if
// they counted from 1970, and the text moves it forward by the distance between the epochs.
OptString VisitTimeText(double appleSeconds) {
    return DateUtils::DateTimeToStringWithOffset(DateFromUnixSeconds(appleSeconds));
}

// A number written as text ("405034583.4"); none for anything else.
std::optional<double> NumberOfText(const OptString& text) {
    if (!text || text->empty()) return std::nullopt;
    double value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

struct ListedVisit {
    std::shared_ptr<InternetHistory> visit;
    std::optional<double> time;
};

// The visited pages of Safari's History.plist (iOS 4 to 7): the dictionaries of
// "WebHistoryDates", each with its address under the empty key, "title", "lastVisitedDate"
// (seconds from 2001, written as text) and "visitCount"; newest first.
std::vector<ListedVisit> VisitsOfHistoryList(const std::string& path) {
    std::vector<ListedVisit> visits;
    const std::optional<PropertyListFile> file = PropertyListFile::read(path);
    if (!file) return visits;
    for (const PlistDictionary& entry : file->root().dictionaries("WebHistoryDates")) {
        auto visit = std::make_shared<InternetHistory>();
        visit->setUrl(entry.string(""));
        visit->setTitle(entry.string("title"));
        visit->setVisitCount(static_cast<std::int32_t>(
            std::clamp<std::int64_t>(entry.integer("visitCount").value_or(0), 0, INT32_MAX)));
        const std::optional<double> time = NumberOfText(entry.string("lastVisitedDate"));
        if (time) visit->setLastVisitedDate(VisitTimeText(*time));
        if (!visit->Url() && !visit->Title()) continue;
        visits.push_back({std::move(visit), time});
    }
    std::stable_sort(visits.begin(), visits.end(), [](const auto& a, const auto& b) {
        return a.time.value_or(-1e300) > b.time.value_or(-1e300);
    });
    return visits;
}

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
    const auto list = [&](std::shared_ptr<InternetHistory> visit, std::int32_t& serialNumber) {
        visit->setIsChecked(0);
        visit->setSlNo(++serialNumber);
        record.AllInternetContent.append(visit);
        record.InternetContent.append(visit);
        ++record.InternetCount;
    };
    if (PropertyListFile::looksLikePropertyList(*path)) {
        // The history of iOS 7 and earlier is a property list, not a database.
        std::int32_t serialNumber = 0;
        for (auto& listed : VisitsOfHistoryList(*path)) {
            if (context.cancelled()) break;
            list(std::move(listed.visit), serialNumber);
        }
        record.updateUIfoundRecoveredData();
        return;
    }
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
                visit->setLastVisitedDate(VisitTimeText(rows.doubleForColumn("visit_time")));
            list(std::move(visit), serialNumber);
        }
    }
    // The connection goes with the run: the service keeps no file of the backup open.
    dbUtils.reset();
    record.updateUIfoundRecoveredData();
}

#include "services/InternetHistoryService.h"

#include "CountingWindow.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/InternetHistory.h"
#include "support/BackupBuilder.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <memory>
#include <stop_token>
#include <string>

namespace {

using testsupport::ContextFor;

using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::FixtureDatabase;
using testsupport::TempDir;

constexpr const char* kSafari = "AppDomain-com.apple.mobilesafari";

// 2016-01-15 08:30:00 UTC and 2016-09-01 10:00:00 UTC, in seconds since 2001.
constexpr double kWinterVisit = 474539400.0;
constexpr double kSummerVisit = 494416800.0;

// Safari's History.db with three pages, one of them visited twice, one visit without a title.
void FillHistory(FixtureDatabase& db) {
    const auto item = [&](const char* url, std::int64_t visits) {
        return db.insert("history_items", {{"url", url},
                                           {"visit_count", visits},
                                           {"daily_visit_counts", Bytes{}},
                                           {"should_recompute_derived_visit_counts", 0}});
    };
    const std::int64_t news = item("https://news.example.org/", 2);
    const std::int64_t shop = item("https://shop.example.com/cart?id=7", 1);
    const std::int64_t wiki = item("https://de.wikipedia.org/wiki/M%C3%BCnchen", 1);
    const auto visit = [&](std::int64_t page, double time, ColumnValue title) {
        db.insert("history_visits",
                  {{"history_item", page}, {"visit_time", time}, {"title", title}});
    };
    visit(news, kWinterVisit, "News");
    visit(shop, kSummerVisit + 60.0, ColumnValue());
    visit(wiki, kSummerVisit, "München – Wikipedia");
    visit(news, kSummerVisit + 120.0, "News");
    db.close();
}

class InternetHistoryServiceTest : public ::testing::Test {
protected:
    void SetUp() override { record.setWindow(window); }

    void useBackup(const std::filesystem::path& folder) {
        record.BACKUP_DIRECTORY.set(folder.string());
        device.setBackupLocation(folder.string());
    }

    std::vector<std::string> urls() const {
        std::vector<std::string> result;
        for (const auto& visit : record.InternetContent.snapshot())
            result.push_back(visit->Url().value_or("<absent>"));
        return result;
    }

    TempDir dir;
    BrimleyAppDelegate record;
    std::shared_ptr<CountingWindow> window = std::make_shared<CountingWindow>();
    DeviceInfo device;
};

TEST_F(InternetHistoryServiceTest, ListsEveryVisitNewestFirstInBothLayouts) {
    for (BackupLayout layout : {BackupLayout::Flat, BackupLayout::Sharded}) {
        SCOPED_TRACE(layout == BackupLayout::Flat ? "flat" : "sharded");
        TempDir backupDir;
        BackupBuilder backup(backupDir.path(), layout);
        auto db = backup.addDatabase(kSafari, "Library/Safari/History.db", "safari-history.sql");
        FillHistory(db);
        // The iOS 7 history is a property list: it answers no rows but is still looked at.
        backup.addFile(kSafari, "Library/Safari/History.plist",
                       Bytes{'b', 'p', 'l', 'i', 's', 't', '0', '0'});
        useBackup(backupDir.path());
        record.InternetContent.clear();
        record.InternetCount = 0;
        window->foundRecoveredData = 0;

        InternetHistoryService service;
        service.RecoverFromIOSBackup(ContextFor(record, device));

        const auto visits = record.InternetContent.snapshot();
        ASSERT_EQ(visits.size(), 4u);
        struct Expected {
            const char* url;
            OptString title;
            const char* date;  // Europe/Berlin
            std::int32_t visitCount;
        };
        const Expected expected[] = {
            {"https://news.example.org/", "News", "2016-09-01 12:02:00", 2},
            {"https://shop.example.com/cart?id=7", std::nullopt, "2016-09-01 12:01:00", 1},
            {"https://de.wikipedia.org/wiki/M%C3%BCnchen", "München – Wikipedia",
             "2016-09-01 12:00:00", 1},
            {"https://news.example.org/", "News", "2016-01-15 09:30:00", 2},
        };
        for (std::size_t i = 0; i < visits.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(visits[i]->Url(), expected[i].url);
            EXPECT_EQ(visits[i]->Title(), expected[i].title);
            EXPECT_EQ(visits[i]->LastVisitedDate(), expected[i].date);
            EXPECT_EQ(visits[i]->VisitCount(), expected[i].visitCount);
            EXPECT_EQ(visits[i]->SlNo(), static_cast<std::int32_t>(i + 1));
            EXPECT_EQ(visits[i]->isChecked(), 0);
        }
        EXPECT_EQ(record.AllInternetContent.snapshot(), visits);  // the same objects
        EXPECT_EQ(record.InternetCount.load(), 4);
        EXPECT_TRUE(record.AllDeletedInternet.empty());
        EXPECT_TRUE(record.DeletedInternet.empty());
        // Once per history file the backup holds, readable or not.
        EXPECT_EQ(window->foundRecoveredData.load(), 2);
    }
}

// The history of iOS 4 to 7 is Safari's History.plist: its visited pages are listed newest
// first with their titles, addresses, times and visit counts. Entries that are no
// dictionaries, or name no page, are left out.
TEST_F(InternetHistoryServiceTest, ReadsTheHistoryPropertyListOfOlderReleases) {
    BackupBuilder backup(dir.path());
    const std::string list =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<plist version=\"1.0\"><dict>"
        "<key>WebHistoryDates</key><array>"
        "<dict><key></key><string>https://news.example.org/</string>"
        "<key>lastVisitedDate</key><string>474539400.0</string>"
        "<key>title</key><string>News</string><key>visitCount</key><integer>2</integer></dict>"
        "<dict><key></key><string>https://de.wikipedia.org/wiki/M%C3%BCnchen</string>"
        "<key>lastVisitedDate</key><string>494416800.5</string>"
        "<key>title</key><string>München – Wikipedia</string>"
        "<key>visitCount</key><integer>1</integer></dict>"
        "<string>no page</string>"
        "<dict><key>visitCount</key><integer>4</integer></dict>"
        "<dict><key></key><string>https://shop.example.com/</string>"
        "<key>lastVisitedDate</key><string>soon</string></dict>"
        "</array><key>WebHistoryFileVersion</key><integer>1</integer>"
        "</dict></plist>\n";
    backup.addFile("HomeDomain", "Library/Safari/History.plist", Bytes(list.begin(), list.end()));
    useBackup(dir.path());

    InternetHistoryService().RecoverFromIOSBackup(ContextFor(record, device));

    const auto visits = record.InternetContent.snapshot();
    ASSERT_EQ(visits.size(), 3u);
    EXPECT_EQ(visits[0]->Url(), "https://de.wikipedia.org/wiki/M%C3%BCnchen");
    EXPECT_EQ(visits[0]->Title(), "München – Wikipedia");
    EXPECT_EQ(visits[0]->LastVisitedDate(), "2016-09-01 12:00:00");
    EXPECT_EQ(visits[0]->VisitCount(), 1);
    EXPECT_EQ(visits[1]->Url(), "https://news.example.org/");
    EXPECT_EQ(visits[1]->LastVisitedDate(), "2016-01-15 09:30:00");
    EXPECT_EQ(visits[1]->VisitCount(), 2);
    // A time that is no number leaves the date empty; the page is still listed.
    EXPECT_EQ(visits[2]->Url(), "https://shop.example.com/");
    EXPECT_EQ(visits[2]->LastVisitedDate(), std::nullopt);
    EXPECT_EQ(visits[2]->Title(), std::nullopt);
    for (std::size_t i = 0; i < visits.size(); ++i)
        EXPECT_EQ(visits[i]->SlNo(), static_cast<std::int32_t>(i + 1));
    EXPECT_EQ(record.InternetCount.load(), 3);
    EXPECT_EQ(window->foundRecoveredData.load(), 1);
}

TEST_F(InternetHistoryServiceTest, BackupWithoutHistoryListsNothingAndStaysQuiet) {
    BackupBuilder backup(dir.path());
    backup.addFile("HomeDomain", "Library/SMS/sms.db", Bytes{1});
    useBackup(dir.path());

    InternetHistoryService().RecoverFromIOSBackup(ContextFor(record, device));

    EXPECT_TRUE(record.InternetContent.empty());
    EXPECT_EQ(record.InternetCount.load(), 0);
    EXPECT_EQ(window->foundRecoveredData.load(), 0);
}

TEST_F(InternetHistoryServiceTest, SecondDatabaseRestartsSerialNumbersAndRunsReplaceTheAllLists) {
    BackupBuilder backup(dir.path());
    auto first = backup.addDatabase(kSafari, "Library/Safari/History.db", "safari-history.sql");
    FillHistory(first);
    // A backup of iOS 6 and earlier keeps its history under the third name.
    auto third =
        backup.addDatabase("HomeDomain", "Library/Safari/History.plist", "safari-history.sql");
    FillHistory(third);
    useBackup(dir.path());
    auto stale = std::make_shared<InternetHistory>();
    record.InternetContent.append(stale);
    record.AllInternetContent.append(stale);
    record.AllDeletedInternet.append(stale);
    record.InternetCount = 1;

    InternetHistoryService().RecoverFromIOSBackup(ContextFor(record, device));

    const auto all = record.AllInternetContent.snapshot();
    ASSERT_EQ(all.size(), 8u);
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i]->SlNo(), static_cast<std::int32_t>(i % 4 + 1)) << i;
    EXPECT_TRUE(record.AllDeletedInternet.empty());
    // The shown list and its count are the record's to clear between scans.
    EXPECT_EQ(record.InternetContent.size(), 9u);
    EXPECT_EQ(record.InternetCount.load(), 9);
    EXPECT_EQ(window->foundRecoveredData.load(), 2);
}

TEST_F(InternetHistoryServiceTest, CancelledRunReadsNothing) {
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase(kSafari, "Library/Safari/History.db", "safari-history.sql");
    FillHistory(db);
    useBackup(dir.path());
    std::stop_source stop;
    stop.request_stop();

    InternetHistoryService().RecoverFromIOSBackup(ContextFor(record, device, stop.get_token()));

    EXPECT_TRUE(record.InternetContent.empty());
    EXPECT_EQ(window->foundRecoveredData.load(), 0);
}

}  // namespace

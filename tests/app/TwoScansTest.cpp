// Two scans in one process: each has its own record (the results), its own core and its own
// inputs, so two scans of two backups at once find exactly what each finds alone.

#include "CoreScan.h"
#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/DeviceDetails.h"
#include "app/HeadlessDispatcher.h"
#include "app/MainWindow.h"
#include "app/ScanReport.h"
#include "app/ScanWorker.h"
#include "demo-backup/DemoBackup.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// What a scan found: the report's text and the sorted texts of every list it filled.
struct ScanResult {
    std::string report;
    std::vector<std::string> messages, deletedMessages, contacts, deletedContacts, calls,
        deletedCalls, notes, deletedNotes, events, deletedEvents, whatsApp, deletedWhatsApp;

    bool operator==(const ScanResult&) const = default;
};

template <class Record, class Text>
std::vector<std::string> Texts(const SharedList<Record>& list, Text text) {
    std::vector<std::string> texts;
    for (const auto& record : list.snapshot()) texts.push_back(text(*record).value_or("(none)"));
    std::sort(texts.begin(), texts.end());
    return texts;
}

// One whole scan of a backup folder, as the headless front end runs it: a core of its own with
// its own record, main thread and working folder.
ScanResult Scan(const std::filesystem::path& backup, const std::filesystem::path& work) {
    BrimleyAppDelegate record;
    HeadlessDispatcher dispatcher;
    auto window = std::make_shared<SilentMainWindow>();
    NoAnalytics analytics;
    ApplicationCore core(record, dispatcher, window, analytics, CoreConfiguration::defaults(),
                         work.string().c_str());
    ScanEveryType(core, record, dispatcher, backup.string(), 1);

    ScanResult result;
    result.report = ScanReport::fromRecord(record).text();
    result.messages = Texts(record.SMSContent, [](const SMS& r) { return r.Message(); });
    result.deletedMessages = Texts(record.DeletedSMS, [](const SMS& r) { return r.Message(); });
    result.contacts = Texts(record.ContactContent, [](const Contact& r) { return r.FirstName(); });
    result.deletedContacts =
        Texts(record.DeletedContact, [](const Contact& r) { return r.FirstName(); });
    result.calls = Texts(record.CallLogContent, [](const CallLog& r) { return r.Address(); });
    result.deletedCalls =
        Texts(record.DeletedCallLog, [](const CallLog& r) { return r.Address(); });
    result.notes = Texts(record.NotesContent, [](const Note& r) { return r.Title(); });
    result.deletedNotes = Texts(record.DeletedNotes, [](const Note& r) { return r.Title(); });
    result.events = Texts(record.CalendarContent, [](const Calendar& r) { return r.Summary(); });
    result.deletedEvents =
        Texts(record.DeletedCalendar, [](const Calendar& r) { return r.Summary(); });
    result.whatsApp = Texts(record.WhatsAppContent, [](const WhatsApp& r) { return r.zText(); });
    result.deletedWhatsApp =
        Texts(record.DeletedWhatsApp, [](const WhatsApp& r) { return r.zText(); });
    return result;
}

TEST(TwoScans, TwoBackupsScannedAtOnceGiveWhatEachGivesAlone) {
    testsupport::TempDir dir;
    demo::DemoBackupOptions first;
    first.photos = 2;
    demo::DemoBackupOptions second;
    second.seed = 4242;
    second.messages = 70;
    second.contacts = 30;
    second.calls = 40;
    second.whatsAppMessages = 50;
    second.photos = 1;
    demo::WriteDemoBackup(dir / "first", first);
    demo::WriteDemoBackup(dir / "second", second);

    const ScanResult firstAlone = Scan(dir / "first", dir / "work-a");
    const ScanResult secondAlone = Scan(dir / "second", dir / "work-b");
    // The two backups differ, so a scan that read the other's inputs would show.
    ASSERT_NE(firstAlone.report, secondAlone.report);
    ASSERT_FALSE(firstAlone.deletedMessages.empty());
    ASSERT_FALSE(secondAlone.deletedMessages.empty());

    ScanResult firstTogether, secondTogether;
    {
        std::jthread a([&] { firstTogether = Scan(dir / "first", dir / "work-c"); });
        std::jthread b([&] { secondTogether = Scan(dir / "second", dir / "work-d"); });
    }
    EXPECT_EQ(firstTogether, firstAlone);
    EXPECT_EQ(secondTogether, secondAlone);
}

}  // namespace

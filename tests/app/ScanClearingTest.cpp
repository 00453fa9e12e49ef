// A new scan begins by letting go of everything the previous scan held, so that it never holds
// two scans' records at once.

#include "CoreScan.h"
#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/DeviceDetails.h"
#include "app/HeadlessDispatcher.h"
#include "app/MainWindow.h"
#include "app/ScanClearing.h"
#include "app/ScanWorker.h"
#include "demo-backup/DemoBackup.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Message.h"
#include "services/ContactServices.h"
#include "services/MessageServices.h"
#include "services/ServicesManager.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using testsupport::TempDir;

template <class List>
void Watch(std::vector<std::weak_ptr<const void>>& watched, const List& records) {
    for (const auto& record : records) watched.emplace_back(record);
}

std::size_t Alive(const std::vector<std::weak_ptr<const void>>& watched) {
    std::size_t alive = 0;
    for (const auto& record : watched) alive += !record.expired();
    return alive;
}

// The records of a scan of every type (the lists the window shows, and what the services kept
// for their own work: the carved messages with their partners, the address book's people) are
// gone once the next scan has cleared the results, before it reads anything.
TEST(ScanClearing, ANewScanLetsGoOfThePreviousScansRecords) {
    TempDir dir;
    demo::DemoBackupOptions options;
    options.photos = 0;
    const auto backup = demo::WriteDemoBackup(dir / "backup", options);
    BrimleyAppDelegate record;
    HeadlessDispatcher dispatcher;
    auto window = std::make_shared<SilentMainWindow>();
    NoAnalytics analytics;
    ApplicationCore core(record, dispatcher, window, analytics, CoreConfiguration::defaults(),
                         (dir / "work").string().c_str());
    ScanEveryType(core, record, dispatcher, backup.folder.string(), 0);

    std::vector<std::weak_ptr<const void>> listed, keptByServices;
    Watch(listed, record.SMSContent.snapshot());
    Watch(listed, record.DeletedSMS.snapshot());
    Watch(listed, record.ContactContent.snapshot());
    Watch(listed, record.DeletedContact.snapshot());
    Watch(listed, record.CallLogContent.snapshot());
    Watch(listed, record.DeletedCallLog.snapshot());
    ServicesManager& services = *record.servicesMgr.get();
    Watch(keptByServices, services.messageServ().RecoveredMessages());
    for (const auto& message : services.messageServ().RecoveredMessages())
        if (message->ConversationContact()) keptByServices.emplace_back(message->ConversationContact());
    Watch(keptByServices, services.contactServ().ContactsAll());
    for (int index = 0; index < 8; ++index)
        if (const auto* service = services.serviceFor(static_cast<ServiceIndex>(index)))
            Watch(keptByServices, service->Model());
    ASSERT_FALSE(record.DeletedSMS.empty());
    ASSERT_FALSE(services.messageServ().RecoveredMessages().empty());

    // What the next scan does first.
    ClearScanResults(record, *window, nullptr);
    EXPECT_EQ(Alive(listed), 0u);
    EXPECT_EQ(Alive(keptByServices), 0u) << "of " << keptByServices.size();
}

}  // namespace

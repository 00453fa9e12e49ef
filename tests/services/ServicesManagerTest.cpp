#include "services/ServicesManager.h"

#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "services/CalendarsService.h"
#include "services/CallHistoryService.h"
#include "services/ContactServices.h"
#include "services/DcimService.h"
#include "services/InternetHistoryService.h"
#include "services/MessageServices.h"
#include "services/NotesServices.h"
#include "services/WhatsAppService.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The names of the services that ran, in order, each with the device it was given.
class RunLog {
public:
    void add(std::string entry) {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

// A service of the real class that only notes that it ran.
template <class Service>
class Noting final : public Service {
public:
    Noting(RunLog& log, std::string name) : log_(log), name_(std::move(name)) {}
    void RecoverFromIOSBackup(const ScanContext& context) override {
        log_.add(name_ + "@" + (context.device ? context.device->DeviceName().value_or("?") : "-"));
    }

private:
    RunLog& log_;
    std::string name_;
};

class ServicesManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<ServicesManager> makeManager() {
        ServicesManager::Services s;
        s.whatsAppServ = std::make_unique<Noting<WhatsAppService>>(log, "whatsapp");
        s.callHistoryServ = std::make_unique<Noting<CallHistoryService>>(log, "calls");
        s.calendarServ = std::make_unique<Noting<CalendarsService>>(log, "calendar");
        s.noteServ = std::make_unique<Noting<NotesServices>>(log, "notes");
        s.messageServ = std::make_unique<Noting<messageServicesIOS7_8>>(log, "messages");
        s.contactServ = std::make_unique<Noting<contactServices>>(log, "contacts");
        s.dcmiServ = std::make_unique<Noting<DcimService>>(log, "photos");
        s.internetHistoryServ = std::make_unique<Noting<InternetHistoryService>>(log, "internet");
        return std::make_unique<ServicesManager>(std::move(s), device("First iPhone"));
    }

    static std::shared_ptr<const DeviceInfo> device(const char* name) {
        auto d = std::make_shared<DeviceInfo>();
        d->setDeviceName(std::string(name));
        return d;
    }

    BrimleyAppDelegate record;
    RunLog log;
};

}  // namespace

// The service numbers are their own: 1 is photos and videos (not messages, whose data type is
// 1), 3 is call history; numbers outside 0-7 run nothing.
TEST_F(ServicesManagerTest, EachIndexRunsItsOwnServiceOnTheCallingThread) {
    struct Case {
        std::int64_t code;
        const char* service;  // nullptr: none
    };
    const Case cases[] = {{0, "messages"}, {1, "photos"}, {2, "contacts"}, {3, "calls"},
                          {4, "calendar"}, {5, "notes"},  {6, "internet"}, {7, "whatsapp"},
                          {8, nullptr},    {-1, nullptr}, {1000, nullptr}};
    auto manager = makeManager();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const auto before = log.entries().size();
        manager->StartRecoveryofService(c.code, ScanContext{});
        const auto after = log.entries();
        if (!c.service) {
            EXPECT_EQ(after.size(), before);
            continue;
        }
        ASSERT_EQ(after.size(), before + 1);
        EXPECT_EQ(after.back(), std::string(c.service) + "@First iPhone");
    }
    manager->StartRecoveryofService(ServiceIndex::ServiceIndexCallHistory, ScanContext{});
    EXPECT_EQ(log.entries().back(), "calls@First iPhone");
}

// StartRecovery runs the six record services in their order, never photos or internet history.
TEST_F(ServicesManagerTest, StartRecoveryRunsTheSixRecordServicesInOrder) {
    auto manager = makeManager();
    manager->setDevice(device("Second iPhone"));
    manager->StartRecovery(ScanContext{});
    EXPECT_EQ(log.entries(),
              (std::vector<std::string>{"messages@Second iPhone", "contacts@Second iPhone",
                                        "notes@Second iPhone", "calendar@Second iPhone",
                                        "calls@Second iPhone", "whatsapp@Second iPhone"}));
    EXPECT_EQ(manager->recoveryModules().size(), 6u);
}

// A stop asked for before StartRecovery begins runs nothing; a manager without a device gives
// its services an empty record rather than none.
TEST_F(ServicesManagerTest, StoppedRunAndMissingDevice) {
    auto manager = makeManager();
    std::stop_source stop;
    stop.request_stop();
    ScanContext stopped;
    stopped.stop = stop.get_token();
    manager->StartRecovery(stopped);
    EXPECT_TRUE(log.entries().empty());

    manager->setDevice(nullptr);
    ASSERT_NE(manager->device(), nullptr);
    manager->StartRecoveryofService(ServiceIndex::ServiceIndexNotes, ScanContext{});
    EXPECT_EQ(log.entries(), std::vector<std::string>{"notes@?"});
}

// The device a run's context names wins over the manager's.
TEST_F(ServicesManagerTest, TheContextsDeviceIsTheOneRead) {
    auto manager = makeManager();
    ScanContext context;
    context.device = device("Context iPhone");
    manager->StartRecoveryofService(ServiceIndex::ServiceIndexNotes, context);
    EXPECT_EQ(log.entries(), std::vector<std::string>{"notes@Context iPhone"});
}

// The application's own manager makes the real services; they fill the record of the context
// each run is given.
TEST(ServicesManagerWithRealServices, MakesEveryServiceAndFillsTheRunsRecord) {
    BrimleyAppDelegate record;
    ServicesManager manager(nullptr);
    for (std::int64_t code = 0; code < kServiceIndexCount; ++code)
        EXPECT_NE(manager.serviceFor(*ServiceIndexFromCode(code)), nullptr);
    EXPECT_NE(dynamic_cast<messageServicesIOS7_8*>(&manager.messageServ()), nullptr);
    // Without a backup folder nothing is found, and nothing breaks.
    ScanContext context;
    context.results = &record;
    manager.StartRecoveryofService(ServiceIndex::ServiceIndexInternetHistory, context);
    EXPECT_TRUE(record.InternetContent.empty());
}

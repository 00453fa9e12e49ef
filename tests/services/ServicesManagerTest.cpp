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
    Noting(BrimleyAppDelegate& record, RunLog& log, std::string name)
        : Service(record), log_(log), name_(std::move(name)) {}
    void RecoverFromIOSBackup(const DeviceInfo& device, std::stop_token) override {
        log_.add(name_ + "@" + device.DeviceName().value_or("?"));
    }

private:
    RunLog& log_;
    std::string name_;
};

class ServicesManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<ServicesManager> makeManager() {
        ServicesManager::Services s;
        s.whatsAppServ = std::make_unique<Noting<WhatsAppService>>(record, log, "whatsapp");
        s.callHistoryServ = std::make_unique<Noting<CallHistoryService>>(record, log, "calls");
        s.calendarServ = std::make_unique<Noting<CalendarsService>>(record, log, "calendar");
        s.noteServ = std::make_unique<Noting<NotesServices>>(record, log, "notes");
        s.messageServ = std::make_unique<Noting<messageServicesIOS7_8>>(record, log, "messages");
        s.contactServ = std::make_unique<Noting<contactServices>>(record, log, "contacts");
        s.dcmiServ = std::make_unique<Noting<DcimService>>(record, log, "photos");
        s.internetHistoryServ =
            std::make_unique<Noting<InternetHistoryService>>(record, log, "internet");
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
        manager->StartRecoveryofService(c.code);
        const auto after = log.entries();
        if (!c.service) {
            EXPECT_EQ(after.size(), before);
            continue;
        }
        ASSERT_EQ(after.size(), before + 1);
        EXPECT_EQ(after.back(), std::string(c.service) + "@First iPhone");
    }
    manager->StartRecoveryofService(ServiceIndex::ServiceIndexCallHistory);
    EXPECT_EQ(log.entries().back(), "calls@First iPhone");
}

// StartRecovery runs the six record services in their order, never photos or internet history.
TEST_F(ServicesManagerTest, StartRecoveryRunsTheSixRecordServicesInOrder) {
    auto manager = makeManager();
    manager->setDevice(device("Second iPhone"));
    manager->StartRecovery();
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
    manager->StartRecovery(stop.get_token());
    EXPECT_TRUE(log.entries().empty());

    manager->setDevice(nullptr);
    ASSERT_NE(manager->device(), nullptr);
    manager->StartRecoveryofService(ServiceIndex::ServiceIndexNotes);
    EXPECT_EQ(log.entries(), std::vector<std::string>{"notes@?"});
}

// The application's own manager makes the real services, over the record it is given.
TEST(ServicesManagerWithRealServices, MakesEveryServiceOverTheRecord) {
    BrimleyAppDelegate record;
    ServicesManager manager(nullptr, record);
    for (std::int64_t code = 0; code < kServiceIndexCount; ++code) {
        abstractServices* service = manager.serviceFor(*ServiceIndexFromCode(code));
        ASSERT_NE(service, nullptr);
        EXPECT_EQ(&service->appDel(), &record);
    }
    EXPECT_NE(dynamic_cast<messageServicesIOS7_8*>(&manager.messageServ()), nullptr);
    // Without a backup folder nothing is found, and nothing breaks.
    manager.StartRecoveryofService(ServiceIndex::ServiceIndexInternetHistory);
    EXPECT_TRUE(record.InternetContent.empty());
}

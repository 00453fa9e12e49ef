#include "app/RecoveryWindowController.h"

#include "RecordingWindow.h"
#include "ScriptedServices.h"
#include "records/BrimleyAppDelegate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// The services that need no other service's results.
const std::vector<std::string> kIndependent = {"photos", "notes", "whatsapp", "calendar",
                                               "internet"};

class RecoveryWindowControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A full scan: every service has its thread.
        record._RecoverMode = 1;
        record.servicesMgr.set(services.manager(record));
        record.signatureLoaded.set();
    }

    // The contacts service finishes only after every independent service has begun, so the
    // message and call-history services would start before it ended if they did not wait.
    void makeContactsSlow() {
        auto othersBegan =
            std::make_shared<std::latch>(static_cast<std::ptrdiff_t>(kIndependent.size()));
        for (const auto& name : kIndependent)
            services.script(name, [othersBegan](std::stop_token) { othersBegan->count_down(); });
        services.script("contacts", [othersBegan](std::stop_token) { othersBegan->wait(); });
    }

    void expectMessagesAndCallsAfterContacts() {
        const long contactsEnd = services.position("contacts:end");
        ASSERT_GE(contactsEnd, 0);
        EXPECT_GT(services.position("messages:begin"), contactsEnd);
        EXPECT_GT(services.position("calls:begin"), contactsEnd);
    }

    bool allFinished() const {
        return controller.dcmiFinished() && controller.contactsFinished() &&
               controller.notesFinished() && controller.callHistoryFinished() &&
               controller.whatsAppFinished() && controller.calendarFinished() &&
               controller.messagesFinished() && controller.internetFinished();
    }

    BrimleyAppDelegate record;
    ScriptedServices services;
    RecordingWindow window;
    RecoveryWindowController controller{record, window};
};

}  // namespace

// A run of every type starts all eight services, holds messages and calls back until contacts
// has finished, and returns only when every one has ended.
TEST_F(RecoveryWindowControllerTest, RunsEveryServiceWithMessagesAndCallsAfterContacts) {
    makeContactsSlow();
    record.isDoingRecovery = true;
    controller.RecoverDeletedData(DataType::DataTypeAll);

    expectMessagesAndCallsAfterContacts();
    for (const char* name :
         {"photos", "contacts", "notes", "calls", "whatsapp", "calendar", "messages", "internet"})
        EXPECT_GE(services.position(std::string(name) + ":end"), 0) << name;
    EXPECT_TRUE(allFinished());
    EXPECT_FALSE(record.isDoingRecovery.load());
    // The media and internet-history threads tell the window before and after.
    const auto lines = window.statusLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Recovering Photos & Videos..."), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Recovering Internet History"), lines.end());
}

// A fast scan examines no photo or video: the photo library's service is not started, the
// others are, and the run still ends with every thread marked finished.
TEST_F(RecoveryWindowControllerTest, AFastRunLeavesThePhotoLibraryAlone) {
    record._RecoverMode = 0;
    controller.RecoverDeletedData(DataType::DataTypeAll);
    EXPECT_LT(services.position("photos:begin"), 0);
    for (const char* name : {"contacts", "notes", "calls", "whatsapp", "calendar", "messages", "internet"})
        EXPECT_GE(services.position(std::string(name) + ":end"), 0) << name;
    EXPECT_TRUE(allFinished());
}

// Threads end one by one: the status line never goes on naming a type whose thread has ended
// while another still carves.
TEST_F(RecoveryWindowControllerTest, TheStatusLineNamesAThreadStillAtWork) {
    // The internet history ends once the photos have ended and the messages have begun; the
    // messages thread carves on until the window has been told of the internet history's end.
    services.script("internet", [this](std::stop_token stop) {
        for (int i = 0; i < 500 && !stop.stop_requested() &&
                        !(controller.dcmiFinished() && services.position("messages:begin") >= 0);
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    // (A thread is marked finished only after it has told the window, so waiting for the
    // internet history's flag also waits for its last status line; a line of another thread
    // after "Recovering Internet History" would not.)
    services.script("messages", [this](std::stop_token stop) {
        for (int i = 0; i < 500 && !controller.internetFinished() && !stop.stop_requested(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    controller.RecoverDeletedData(DataType::DataTypeAll);
    const auto lines = window.statusLines();
    const auto internet = std::find(lines.begin(), lines.end(), "Recovering Internet History");
    ASSERT_NE(internet, lines.end());
    // The thread still at work is named.
    EXPECT_EQ(lines.back(), "Recovering deleted messages...");
}

// While one type's deleted records are carved alone (the contacts, which messages and calls
// wait for), the status line names that step, not a bare request to wait.
TEST_F(RecoveryWindowControllerTest, TheStatusLineNamesTheStepThatRuns) {
    std::vector<std::string> seen;
    services.script("contacts", [&](std::stop_token) {
        // Every other service that does not wait has ended by now.
        for (int i = 0; i < 500 && !(controller.notesFinished() && controller.calendarFinished() &&
                                     controller.whatsAppFinished() && controller.internetFinished() &&
                                     controller.dcmiFinished());
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        seen = window.statusLines();
    });
    controller.RecoverDeletedData(DataType::DataTypeAll);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "Recovering deleted contacts...");
}

// The flags a run for one type leaves (contacts "finished" among them) are set afresh by the
// next run: a second run of every type still waits for its contacts and for all its threads.
TEST_F(RecoveryWindowControllerTest, FlagsOfAnEarlierRunDoNotCarryOver) {
    controller.RecoverDeletedData(DataType::DataTypeSMS);
    EXPECT_EQ(services.log(), (std::vector<std::string>{"messages:begin", "messages:end"}));
    ASSERT_TRUE(controller.contactsFinished());

    services.clearLog();
    makeContactsSlow();
    controller.RecoverDeletedData(DataType::DataTypeAll);
    expectMessagesAndCallsAfterContacts();
    EXPECT_GE(services.position("messages:end"), 0);
    EXPECT_GE(services.position("calls:end"), 0);
}

// A run for one type starts that type's thread alone, which needs to wait for nobody.
TEST_F(RecoveryWindowControllerTest, SingleTypeRunsOnlyItsService) {
    struct Case {
        DataType type;
        const char* service;
    };
    for (const Case c : {Case{DataType::DataTypeCallHistory, "calls"},
                         Case{DataType::DataTypePhotosVideos, "photos"},
                         Case{DataType::DataTypeInternetHistory, "internet"}}) {
        SCOPED_TRACE(c.service);
        services.clearLog();
        controller.RecoverDeletedData(c.type);
        EXPECT_EQ(services.log(), (std::vector<std::string>{std::string(c.service) + ":begin",
                                                            std::string(c.service) + ":end"}));
        EXPECT_EQ(controller.dataType(), c.type);
        EXPECT_TRUE(allFinished());
    }
}

// No thread starts before the signature catalogue is loaded.
TEST_F(RecoveryWindowControllerTest, WaitsForTheSignatures) {
    record.signatureLoaded.reset();
    std::atomic<bool> returned{false};
    std::jthread run([&] {
        controller.RecoverDeletedData(DataType::DataTypeNotes);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(services.log().empty());
    EXPECT_FALSE(returned.load());
    record.signatureLoaded.set();
    run.join();
    EXPECT_EQ(services.log(), (std::vector<std::string>{"notes:begin", "notes:end"}));
}

// The stop button (cancelScan) and the scan's own stop request each end every running service
// early; messages and calls, still waiting for contacts, never start, and the run returns.
TEST_F(RecoveryWindowControllerTest, CancellingEndsTheRunEarly) {
    for (const bool throughScan : {false, true}) {
        SCOPED_TRACE(throughScan ? "scan's stop request" : "cancelScan");
        services.clearLog();
        for (const char* name : {"photos", "contacts", "notes", "whatsapp", "calendar", "internet"})
            services.script(name, ScriptedServices::untilStopped());
        std::stop_source scan;
        std::jthread run(
            [&] { controller.RecoverDeletedData(DataType::DataTypeAll, scan.get_token()); });
        ASSERT_TRUE(services.waitUntilBegun(6));
        if (throughScan)
            scan.request_stop();
        else
            controller.cancelScan();
        run.join();

        for (const char* name : {"photos", "contacts", "notes", "whatsapp", "calendar", "internet"})
            EXPECT_GE(services.position(std::string(name) + ":stopped"), 0) << name;
        EXPECT_EQ(services.position("messages:begin"), -1);
        EXPECT_EQ(services.position("calls:begin"), -1);
        EXPECT_TRUE(allFinished());
    }
    // A cancel of an earlier run does not reach the next one.
    services.clearLog();
    services.script("notes", {});
    controller.RecoverDeletedData(DataType::DataTypeNotes);
    EXPECT_EQ(services.log(), (std::vector<std::string>{"notes:begin", "notes:end"}));
}

// A cancel while the run still waits for the signatures starts no thread.
TEST_F(RecoveryWindowControllerTest, CancelWhileWaitingForSignaturesStartsNothing) {
    record.signatureLoaded.reset();
    std::stop_source scan;
    std::jthread run(
        [&] { controller.RecoverDeletedData(DataType::DataTypeAll, scan.get_token()); });
    scan.request_stop();
    run.join();
    EXPECT_TRUE(services.log().empty());
}

// A service that throws ends its own thread with an error line; the others run to their end
// and the run returns.
TEST_F(RecoveryWindowControllerTest, AFailingServiceIsReportedAndTheRunGoesOn) {
    services.script("notes", [](std::stop_token) { throw std::runtime_error("disk on fire"); });
    services.script("contacts", [](std::stop_token) { throw std::bad_alloc(); });
    controller.RecoverDeletedData(DataType::DataTypeAll);

    const auto lines = window.statusLines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "Error: recovering deleted notes: disk on fire"),
        lines.end());
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) {
                               return l.rfind("Error: recovering deleted contacts", 0) == 0;
                           }),
              lines.end());
    EXPECT_EQ(services.position("notes:end"), -1);
    for (const char* name : {"photos", "calls", "whatsapp", "calendar", "messages", "internet"})
        EXPECT_GE(services.position(std::string(name) + ":end"), 0) << name;
    EXPECT_TRUE(allFinished());
}

// Without recovery services the run finds nothing and still returns.
TEST_F(RecoveryWindowControllerTest, NoServicesNoThreads) {
    record.servicesMgr.set(nullptr);
    controller.RecoverDeletedData(DataType::DataTypeAll);
    EXPECT_TRUE(services.log().empty());
    EXPECT_TRUE(allFinished());
}

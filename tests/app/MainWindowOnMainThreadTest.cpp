#include "app/HeadlessDispatcher.h"
#include "app/MainWindowOnMainThread.h"
#include "app/StatusLine.h"
#include "records/BrimleyAppDelegate.h"

#include "RecordingWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// A window whose tab switch can be held back, to show that a waiting call really waits.
class SlowTabWindow : public RecordingWindow {
public:
    std::atomic<bool> switched{false};
    void onAppsSelectionChanged(TabTag t) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        RecordingWindow::onAppsSelectionChanged(t);
        switched = true;
    }
};

}  // namespace

TEST(MainWindowOnMainThread, EveryCallFromAWorkerRunsOnTheMainThreadInOrder) {
    BrimleyAppDelegate record;
    HeadlessDispatcher dispatcher;
    auto window = std::make_shared<SlowTabWindow>();
    auto proxy = std::make_shared<MainWindowOnMainThread>(dispatcher, window, record);
    record.setWindow(proxy);

    std::thread::id mainId;
    bool waitedForTab = false;
    {
        std::jthread main([&](std::stop_token token) {
            mainId = std::this_thread::get_id();
            dispatcher.run(token);
        });
        std::jthread worker([&] {
            proxy->showScreen(ScreenState::ScreenResults);
            proxy->updateStatus(0, "SMS");
            proxy->onTabSelectionChanged(TabTag::TabTagSMS);
            proxy->onAppsSelectionChanged(TabTag::TabTagSMS);
            waitedForTab = window->switched.load();
            record.updateUIfoundRecoveredData();  // what a carving thread calls
            proxy->updateStatus(9, "ignored");
            proxy->OpenDashboard();
        });
        worker.join();
        dispatcher.stop();
    }

    EXPECT_TRUE(waitedForTab);
    EXPECT_EQ(record.PresentScreen.load(), 3);
    EXPECT_EQ(window->texts(),
              (std::vector<std::string>{"showScreen 3", "updateStatus Retrieving  SMS",
                                        "onTabSelectionChanged 100", "onAppsSelectionChanged 100",
                                        "updateUIfoundRecoveredData", "OpenDashboard"}));
    for (const auto& call : window->calls()) EXPECT_EQ(call.thread, mainId) << call.text;
}

TEST(StatusLineText, EachCodeHasItsText) {
    const struct {
        int code;
        const char* message;
        OptString line;
    } cases[] = {
        {0, "SMS", "Retrieving  SMS"},
        {1, "Photos & Videos... ", "Recovering Photos & Videos... "},
        {2, "anything", "Recovering\u2026 please note this may take a few minutes."},
        {3, "12 SMS Retreived", "12 SMS Retreived"},
        {4, "disk full", "Error: disk full"},
        {5, "x", std::nullopt},
        {-1, "x", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(StatusLineText(c.code, c.message), c.line) << c.code;
}

#include "RecordingAnalytics.h"
#include "app/ApplicationShutdown.h"
#include "app/TimeOfUse.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

using namespace std::chrono_literals;

const Date kStart = Date(std::chrono::milliseconds(1'700'000'000'000));

std::string StoredText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(TimeOfUseTest, EachCloseAddsTheRunsTime) {
    testsupport::TempDir dir;
    const auto store = dir / "settings" / "TimeTracker";
    {
        TimeOfUse first(store.string());
        first.restart(kStart);
        EXPECT_DOUBLE_EQ(first.storedSeconds(), 0.0);
        ASSERT_TRUE(first.addTimeOfUse(kStart + 60'500ms));
        EXPECT_DOUBLE_EQ(first.storedSeconds(), 60.5);
    }
    TimeOfUse second(store.string());
    second.restart(kStart + 1h);
    ASSERT_TRUE(second.addTimeOfUse(kStart + 1h + 60s));
    EXPECT_DOUBLE_EQ(second.storedSeconds(), 120.5);
    EXPECT_DOUBLE_EQ(TimeOfUse::parseSeconds(StoredText(store)), 120.5);

    // The banner reported it: back to 0, counted from then.
    second.reported(kStart + 2h);
    EXPECT_DOUBLE_EQ(second.storedSeconds(), 0.0);
    EXPECT_EQ(second.startTime(), kStart + 2h);
}

TEST(TimeOfUseTest, ADamagedValueStartsAgainFromZero) {
    testsupport::TempDir dir;
    const auto store = dir / "TimeTracker";
    for (const char* stored : {"abc", "-5", "nan", "inf", "1e999", "", "12 seconds"}) {
        std::ofstream(store) << stored;
        TimeOfUse time(store.string());
        time.restart(kStart);
        EXPECT_DOUBLE_EQ(time.storedSeconds(), 0.0) << stored;
        ASSERT_TRUE(time.addTimeOfUse(kStart + 30s));
        EXPECT_DOUBLE_EQ(time.storedSeconds(), 30.0) << stored;
    }
    EXPECT_DOUBLE_EQ(TimeOfUse::parseSeconds(" 150.25\n"), 150.25);
}

TEST(ShutdownTest, TheCloseButtonAndTheQuitRequest) {
    testsupport::TempDir dir;
    const auto store = dir / "TimeTracker";
    Clock::ScopedNow start(kStart);
    TimeOfUse time(store.string());
    NotingAnalytics analytics;
    int terminated = 0;
    std::vector<int> ended;
    ApplicationShutdown shutdown(
        time, analytics, [&] { ++terminated; }, [&](int status) { ended.push_back(status); });
    {
        Clock::ScopedNow later(kStart + 60s);
        shutdown.OnTerminate();
    }
    EXPECT_DOUBLE_EQ(time.storedSeconds(), 60.0);
    EXPECT_EQ(analytics.events(), (std::vector<std::string>{"button Close Pressed", "flush"}));
    EXPECT_EQ(ended, std::vector<int>{0});
    EXPECT_EQ(terminated, 0);
    {
        Clock::ScopedNow later(kStart + 90s);
        shutdown.handleQuitEvent();
    }
    EXPECT_DOUBLE_EQ(time.storedSeconds(), 150.0);
    EXPECT_EQ(analytics.events().at(2), "message Close - Pressed");
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(ended.size(), 1u);
    EXPECT_TRUE(ApplicationShutdown::applicationShouldTerminateAfterLastWindowClosed());
}

}  // namespace

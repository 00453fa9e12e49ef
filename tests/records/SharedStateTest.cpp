#include "records/BrimleyAppDelegate.h"
#include "records/SharedList.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {
struct Item {
    int key;
};
}  // namespace

TEST(SharedList, ConcurrentAppendsUnlessDuplicateListEachKeyOnce) {
    SharedList<Item> list;
    std::vector<std::jthread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int k = 0; k < 200; ++k)
                list.appendUnless(std::make_shared<Item>(Item{k}),
                                  [k](const Item& i) { return i.key == k; });
        });
    }
    threads.clear();
    EXPECT_EQ(list.size(), 200u);
    // A snapshot stays as it was while the list changes.
    auto snap = list.snapshot();
    list.clear();
    EXPECT_EQ(snap.size(), 200u);
    EXPECT_TRUE(list.empty());
}

TEST(BusyFlag, OnlyOneHolderAtATime) {
    BusyFlag flag;
    int inside = 0, maxInside = 0, total = 0;
    std::vector<std::jthread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                std::lock_guard hold(flag);
                maxInside = std::max(maxInside, ++inside);
                ++total;
                --inside;
            }
        });
    }
    threads.clear();
    EXPECT_EQ(maxInside, 1);
    EXPECT_EQ(total, 3000);
    EXPECT_FALSE(flag.isTaken());
}

TEST(WaitableFlag, WaiterWakesOnSetOrStops) {
    WaitableFlag flag;
    auto waiter = std::async(std::launch::async, [&] { return flag.wait(std::stop_token{}); });
    flag.set();
    EXPECT_TRUE(waiter.get());

    WaitableFlag never;
    std::stop_source stop;
    auto stopped = std::async(std::launch::async, [&] { return never.wait(stop.get_token()); });
    stop.request_stop();
    EXPECT_FALSE(stopped.get());
}

namespace {
struct CountingWindow : MainWindowRefresh {
    std::atomic<int> found{0}, photos{0};
    void updateUIfoundRecoveredData() override { ++found; }
    void updatePhotosUI() override { ++photos; }
};
}  // namespace

TEST(BrimleyAppDelegate, OneRecordOnEveryThreadAndRefreshesReachTheAttachedWindow) {
    auto& mine = BrimleyAppDelegate::appDelegate();
    auto* theirs =
        std::async(std::launch::async, [] { return &BrimleyAppDelegate::appDelegate(); }).get();
    EXPECT_EQ(&mine, theirs);

    BrimleyAppDelegate state;
    EXPECT_EQ(state.tabItem.load(), 0);  // start-up selects the first tab
    EXPECT_FALSE(state.signatureLoaded.isSet());
    state.updateUIfoundRecoveredData();  // nothing attached: nothing happens
    auto window = std::make_shared<CountingWindow>();
    state.setWindow(window);
    state.updateUIfoundRecoveredData();
    state.updatePhotosUI();
    EXPECT_EQ(window->found.load(), 1);
    EXPECT_EQ(window->photos.load(), 1);
}

#include "records/BrimleyAppDelegate.h"
#include "records/SharedList.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A screen sorts a list in place from a snapshot while a scan may still append to it: the
// snapshot's order holds, what was appended since follows, and the keyed look-up still answers.
TEST(SharedList, ReorderFollowsTheGivenOrderAndKeepsLaterAppends) {
    SharedList<Item> list;
    const auto keyOf = [](const Item& i) -> std::optional<std::string> { return std::to_string(i.key); };
    for (int k : {1, 2, 3}) list.appendUnlessKey(std::make_shared<Item>(Item{k}), keyOf);
    auto order = list.snapshot();
    std::reverse(order.begin(), order.end());
    list.append(std::make_shared<Item>(Item{4}));  // after the snapshot
    order.push_back(std::make_shared<Item>(Item{9}));  // never listed
    list.reorder(order);
    std::vector<int> keys;
    for (const auto& item : list.snapshot()) keys.push_back(item->key);
    EXPECT_EQ(keys, (std::vector<int>{3, 2, 1, 4}));
    EXPECT_TRUE(list.containsKey("1", keyOf));
    EXPECT_FALSE(list.containsKey("9", keyOf));
    EXPECT_FALSE(list.appendUnlessKey(std::make_shared<Item>(Item{3}), keyOf));
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

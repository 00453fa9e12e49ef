#include "RecordingWindow.h"
#include "app/MainThreadDispatcher.h"
#include "app/UpdateCheck.h"
#include "config/ApplicationConfig.h"
#include "records/BrimleyAppDelegate.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Runs every piece of work at once, on the calling thread.
class InlineDispatcher final : public MainThreadDispatcher {
public:
    void post(std::function<void()> work) override { work(); }
    bool postAndWait(std::function<void()> work) override {
        work();
        return true;
    }
    bool isMainThread() const override { return true; }
};

// Notes what the user is told and asked; answers the questions from a script.
class ScriptedUser final : public UpdateUser {
public:
    explicit ScriptedUser(std::deque<bool> answers = {}) : answers_(std::move(answers)) {}

    void newVersionAvailable(const std::string& version, const OptString& page) override {
        note("told " + version + " " + page.value_or("-"));
    }
    void showAlert(const std::string& message) override { note("alert " + message); }
    bool askToUpdate(const std::string& message) override {
        note("asked " + message);
        std::lock_guard lock(mutex_);
        if (answers_.empty()) return false;
        const bool answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    void openInBrowser(const std::string& address) override { note("opened " + address); }

    std::vector<std::string> notes() const {
        std::lock_guard lock(mutex_);
        return notes_;
    }
    void waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return notes_.size() >= count; });
    }

private:
    void note(std::string text) {
        std::lock_guard lock(mutex_);
        notes_.push_back(std::move(text));
        changed_.notify_all();
    }
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<bool> answers_;
    std::vector<std::string> notes_;
};

const std::string kPage = "https://downloads.torvane.dev/latest";

struct Fixture {
    explicit Fixture(std::string published, std::deque<bool> answers = {}, OptString page = kPage)
        : user(std::move(answers)),
          check(
              record, window, dispatcher, user, [published](std::stop_token) { return published; },
              [page] { return page; }) {
        record.Version.set("TM640R v9.9.0.0");
        record.PresentScreen = 4;
    }
    BrimleyAppDelegate record;
    RecordingWindow window;
    InlineDispatcher dispatcher;
    ScriptedUser user;
    UpdateCheck check;
};

TEST(UpdateCheckTest, VersionComparisons) {
    struct Row {
        const char* published;
        const char* running;
        bool newer;
    };
    for (const Row& row :
         {Row{"9.10.0.0", "9.9.0.0", true}, Row{"1.10", "1.9", true},
          Row{"9.2.0.0", "9.2.0.0", false}, Row{"9.1.9.9", "9.2.0.0", false},
          Row{"1.2.0", "1.2", false}, Row{"1.2.1", "1.2", true}, Row{"2.0", "10.0", false},
          Row{"\n9.3\n", "9.2", true}, Row{"1.02", "1.2", false}, Row{"1.2b", "1.2a", true},
          Row{"100000000000000000000.0", "99999999999999999999.9", true}, Row{"", "1.0", false},
          Row{"1.0", "", false}})
        EXPECT_EQ(UpdateCheck::isNewerVersion(row.published, row.running), row.newer)
            << row.published << " against " << row.running;
}

TEST(UpdateCheckTest, RunningVersionFromTheLabel) {
    EXPECT_EQ(UpdateCheck::runningVersion("TM640R v9.2.0.0"), "9.2.0.0");
    EXPECT_EQ(UpdateCheck::runningVersion("PB740R v1.0v"), "1.0");
    EXPECT_EQ(UpdateCheck::runningVersion("TM640R"), "");
    EXPECT_EQ(UpdateCheck::runningVersion(std::nullopt), "");
}

// At start-up a newer version is announced without a question and without a screen change.
TEST(UpdateCheckTest, StartUpTellsWithoutAsking) {
    {
        Fixture f("9.10.0.0");
        f.check.checkForAutoUpdate({});
        EXPECT_EQ(f.user.notes(), (std::vector<std::string>{"told 9.10.0.0 " + kPage}));
        EXPECT_TRUE(f.window.texts().empty());
    }
    for (const char* published : {"9.9.0.0", "", "9.8"}) {
        Fixture f(published);
        f.check.checkForAutoUpdate({});
        EXPECT_TRUE(f.user.notes().empty()) << published;
        EXPECT_TRUE(f.window.texts().empty()) << published;
    }
}

// Without a connection the menu's check says so, not that the server is busy.
TEST(UpdateCheckTest, OfflineSaysThereIsNoConnection) {
    Fixture f("");
    f.check.connected = [] { return false; };
    f.check.checkUpdate({});
    EXPECT_EQ(f.user.notes(), (std::vector<std::string>{std::string("alert ") + UpdateCheck::kNoConnection}));
    Fixture online("");
    online.check.connected = [] { return true; };
    online.check.checkUpdate({});
    EXPECT_EQ(online.user.notes(), (std::vector<std::string>{std::string("alert ") + UpdateCheck::kServerBusy}));
}

// A feed at a placeholder address, or at none, has no server to reach: when it cannot be
// read, the user hears there is no connection, never that the server is busy.
TEST(UpdateCheckTest, APlaceholderFeedIsNeverReachable) {
    const ApplicationConfig before = ApplicationConfig::sharedObject();
    for (const OptString& feed : {OptString("https://updates.example.com/torvane/feed.xml"),
                                  OptString("http://feed.invalid/appcast.xml"), OptString()}) {
        SCOPED_TRACE(feed.value_or("(none)"));
        ApplicationConfig::updateSharedObject([&](ApplicationConfig& config) { config.updateUrl = feed; });
        Fixture f("");
        f.check.checkUpdate({});
        EXPECT_EQ(f.user.notes(), (std::vector<std::string>{std::string("alert ") + UpdateCheck::kNoConnection}));
    }
    ApplicationConfig::setSharedObject(before);
}

// From the menu: the busy screen while the feed is read, one of the alerts, the screen of before.
TEST(UpdateCheckTest, TheMenuAsks) {
    struct Row {
        const char* why;
        const char* published;
        std::deque<bool> answers;
        OptString page;
        std::vector<std::string> notes;
    };
    const std::string asked = std::string("asked ") + UpdateCheck::kNewVersion;
    for (const Row& row : {
             Row{"no feed", "", {}, kPage, {std::string("alert ") + UpdateCheck::kNoConnection}},
             Row{"up to date",
                 "9.9.0.0",
                 {},
                 kPage,
                 {std::string("alert ") + UpdateCheck::kUpToDate}},
             Row{"newer, cancelled", "9.10.0.0", {false}, kPage, {asked}},
             Row{"newer, update", "9.10.0.0", {true}, kPage, {asked, "opened " + kPage}},
             // Without a usable download page the question stays until it is cancelled.
             Row{"newer, no page",
                 "9.10.0.0",
                 {true, false},
                 std::string("file:///bin/sh"),
                 {asked, asked}},
         }) {
        SCOPED_TRACE(row.why);
        Fixture f(row.published, row.answers, row.page);
        f.check.checkUpdate({});
        EXPECT_EQ(f.user.notes(), row.notes);
        EXPECT_EQ(f.window.texts(),
                  (std::vector<std::string>{"showScreen 2", "updateStatus Checking for update.",
                                            "showScreen 4"}));
    }
}

TEST(UpdateCheckTest, TheMenuChecksOnAThreadOfItsOwn) {
    Fixture f("9.10.0.0", {true});
    f.check.OnUpdateClick();
    f.user.waitFor(2);
    EXPECT_EQ(f.user.notes().back(), "opened " + kPage);
}

}  // namespace

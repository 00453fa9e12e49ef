#pragma once

#include "common/Types.h"

#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

class BrimleyAppDelegate;
class MainThreadDispatcher;
class MainWindowActions;

// The front end's part of the update check: how the user is told and asked. Called on the main
// thread.
class UpdateUser {
public:
    virtual ~UpdateUser() = default;
    // Start-up found a newer version: tell the user without asking anything and without
    // keeping them from their work. The download page may be unknown.
    virtual void newVersionAvailable(const std::string& version, const OptString& downloadPage) = 0;
    // A message with an "OK" button; returns once it has been closed.
    virtual void showAlert(const std::string& message) = 0;
    // The question with the default button "Update" (true) and "Cancel" (false).
    virtual bool askToUpdate(const std::string& message) = 0;
    // Opens the address in the user's web browser.
    virtual void openInBrowser(const std::string& address) = 0;
};

// Compares the running version with the version published in the update feed: once at
// start-up, quietly, and on request from the menu. When a newer version is published the user
// is told; updating means opening the download page in the browser. Nothing is ever
// downloaded, run or replaced.
class UpdateCheck {
public:
    // The published version ("" when the feed could not be read); stops early when asked.
    using PublishedVersion = std::function<std::string(std::stop_token)>;
    // The download page's address.
    using DownloadPage = std::function<OptString()>;

    // By default the feed is the configuration's updateUrl (fetched over https only) and the
    // download page its updaterAppUrl, both read at the moment of use. `window` is called from
    // the checking thread, so it must hand its calls to the main thread (MainWindowOnMainThread).
    UpdateCheck(BrimleyAppDelegate& record, MainWindowActions& window,
                MainThreadDispatcher& dispatcher, UpdateUser& user,
                PublishedVersion publishedVersion = {}, DownloadPage downloadPage = {});
    // Stops a check from the menu that is still running and waits for it.
    ~UpdateCheck();
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    // The check at start-up, on a thread of its own: it changes no screen and asks nothing;
    // a newer version is announced with UpdateUser::newVersionAvailable.
    void checkForAutoUpdate(std::stop_token stop);
    // The menu's "check for updates": runs checkUpdate on a thread of its own and returns. A
    // check still running is not started twice.
    void OnUpdateClick();
    // The check on request: the busy screen and "Checking for update." while the feed is read,
    // then one of the alerts, then back to the screen shown before.
    void checkUpdate(std::stop_token stop);
    // Opens the download page in the browser; false, with a line on stderr, when there is no
    // usable web address for it.
    bool OnMasterUpdate();

    // The running version: the second blank-separated word of the version label, every "v"
    // removed ("TM640R v9.2.0.0" gives "9.2.0.0"); "" without one.
    static std::string runningVersion(const OptString& versionLabel);
    // Whether the published version is newer than the running one. Both are compared part by
    // part at the dots, a missing part counting as 0; within a part, runs of digits compare by
    // their value and other characters by their codes, so "1.10" is newer than "1.9" and
    // "1.2.0" is the same as "1.2". Blanks and line breaks around a version are ignored. An
    // empty version is never newer, and nothing is newer than an empty running version.
    static bool isNewerVersion(const std::string& published, const std::string& running);
    // -1, 0 or 1 as a is older than, the same as or newer than b, by the rule above.
    static int compareVersions(const std::string& a, const std::string& b);

    static constexpr const char* kChecking = "Checking for update.";
    static constexpr const char* kServerBusy =
        "Server may be busy at this moment. Please try some time later.";
    static constexpr const char* kNewVersion =
        "New version available for update! Would you like to download and update?";
    static constexpr const char* kUpToDate = "Product is up to date.";
    static constexpr const char* kNoConnection =
        "There is no connection to the internet, so no update could be looked for. Please check "
        "the connection and try again.";

    // Whether the computer reaches the network at all, asked when the feed could not be read:
    // without a connection the user is told so rather than that the server is busy. By default,
    // whether the name of the feed's host resolves (false without a feed address or with a
    // placeholder one).
    std::function<bool()> connected;

private:
    std::string publishedVersion(std::stop_token stop);
    OptString downloadPage();
    std::string currentRunningVersion() const;

    BrimleyAppDelegate& record_;
    MainWindowActions& window_;
    MainThreadDispatcher& dispatcher_;
    UpdateUser& user_;
    PublishedVersion publishedVersion_;
    DownloadPage downloadPage_;

    std::mutex menuMutex_;  // guards menuCheck_ and menuRunning_
    bool menuRunning_ = false;
    std::jthread menuCheck_;
};

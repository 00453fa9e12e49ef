#pragma once

#include "app/MainWindow.h"
#include "app/UpdateCheck.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

class BrimleyAppDelegate;

// The main window of the headless front end: it prints instead of showing. Every status line
// is printed as it comes; while a scan runs, a progress line tells how long it has been
// running and how many records it has found so far; when the scan ends, the scan report's
// numbers are printed. The photo browser's lists are rebuilt as the window would, so that an
// export copies every photo and video the scan found.
//
// It is also the update check's user: a newer version is announced in a line with its
// download page; nothing is asked, opened or downloaded.
//
// Called on the main thread like any window; the progress line comes from a thread of its
// own, and both write through one lock.
class HeadlessWindow final : public SilentMainWindow, public UpdateUser {
public:
    struct Options {
        // Rewrite one progress line in place (a terminal); otherwise print it as a line of its
        // own at each interval (a log or a pipe).
        bool rewriteProgressLine = false;
        std::chrono::milliseconds progressInterval{5000};
    };
    // Answers an alert with the index of a button; none: the alert stays unanswered.
    using AlertPolicy = std::function<std::optional<std::size_t>(const AlertRequest&)>;

    HeadlessWindow(BrimleyAppDelegate& record, std::ostream& out, Options options);
    ~HeadlessWindow() override;
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;

    void updateStatus(std::int32_t code, const std::string& message) override;
    void updateDisplayName(const std::string& name) override;
    // The results screen starts the progress line, as it starts the window's countdown.
    void showScreen(ScreenState state) override;
    void stopCountdown() override;
    void OpenDashboard() override;
    void updatePhotosUI() override;
    void updateDatasource() override;
    // Prints the alert and the answer its policy gives.
    void runAlert(const AlertRequest& alert, std::function<void(std::size_t)> answered) override;
    // How alerts are answered; without a policy they stay unanswered.
    void setAlertPolicy(AlertPolicy policy);

    void newVersionAvailable(const std::string& version, const OptString& downloadPage) override;
    void showAlert(const std::string& message) override;
    // Answers "Cancel".
    bool askToUpdate(const std::string& message) override;
    // Prints the address instead.
    void openInBrowser(const std::string& address) override;

    // How many reports have been printed.
    int reportsShown() const { return reportsShown_.load(); }
    // The progress line as it would be printed now.
    std::string progressLine() const;

private:
    // The progress line; the caller holds outMutex_.
    std::string progressText() const;
    void startProgress();
    void stopProgress();
    void progressLoop(std::stop_token stop);
    // Writes whole lines, clearing a progress line shown in place first.
    void writeLines(const std::string& lines);

    BrimleyAppDelegate& record_;
    std::ostream& out_;
    const Options options_;

    mutable std::mutex outMutex_;
    bool progressShown_ = false;
    std::string lastStatus_;
    std::chrono::steady_clock::time_point scanStarted_{};

    std::mutex tickerMutex_;  // guards ticker_
    std::mutex waitMutex_;
    std::condition_variable_any tick_;
    std::jthread ticker_;

    std::atomic<int> reportsShown_{0};
    std::mutex policyMutex_;
    AlertPolicy alertPolicy_;
};

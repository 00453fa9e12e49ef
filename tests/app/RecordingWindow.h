#pragma once

#include "app/MainWindow.h"
#include "app/StatusLine.h"

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A window that notes every operation asked of it, in order, with the thread it came on.
class RecordingWindow : public MainWindowActions {
public:
    struct Call {
        std::string text;  // "showScreen 3", "updateStatus Retrieving  SMS", ...
        std::thread::id thread;
    };

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Call& c : calls()) out.push_back(c.text);
        return out;
    }
    // The status lines as the window would show them, in order.
    std::vector<std::string> statusLines() const {
        std::vector<std::string> out;
        const std::string prefix = "updateStatus ";
        for (const std::string& t : texts())
            if (t.rfind(prefix, 0) == 0) out.push_back(t.substr(prefix.size()));
        return out;
    }

    void updateUIfoundRecoveredData() override { note("updateUIfoundRecoveredData"); }
    void updatePhotosUI() override { note("updatePhotosUI"); }
    void showScreen(ScreenState s) override { note("showScreen " + std::to_string(ToCode(s))); }
    void updateStatus(std::int32_t code, const std::string& message) override {
        if (const OptString line = StatusLineText(code, message)) note("updateStatus " + *line);
    }
    void updateDisplayName(const std::string& name) override { note("updateDisplayName " + name); }
    void onTabSelectionChanged(TabTag t) override { note("onTabSelectionChanged " + tag(t)); }
    void onAppsSelectionChanged(TabTag t) override { note("onAppsSelectionChanged " + tag(t)); }
    void toogleChanged() override { note("toogleChanged"); }
    void markTabButtonSelected(TabTag t) override { note("markTabButtonSelected " + tag(t)); }
    void updateTabButtons() override { note("updateTabButtons"); }
    void refreshTabButtons() override { note("refreshTabButtons"); }
    void setTabButtonTitle() override { note("setTabButtonTitle"); }
    void removeSelection() override { note("removeSelection"); }
    void UpdateMainView() override { note("UpdateMainView"); }
    void redrawScreen(TabTag t) override { note("redrawScreen " + tag(t)); }
    void updateDatasource() override { note("updateDatasource"); }
    void showScanControls() override { note("showScanControls"); }
    void showResultsLayout() override { note("showResultsLayout"); }
    void restoreControlsAfterScan(bool restore) override {
        note(std::string("restoreControlsAfterScan ") + (restore ? "1" : "0"));
    }
    void stopCountdown() override { note("stopCountdown"); }
    void OpenDashboard() override { note("OpenDashboard"); }
    void clearScreens() override { note("clearScreens"); }
    void runAlert(const AlertRequest& alert, std::function<void(std::size_t)> answered) override {
        std::string buttons;
        for (const std::string& b : alert.buttons) buttons += (buttons.empty() ? "" : "|") + b;
        note("runAlert " + alert.message + " [" + buttons + "]");
        std::lock_guard lock(mutex_);
        pendingAnswers_.push_back(std::move(answered));
    }
    void returnMainScreen() override { note("returnMainScreen"); }
    void backUpFromDeviceComplete() override { note("backUpFromDeviceComplete"); }
    void deviceConnected() override { note("deviceConnected"); }
    void deviceDisconnected() override { note("deviceDisconnected"); }
    void recoverFromMac() override { note("recoverFromMac"); }
    void showRecoverView() override { note("showRecoverView"); }
    void fullRecover() override { note("fullRecover"); }
    void setAllButtonDisable() override { note("setAllButtonDisable"); }
    void hideImageView() override { note("hideImageView"); }

    // Presses a button of the oldest alert still open (on the caller's thread); false when none is.
    bool answerAlert(std::size_t button) {
        std::function<void(std::size_t)> answered;
        {
            std::lock_guard lock(mutex_);
            if (pendingAnswers_.empty()) return false;
            answered = std::move(pendingAnswers_.front());
            pendingAnswers_.erase(pendingAnswers_.begin());
        }
        answered(button);
        return true;
    }

private:
    static std::string tag(TabTag t) { return std::to_string(ToCode(t)); }
    void note(std::string text) {
        std::lock_guard lock(mutex_);
        calls_.push_back({std::move(text), std::this_thread::get_id()});
    }

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<std::function<void(std::size_t)>> pendingAnswers_;
};

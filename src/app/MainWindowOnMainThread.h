#pragma once

#include "app/MainThreadDispatcher.h"
#include "app/MainWindow.h"

#include <atomic>
#include <memory>

class BrimleyAppDelegate;

// The window as code on any thread may call it: each call is handed to the main thread.
// Calls that the caller depends on wait for the window (the screen change, which later tab
// switches test; the tab switch of a scan; the toggle), the others are queued and the caller
// goes on. The refresh after a carved record is queued once: while one waits for the main
// thread, further ones are folded into it. Attach it to the record (setWindow) so that the
// recovery threads reach the window through it too. The dispatcher must outlive it.
class MainWindowOnMainThread final : public MainWindowActions {
public:
    MainWindowOnMainThread(MainThreadDispatcher& dispatcher,
                           std::shared_ptr<MainWindowActions> window, BrimleyAppDelegate& record);

    // Waits.
    void showScreen(ScreenState state) override;
    void onAppsSelectionChanged(TabTag tab) override;
    void toogleChanged() override;

    // Queued.
    void updateUIfoundRecoveredData() override;
    void updatePhotosUI() override;
    void updateStatus(std::int32_t code, const std::string& message) override;
    void updateDisplayName(const std::string& name) override;
    void onTabSelectionChanged(TabTag tab) override;
    void markTabButtonSelected(TabTag tab) override;
    void updateTabButtons() override;
    void refreshTabButtons() override;
    void setTabButtonTitle() override;
    void removeSelection() override;
    void UpdateMainView() override;
    void redrawScreen(TabTag tab) override;
    void updateDatasource() override;
    void showScanControls() override;
    void showResultsLayout() override;
    void restoreControlsAfterScan(bool restoreAvailable) override;
    void stopCountdown() override;
    void OpenDashboard() override;
    void clearScreens() override;
    // The answer comes on the main thread.
    void runAlert(const AlertRequest& alert, std::function<void(std::size_t)> answered) override;
    void returnMainScreen() override;
    void backUpFromDeviceComplete() override;
    void deviceConnected() override;
    void deviceDisconnected() override;
    void recoverFromMac() override;
    void showRecoverView() override;
    void fullRecover() override;
    void setAllButtonDisable() override;
    void hideImageView() override;

private:
    template <class Call>
    void queued(Call call);
    template <class Call>
    void waited(Call call);

    MainThreadDispatcher& dispatcher_;
    std::shared_ptr<MainWindowActions> window_;
    BrimleyAppDelegate& record_;
    // Set while a refresh after a carved record waits for the main thread.
    std::shared_ptr<std::atomic<bool>> refreshPending_ = std::make_shared<std::atomic<bool>>(false);
};

#pragma once

#include "app/MainThreadDispatcher.h"
#include "app/MainWindow.h"

#include <memory>

class BrimleyAppDelegate;

// The window as code on any thread may call it: each call is handed to the main thread.
// Calls that the caller depends on wait for the window (the screen change, which later tab
// switches test; the tab switch of a scan; the toggle; the refresh after a carved record), the
// others are queued and the caller goes on. Attach it to the record (setWindow) so that the
// recovery threads reach the window through it too. The dispatcher must outlive it.
class MainWindowOnMainThread final : public MainWindowActions {
public:
    MainWindowOnMainThread(MainThreadDispatcher& dispatcher,
                           std::shared_ptr<MainWindowActions> window, BrimleyAppDelegate& record);

    // Waits.
    void showScreen(ScreenState state) override;
    void onAppsSelectionChanged(TabTag tab) override;
    void toogleChanged() override;
    void updateUIfoundRecoveredData() override;

    // Queued.
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
};

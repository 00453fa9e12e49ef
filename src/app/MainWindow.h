#pragma once

#include "app/WindowTypes.h"
#include "records/MainWindowRefresh.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A modal alert: its message, its informative text and its buttons, left to right.
struct AlertRequest {
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons;
};

// The main window as the application core sees it: every operation that the scan, the run of
// deleted records and the reading of device details ask of the window. The Qt window and the
// headless front end implement it.
//
// An implementation is called on the main thread only. Code on other threads reaches it
// through MainWindowOnMainThread, which hands each call to the main-thread dispatcher.
class MainWindowActions : public MainWindowRefresh {
public:
    // ---- Screens and texts ----
    // Shows the screen of the state; the record's PresentScreen already holds it (the caller,
    // MainWindowOnMainThread, stores it first). The results screen starts the scan countdown
    // when none runs.
    virtual void showScreen(ScreenState state) = 0;
    // The status line; the code picks the text (StatusLineText).
    virtual void updateStatus(std::int32_t code, const std::string& message) = 0;
    // The device-name label.
    virtual void updateDisplayName(const std::string& name) = 0;

    // ---- Tab bar and results area ----
    // Opens a tab from its tab button, as a click on it would.
    virtual void onTabSelectionChanged(TabTag tab) = 0;
    // Opens a tab from its icon control, as a click on it would.
    virtual void onAppsSelectionChanged(TabTag tab) = 0;
    // The existing/deleted toggle, pressed without a sender: the open screen shows all records.
    virtual void toogleChanged() = 0;
    // Marks the tab's icon control selected and enabled.
    virtual void markTabButtonSelected(TabTag tab) = 0;
    // Enables each tab whose data type has records.
    virtual void updateTabButtons() = 0;
    // Redraws every icon control from its state, then updateTabButtons().
    virtual void refreshTabButtons() = 0;
    // Puts the localised titles on the tab bar.
    virtual void setTabButtonTitle() = 0;
    // Unselects every tab and takes the open screen out of the results area.
    virtual void removeSelection() = 0;
    // Back to the messages tab once the media or internet-history recovery has ended.
    virtual void UpdateMainView() = 0;
    // Redraws the screen of a tab whose list has changed (when that screen exists).
    virtual void redrawScreen(TabTag tab) = 0;

    // ---- Photo browser (updatePhotosUI comes from MainWindowRefresh) ----
    // Reloads the photo grid from the record's AllPhotos.
    virtual void updateDatasource() = 0;

    // ---- A scan's controls, progress and report ----
    // A scan starts: the stop button, the scanning text and both progress bars show; export,
    // toggle and start controls hide; the dashboard and the menu are disabled.
    virtual void showScanControls() = 0;
    // The results layout of a scan: footer, progress region, icon bar, tab items and photo
    // browser shown, the photo grid (not the video view) in front.
    virtual void showResultsLayout() = 0;
    // A scan has ended (finished, cancelled or failed): the scan controls hide and the others
    // come back; the application button only when a restore is available.
    virtual void restoreControlsAfterScan(bool restoreAvailable) = 0;
    // Stops the scan countdown and the phase bar.
    virtual void stopCountdown() = 0;
    // Opens the scan report with the record's current counts.
    virtual void OpenDashboard() = 0;

    // ---- Clearing a scan ----
    // Empties the search field, forgets the open screen and drops every data-type screen and
    // the summary view, so that the next visit of a tab builds its screen anew.
    virtual void clearScreens() = 0;

    // ---- Alerts and the home screen, as the device flow uses them ----
    // Shows a modal alert; `answered` runs on the main thread with the index of the button the
    // user pressed. A window that cannot ask leaves the alert unanswered.
    virtual void runAlert(const AlertRequest& alert, std::function<void(std::size_t)> answered) = 0;
    // The home screen back at its first view (the choice between device and backup folder).
    virtual void returnMainScreen() = 0;
    // The device backup has ended and its scan starts.
    virtual void backUpFromDeviceComplete() = 0;
    // A named device arrived or left.
    virtual void deviceConnected() = 0;
    virtual void deviceDisconnected() = 0;
    // The home screen's backup-folder choice, its recovery view and its full recovery.
    virtual void recoverFromMac() = 0;
    virtual void showRecoverView() = 0;
    virtual void fullRecover() = 0;
    // Disables the tab controls.
    virtual void setAllButtonDisable() = 0;
    // Hides the results area's picture.
    virtual void hideImageView() = 0;
};

// A window that shows nothing: every operation does nothing. A front end derives from it and
// overrides what it shows; tests use it where the window does not matter.
class SilentMainWindow : public MainWindowActions {
public:
    void updateUIfoundRecoveredData() override {}
    void updatePhotosUI() override {}
    void showScreen(ScreenState) override {}
    void updateStatus(std::int32_t, const std::string&) override {}
    void updateDisplayName(const std::string&) override {}
    void onTabSelectionChanged(TabTag) override {}
    void onAppsSelectionChanged(TabTag) override {}
    void toogleChanged() override {}
    void markTabButtonSelected(TabTag) override {}
    void updateTabButtons() override {}
    void refreshTabButtons() override {}
    void setTabButtonTitle() override {}
    void removeSelection() override {}
    void UpdateMainView() override {}
    void redrawScreen(TabTag) override {}
    void updateDatasource() override {}
    void showScanControls() override {}
    void showResultsLayout() override {}
    void restoreControlsAfterScan(bool) override {}
    void stopCountdown() override {}
    void OpenDashboard() override {}
    void clearScreens() override {}
    void runAlert(const AlertRequest&, std::function<void(std::size_t)>) override {}
    void returnMainScreen() override {}
    void backUpFromDeviceComplete() override {}
    void deviceConnected() override {}
    void deviceDisconnected() override {}
    void recoverFromMac() override {}
    void showRecoverView() override {}
    void fullRecover() override {}
    void setAllButtonDisable() override {}
    void hideImageView() override {}
};

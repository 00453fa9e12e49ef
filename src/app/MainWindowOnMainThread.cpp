#include "app/MainWindowOnMainThread.h"

#include "records/BrimleyAppDelegate.h"

#include <utility>

MainWindowOnMainThread::MainWindowOnMainThread(MainThreadDispatcher& dispatcher,
                                               std::shared_ptr<MainWindowActions> window,
                                               BrimleyAppDelegate& record)
    : dispatcher_(dispatcher), window_(std::move(window)), record_(record) {}

// The window object is held by the queued work, so it outlives every call handed over. On the
// main thread itself the call runs at once, so that calls made there reach the window in the
// order they were made (a waited call runs at once there too).
template <class Call>
void MainWindowOnMainThread::queued(Call call) {
    if (dispatcher_.isMainThread()) {
        call(*window_);
        return;
    }
    dispatcher_.post([window = window_, call = std::move(call)] { call(*window); });
}

template <class Call>
void MainWindowOnMainThread::waited(Call call) {
    dispatcher_.postAndWait([window = window_, call = std::move(call)] { call(*window); });
}

void MainWindowOnMainThread::showScreen(ScreenState state) {
    // Stored before the hand-over: the tab switch that a scan makes next tests it.
    record_.PresentScreen = ToCode(state);
    waited([state](MainWindowActions& w) { w.showScreen(state); });
}

void MainWindowOnMainThread::onAppsSelectionChanged(TabTag tab) {
    waited([tab](MainWindowActions& w) { w.onAppsSelectionChanged(tab); });
}

void MainWindowOnMainThread::toogleChanged() {
    waited([](MainWindowActions& w) { w.toogleChanged(); });
}

void MainWindowOnMainThread::updateUIfoundRecoveredData() {
    // Carving threads call this for every record they list. The window reads the counts when the
    // refresh runs, so one refresh still waiting for the main thread shows every record listed
    // before it runs: a call while one waits adds none, and the carving never waits for the
    // window.
    if (refreshPending_->exchange(true)) return;
    dispatcher_.post([window = window_, pending = refreshPending_] {
        pending->store(false);
        window->updateUIfoundRecoveredData();
    });
}

void MainWindowOnMainThread::updatePhotosUI() {
    queued([](MainWindowActions& w) { w.updatePhotosUI(); });
}

void MainWindowOnMainThread::updateStatus(std::int32_t code, const std::string& message) {
    queued([code, message](MainWindowActions& w) { w.updateStatus(code, message); });
}

void MainWindowOnMainThread::updateDisplayName(const std::string& name) {
    queued([name](MainWindowActions& w) { w.updateDisplayName(name); });
}

void MainWindowOnMainThread::onTabSelectionChanged(TabTag tab) {
    queued([tab](MainWindowActions& w) { w.onTabSelectionChanged(tab); });
}

void MainWindowOnMainThread::markTabButtonSelected(TabTag tab) {
    queued([tab](MainWindowActions& w) { w.markTabButtonSelected(tab); });
}

void MainWindowOnMainThread::updateTabButtons() {
    queued([](MainWindowActions& w) { w.updateTabButtons(); });
}

void MainWindowOnMainThread::refreshTabButtons() {
    queued([](MainWindowActions& w) { w.refreshTabButtons(); });
}

void MainWindowOnMainThread::setTabButtonTitle() {
    queued([](MainWindowActions& w) { w.setTabButtonTitle(); });
}

void MainWindowOnMainThread::removeSelection() {
    queued([](MainWindowActions& w) { w.removeSelection(); });
}

void MainWindowOnMainThread::UpdateMainView() {
    queued([](MainWindowActions& w) { w.UpdateMainView(); });
}

void MainWindowOnMainThread::redrawScreen(TabTag tab) {
    queued([tab](MainWindowActions& w) { w.redrawScreen(tab); });
}

void MainWindowOnMainThread::updateDatasource() {
    queued([](MainWindowActions& w) { w.updateDatasource(); });
}

void MainWindowOnMainThread::showScanControls() {
    queued([](MainWindowActions& w) { w.showScanControls(); });
}

void MainWindowOnMainThread::showResultsLayout() {
    queued([](MainWindowActions& w) { w.showResultsLayout(); });
}

void MainWindowOnMainThread::restoreControlsAfterScan(bool restoreAvailable) {
    queued(
        [restoreAvailable](MainWindowActions& w) { w.restoreControlsAfterScan(restoreAvailable); });
}

void MainWindowOnMainThread::stopCountdown() {
    queued([](MainWindowActions& w) { w.stopCountdown(); });
}

void MainWindowOnMainThread::OpenDashboard() {
    queued([](MainWindowActions& w) { w.OpenDashboard(); });
}

void MainWindowOnMainThread::clearScreens() {
    queued([](MainWindowActions& w) { w.clearScreens(); });
}

void MainWindowOnMainThread::runAlert(const AlertRequest& alert,
                                      std::function<void(std::size_t)> answered) {
    queued([alert, answered = std::move(answered)](MainWindowActions& w) { w.runAlert(alert, answered); });
}

void MainWindowOnMainThread::returnMainScreen() {
    queued([](MainWindowActions& w) { w.returnMainScreen(); });
}

void MainWindowOnMainThread::backUpFromDeviceComplete() {
    queued([](MainWindowActions& w) { w.backUpFromDeviceComplete(); });
}

void MainWindowOnMainThread::deviceConnected() {
    queued([](MainWindowActions& w) { w.deviceConnected(); });
}

void MainWindowOnMainThread::deviceDisconnected() {
    queued([](MainWindowActions& w) { w.deviceDisconnected(); });
}

void MainWindowOnMainThread::recoverFromMac() {
    queued([](MainWindowActions& w) { w.recoverFromMac(); });
}

void MainWindowOnMainThread::showRecoverView() {
    queued([](MainWindowActions& w) { w.showRecoverView(); });
}

void MainWindowOnMainThread::fullRecover() {
    queued([](MainWindowActions& w) { w.fullRecover(); });
}

void MainWindowOnMainThread::setAllButtonDisable() {
    queued([](MainWindowActions& w) { w.setAllButtonDisable(); });
}

void MainWindowOnMainThread::hideImageView() {
    queued([](MainWindowActions& w) { w.hideImageView(); });
}

#pragma once

#include "app/MainWindow.h"
#include "app/ScanCountdown.h"
#include "app/UpdateCheck.h"
#include "export/ExportRun.h"
#include "export/MediaExporter.h"
#include "ui/ScreenFramework.h"
#include "ui/Screens.h"
#include "ui/TransferWindows.h"
#include "ui/UiTabs.h"

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <atomic>
#include <map>
#include <memory>
#include <thread>

class AnalyticsEvents;
class ApplicationCore;
class ApplicationShutdown;
class BannerView;
class BrimleyAppDelegate;
class DashboardWindowController;
class DeviceRecoveryFlow;
class HomeViewController;
class InfoReaderViewController;
class MainThreadDispatcher;
class MediaGrid;
class MediaGridModel;
class ResultsScreen;
class SMNSbutton;
class ThumbnailLoader;
class TimeOfUse;
class DeviceViewController;

// The main window: a frameless window with its own title bar (product, version, the device's
// name, the menu button, minimise and close), dragged by that bar. It holds the banner, the
// home screen, the busy panels of the start of a scan, and the results area: the icon bar of
// the nine data types, the tab buttons of the other screens with the search field and the
// existing/deleted toggle, the open screen (or the photo and video browser), the scan's
// progress and the footer's export controls.
//
// It is the window the application core drives (MainWindowActions) and the update check's
// user. Main thread only; other threads reach it through the core's main-thread wrapper.
class MainMenu : public QWidget, public MainWindowActions, public UpdateUser {
public:
    MainMenu(BrimleyAppDelegate& record, AnalyticsEvents& analytics, MainThreadDispatcher& dispatcher);
    ~MainMenu() override;

    // The core and the device flow, once they exist; the shutdown and the time of use for the
    // close button and the banner (optional).
    void attach(ApplicationCore& core, DeviceRecoveryFlow& flow, ApplicationShutdown* shutdown,
                TimeOfUse* timeOfUse);
    // The window's steps of start-up: menu and tab titles, branding, the banner, the home
    // screen shown last. Runs after the core's start-up.
    void windowStartup();
    // The main panel's picture: "ipad_gui.png" from programFolder when it reads as an image,
    // else the branded one.
    void showMainPanelImage();
    // The program's folder (where a custom panel picture may lie).
    QString programFolder;
    bool customPanelImage = false;

    // ---- MainWindowActions ----
    void updateUIfoundRecoveredData() override;
    void updatePhotosUI() override;
    void showScreen(ScreenState state) override;
    void updateStatus(std::int32_t code, const std::string& message) override;
    void updateDisplayName(const std::string& name) override;
    void onTabSelectionChanged(TabTag tab) override;
    void onAppsSelectionChanged(TabTag tab) override;
    // Flips the existing/deleted filter (the toggle button's action).
    void toogleChanged() override;
    // Sets the filter: the toggle is drawn so and the open screen or grid shows it.
    void setOnlyDeleted(bool onlyDeleted);
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

    // ---- UpdateUser ----
    void newVersionAvailable(const std::string& version, const OptString& downloadPage) override;
    void showAlert(const std::string& message) override;
    bool askToUpdate(const std::string& message) override;
    void openInBrowser(const std::string& address) override;

    // ---- Delegate operations of the window ----
    void showStartButton();
    void hideStartButton();
    void setMenuItemsName();
    void UpdateAllViewsOnLanguageChange();
    void search(const QString& text);
    // Empties the search field without a search.
    void clearSearchField();
    void MenuPressed();
    // Closes the menu; the focus, when it was in the menu, goes back to the menu button.
    void hideMenus();
    void setTabSelected(SMNSbutton* control);
    void timerRun();
    // The stop button: asks, then stops the scan or lets it go on.
    void btnCancle();
    // "Do you want to stop scanning?": whether the user said yes.
    bool askToStopScanning();
    // The photo browser's tick-all box and the photo export button.
    void tickAllCameraPhoto(bool on);
    void exportPhotos();
    // What became of one copy of photos or videos; run on the main thread after it.
    using CopyDone = std::function<void(const MediaExporter::Result&)>;
    // Copies the ticked photos (videos) of the grids into "Photos" ("Videos") of the folder; a
    // thread of its own does the copying, and `done` runs on the main thread after it.
    void exportPhotosToDirectory(const QString& folder, CopyDone done = {});
    void exportVideosToDirectory(const QString& folder, CopyDone done = {});
    // Copies all photos (videos) the grid shows, or only the ticked ones (photos: with those
    // selected in the grid), into "Photos" ("Videos") of the folder: the photo page's own
    // export, of what the page shows. Only ticked ones: no folder when none is ticked.
    void exportAllPhotosToDirectory(const QString& folder, bool onlyTicked, CopyDone done = {});
    void exportAllVideosToDirectory(const QString& folder, bool onlyTicked, CopyDone done = {});
    // Ticks every photo selected in the grid.
    void updatePhotosSelections();
    // The photo browser's caption: the deleted and existing photos listed, each of the number
    // found ("Showing 2/3 deleted photos & 4/5 existing photos.").
    void showPhotoCaption();
    // ---- The export to the computer ----
    // Opens the export dialog (closing one still open).
    void Export();
    // The three scopes of the dialog: everything, the ticked records (each into a new dated
    // folder in the location, on a thread of its own), the current tab (on the main thread,
    // into the location: the photos and videos straight away, a data type's file through a
    // save panel that opens there; a cancelled panel is told as nothing exported).
    void OnExportAllClick(const QString& location, const QString& extension);
    void OnExportTickedClick(const QString& location, const QString& extension);
    void OnExportClick(const QString& location, const QString& extension);
    void exportStart(const QString& location, const QString& extension);
    // Writes the current tab's file at the path; whether it was written.
    bool SaveCompleted(const QString& path);
    // Why an export may not write into the folder, in the chosen language: it is the scanned
    // backup's folder or lies inside it (also through links). Empty when it may.
    QString backupFolderRefusal(const QString& folder) const;
    // Says why (an alert) when the folder is refused; whether it was.
    bool refuseBackupFolder(const QString& folder);
    // Whether any record or picture that the ticked export writes is ticked.
    bool anythingTicked() const;
    // The panels the export uses; tests replace them. A folder (empty: cancelled), and a file
    // to save as in a folder with a proposed name (empty: cancelled).
    std::function<QString(const QString& message)> chooseFolder;
    std::function<QString(const QString& folder, const QString& proposedName)> chooseSaveFile;
    // ---- The send to the device ----
    // Opens the send-to-device wizard (closing one still open).
    void sendToApp();
    // What the wizard is given; tests adjust it before opening one.
    std::function<void(AppWindowController::Services&)> adjustSendServices;

    // ---- Openers ----
    void AboutWindow();
    void showLanWindow();
    void OnManualClick();
    void ShareBtnInMenu();
    void FeedbackBtnInMenu();
    void starFeedback(const QString& eventName);
    void showHintPopup();
    void GuideBtnInMenu();
    void OnSupportClick();
    void OnUpdateClick();
    // The new-scan question: backup-folder form, or device form.
    void Notification1();
    void Notification2();

    // ---- For the home screen ----
    BrimleyAppDelegate& record() { return record_; }
    AnalyticsEvents& analytics() { return analytics_; }
    ApplicationCore& core() { return *core_; }
    DeviceRecoveryFlow& flow() { return *flow_; }
    std::string mobileSyncFolder() const;
    // A modal alert on the main thread; returns the index of the button pressed. Escape (or
    // closing the alert) answers with the declining button (AlertEscapeButton); an alert that has
    // none answers nothing then: the number of its buttons.
    std::size_t alert(const AlertRequest& request);
    // Starts the scan worker on the record's backup folder with the data type.
    void startScan(DataType type);
    // An icon by name: the theme's icon of that name when the table knows one, else ours.
    QIcon icon(const QString& name) const;
    // The home screen; made on the first visit of the home state.
    InfoReaderViewController* homeScreen() const { return infoReaderViewController; }
    // Opens the backup folder as the browse choice does (the command line's folder).
    void openBackupFolder(const QString& folder);

    // ---- The window's frame ----
    // Maximises the window, or brings it back to its size before (the maximise button and a
    // double click on the title bar).
    void toggleMaximised();
    // Minimises this window (the minimise button, Ctrl+M, Ctrl+H).
    void Hide();
    // Minimises every other window of the program that is shown; this one stays (Ctrl+Alt+H).
    void HideOthers();
    // The window's answers: it takes the keyboard, is the program's main window, follows the
    // pointer (for its edges) and acts on the click that activates it.
    bool canBecomeKeyWindow() const { return true; }
    bool canBecomeMainWindow() const { return true; }
    bool acceptsMouseMovedEvents() const { return hasMouseTracking(); }
    bool acceptsFirstMouse() const { return !testAttribute(Qt::WA_ShowWithoutActivating); }
    // The edges of a window of the size that a point lies on, within the margin; none inside.
    static Qt::Edges resizeEdgesAt(const QSize& size, const QPoint& at, int margin);
    static constexpr int kResizeMargin = 5;

    // ---- What tests and the screenshots look at ----
    ResultsScreen* viewController() const { return viewController_; }
    ResultsScreen* screenOf(TabTag tab) const;
    SMNSbutton* iconControl(TabTag tab) const;
    QToolButton* tabButton(TabTag tab) const;
    QDialog* openDialog(const char* name) const;
    DashboardWindowController* dashboard() const;
    MediaGrid* photoGrid() const { return scrollViewPhoto3; }
    MediaGrid* videoGrid() const { return scrollViewVideo; }
    const ScanCountdown& countdown() const { return countdown_; }
    bool countdownRunning() const { return countdownTimer.isActive(); }
    BannerView* banner() const { return webview; }
    QDialog* exportDialog() const { return exportWindow.data(); }
    ExportProgressWindow* exportProgressWindow() const;
    AppWindowController* sendWizard() const;
    // How many exports, photo and video copies are still running.
    int exportsRunning() const { return exportsRunning_.load(); }
    // The threads of photo and video copies the window still holds.
    std::size_t copyThreads() const { return copies_.size(); }

    // Outlets of the window's regions.
    QLabel* lblPhotoCaption;
    QLabel *imgRecoveryPanel, *lblStatusBar, *lblDisplayname, *lblVersion, *lblProductName,
        *Timer, *recoveringText, *lblScanStatus, *showonlydeleteddata, *txtInformation;
    QWidget *viewRecovery, *imageView, *viewMainWindow, *childView, *titleBar;
    QProgressBar *progressIndicator, *progress1, *progress2;
    QPushButton *camera, *otherPictures, *btnStart, *btnExport, *btnApp, *stopRecovery,
        *btnExportPhotos, *btnNewScan;
    QFrame *boxIcons, *boxTabItems, *boxFooter, *boxProcess, *boxMenu;
    QPushButton *btnHelpMenu, *btnShare, *btnFeedBack, *btnAbout, *btnuserGuide,
        *btnChangLanguage, *btnUpdate;
    QToolButton *btnMenu, *btnMinimise, *btnMaximise, *btnClose, *changeView;
    QLineEdit* _searchField;
    QCheckBox* tickAllCameraPhoto_;
    MediaGrid *scrollViewPhoto3, *scrollViewVideo;
    BannerView* webview;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Results screen: Enter presses a focused button; on a list or a grid it shows the current
    // row's detail; elsewhere but in the search field it presses Export, the screen's default
    // button.
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What a panel or an alert opens over: the dialog of this window that is active, else this
    // window. And the focus given back to that dialog once the panel or alert has closed.
    QWidget* panelOwner() const;
    void returnFocusTo(QWidget* owner);
    // Whether the window may close: no scan runs, or the user agrees to stop it.
    bool mayCloseDuringScan();
    void buildTitleBar();
    void buildMenu();
    // A key on an entry of the open menu: Escape closes it, Enter opens the entry, Tab and the
    // arrows walk round the entries; whether the key was taken.
    bool menuKey(QPushButton* entry, QKeyEvent* key);
    void buildIconBar();
    void buildTabItems();
    void buildContent();
    void buildProgressAndFooter();
    void applyStyle();
    // The tab a scan shows while the user has chosen none: the first tab of the icon bar with
    // records; with none, the scan's own tab (the first for a scan of all types). And whether
    // the scan chooses now: it runs, and no tab was chosen.
    TabTag scanTab() const;
    bool scanChoosesTab() const;
    // Opens the screen of the tab now in tabItem; `iconPath`: from the icon bar.
    void openScreen(TabTag tab, bool iconPath, SMNSbutton* control);
    ResultsScreen* ensureScreen(TabTag tab);
    void putIntoChildView(QWidget* view);
    void takeFromChildView();
    template <class Dialog, class... Args>
    Dialog* openSingle(QPointer<QDialog>& field, Args&&... args);
    // The toggle's filter (record's onlyRecovered) applied to a screen just opened or to the
    // open one: a data-type screen, or with none the photo or video grid of the tab.
    void applyFilter(TabTag tab, ResultsScreen* screen);
    // The toggle drawn as the filter stands.
    void drawToggle();
    // The toggle and its label shown only where they filter something: on the photo and video
    // grids and on a screen of records that the toggle reaches; never while a scan runs.
    void showToggle();
    void reloadGrids();
    void copyMedia(const QString& folder, bool photos, bool onlyTicked, bool createWhenEmpty, CopyDone done);
    // The export's window over running copies of photos and videos, and at their end what they
    // copied into the folder; with `openFolder` the folder is opened when anything was copied.
    QPointer<ExportProgressWindow> openCopyWindow();
    void copiesEnded(const QString& folder, const std::vector<MediaExporter::Result>& results,
                     QPointer<ExportProgressWindow> window, bool openFolder);
    // Opens the export's window on what an export or a copy wrote and what it did not.
    void showExportReport(const ExportReport& report);
    // Starts an export of everything or of the ticked records on the export's thread.
    void startFolderExport(ExportScope scope, const QString& location, const QString& extension);
    ScreenHost screenHost();

    BrimleyAppDelegate& record_;
    AnalyticsEvents& analytics_;
    MainThreadDispatcher& dispatcher_;
    ApplicationCore* core_ = nullptr;
    DeviceRecoveryFlow* flow_ = nullptr;
    ApplicationShutdown* shutdown_ = nullptr;
    TimeOfUse* timeOfUse_ = nullptr;

    InfoReaderViewController* infoReaderViewController = nullptr;
    QPointer<ResultsScreen> viewController_;
    std::map<TabTag, QPointer<ResultsScreen>> screens_;
    std::map<TabTag, SMNSbutton*> iconControls_;
    std::map<TabTag, QLabel*> captions_;
    std::map<TabTag, QToolButton*> tabButtons_;
    QWidget* currentChild_ = nullptr;

    std::unique_ptr<ThumbnailLoader> thumbnails_;
    MediaGridModel* photoModel_ = nullptr;
    MediaGridModel* videoModel_ = nullptr;
    bool gridReloadPending_ = false;
    // The scan's controls are up (from showScanControls to restoreControlsAfterScan).
    bool scanControlsShown_ = false;
    // The user opened a tab since the scan began: the scan's steps no longer switch tabs.
    bool tabChosen_ = false;

    ScanCountdown countdown_;
    QTimer countdownTimer;

    QPointer<QDialog> abtWindow, lanWindow, manWindow, shareWindow, feedbackWindow,
        notification1Window, dbWindow, exportWindow, exportProgress, appWindow;
    std::vector<QPointer<QDialog>> starRatings_, hints_;

    QPoint dragOffset_;
    bool dragging_ = false;
    // An edge drag that the platform does not run itself: the edges, the pointer and the
    // geometry where it began.
    Qt::Edges resizing_;
    QPoint resizeStart_;
    QRect resizeGeometry_;
    std::atomic<int> exportsRunning_{0};
    std::unique_ptr<ExportRun> exportRun_;
    // The photo and video copies still running, each collected when its copy has ended.
    std::map<std::uint64_t, std::jthread> copies_;
    std::uint64_t nextCopy_ = 0;
    // The send-to-device wizard's threads.
    std::vector<std::jthread> sends_;
    bool clearingSearch_ = false;  // the field is being emptied by the window itself
};

template <class Dialog, class... Args>
Dialog* MainMenu::openSingle(QPointer<QDialog>& field, Args&&... args) {
    if (field) {
        field->close();
        field->deleteLater();
    }
    auto* dialog = new Dialog(std::forward<Args>(args)...);
    field = dialog;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

#include "ui/MainMenu.h"

#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/ApplicationShutdown.h"
#include "app/DataTypes.h"
#include "app/DeviceBackup.h"
#include "app/DeviceRecoveryFlow.h"
#include "app/MainThreadDispatcher.h"
#include "app/PhotoBrowserLists.h"
#include "app/ScanClearing.h"
#include "app/ScanWorker.h"
#include "app/StatusLine.h"
#include "app/TimeOfUse.h"
#include "common/AppPaths.h"
#include "config/ApplicationConfig.h"
#include "config/LanguageConfig.h"
#include "device/AMDevice.h"
#include "device/CompanionLibrary.h"
#include "device/MobileDeviceAccess.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/DeviceInfo.h"
#include "records/InternetHistory.h"
#include "records/Note.h"
#include "records/Photo.h"
#include "records/SMS.h"
#include "records/Video.h"
#include "records/WhatsApp.h"
#include "ui/BannerView.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/NamedWidgets.h"
#include "ui/OwnWidgets.h"
#include "ui/PhotoBrowser.h"
#include "ui/Screens.h"
#include "ui/TitleAdapters.h"
#include "ui/ToolkitTexts.h"
#include "ui/WindowStartup.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScopeGuard>
#include <QShortcut>
#include <QStackedLayout>
#include <QUrl>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

using TitleAdapters::ToQString;

using NamedWidgets::Texts;
using NamedWidgets::Named;

namespace {

QFrame* Box(QWidget* parent, const char* name) {
    return Named(new QFrame(parent), name);
}

// Tab leaves tables and text pages instead of walking their cells and links, so that every
// control of a screen is reached from the keyboard.
void LetTabLeaveViews(QWidget* root) {
    for (QAbstractItemView* view : root->findChildren<QAbstractItemView*>()) view->setTabKeyNavigation(false);
    for (QTextEdit* page : root->findChildren<QTextEdit*>()) page->setTabChangesFocus(true);
}

// Puts the controls of the view, in their own order, right after `after` in the window's tab
// order.
void PlaceInTabOrder(QWidget* after, QWidget* view) {
    std::vector<QWidget*> controls;
    for (QWidget* w = view->nextInFocusChain(); w && w != view; w = w->nextInFocusChain()) {
        if (!view->isAncestorOf(w)) continue;
        if (w->focusPolicy() & Qt::TabFocus) controls.push_back(w);
        if (controls.size() > 10000) break;
    }
    for (QWidget* control : controls) {
        QWidget::setTabOrder(after, control);
        after = control;
    }
}

}  // namespace

MainMenu::MainMenu(BrimleyAppDelegate& record, AnalyticsEvents& analytics,
                   MainThreadDispatcher& dispatcher)
    : QWidget(nullptr), record_(record), analytics_(analytics), dispatcher_(dispatcher) {
    setObjectName("MainMenu");
    // A window of our own drawing: its title bar, close and minimise buttons are ours.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Torvane"));
    setWindowIcon(icon("torvane"));
    resize(1120, 780);
    setMinimumSize(980, 700);
    thumbnails_ = std::make_unique<ThumbnailLoader>(dispatcher_, 128);
    programFolder = QApplication::applicationDirPath();

    // A thin border around the content takes the pointer for resizing at the edges.
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(kResizeMargin, kResizeMargin, kResizeMargin, kResizeMargin);
    root->setSpacing(0);
    setMouseTracking(true);
    buildTitleBar();
    root->addWidget(titleBar);
    webview = new BannerView(dispatcher_, this);
    webview->setFixedHeight(64);
    // Shown once a page has loaded.
    webview->hide();
    root->addWidget(webview);
    viewMainWindow = Named(new QWidget(this), "viewMainWindow");
    viewMainWindow->setAttribute(Qt::WA_StyledBackground);
    auto* main = new QVBoxLayout(viewMainWindow);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);
    root->addWidget(viewMainWindow, 1);
    buildIconBar();
    main->addWidget(boxIcons);
    buildTabItems();
    main->addWidget(boxTabItems);
    buildContent();
    buildProgressAndFooter();
    buildMenu();
    applyStyle();
    LetTabLeaveViews(this);

    countdownTimer.setInterval(1000);
    connect(&countdownTimer, &QTimer::timeout, this, [this] { timerRun(); });

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        if (_searchField->isVisible()) _searchField->setFocus();
    });
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_M), QKeySequence(Qt::CTRL | Qt::Key_H)}) {
        auto* minimise = new QShortcut(keys, this);
        connect(minimise, &QShortcut::activated, this, [this] { Hide(); });
    }
    auto* others = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_H), this);
    connect(others, &QShortcut::activated, this, [this] { HideOthers(); });
    auto* menu = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menu, &QShortcut::activated, this, [this] { MenuPressed(); });

    // A panel opened from a dialog belongs to that dialog, so the focus goes back to it.
    chooseFolder = [this](const QString& message) {
        const QPointer<QWidget> owner = panelOwner();
        const QString folder = QFileDialog::getExistingDirectory(owner, message, QDir::homePath());
        returnFocusTo(owner);
        return folder;
    };
    chooseSaveFile = [this](const QString& folder, const QString& proposedName) {
        const QPointer<QWidget> owner = panelOwner();
        QFileDialog panel(owner);
        const auto back = qScopeGuard([this, owner] { returnFocusTo(owner); });
        panel.setAcceptMode(QFileDialog::AcceptSave);
        panel.setDirectory(folder);
        panel.selectFile(proposedName);
        return panel.exec() == QDialog::Accepted && !panel.selectedFiles().isEmpty() ? panel.selectedFiles().front()
                                                                                     : QString();
    };
    setAllButtonDisable();
}

MainMenu::~MainMenu() {
    countdownTimer.stop();
    // The export's thread reads the record and reports to this window: it ends first.
    exportRun_.reset();
    for (auto& [id, copy] : copies_)
        if (copy.joinable()) copy.join();
    for (std::jthread& send : sends_)
        if (send.joinable()) send.join();
    thumbnails_.reset();
}

void MainMenu::attach(ApplicationCore& core, DeviceRecoveryFlow& flow, ApplicationShutdown* shutdown,
                      TimeOfUse* timeOfUse) {
    core_ = &core;
    flow_ = &flow;
    shutdown_ = shutdown;
    timeOfUse_ = timeOfUse;
}

std::string MainMenu::mobileSyncFolder() const {
    return core_ ? DeviceBackupSettings::fromConfiguration(core_->configuration()).mobileSyncFolder
                 : AppPaths::dataDirectory() + "/MobileSync/Backup";
}

QIcon MainMenu::icon(const QString& name) const {
    const QString file = QString::fromStdString(AppPaths::resourcesDirectory()) + "/icons/" + name + ".svg";
    for (const UiTab& tab : UiTabs())
        if (name == QLatin1String(tab.fallbackIcon))
            return QIcon::fromTheme(QString::fromLatin1(tab.themeIcon), QIcon(file));
    return QIcon(file);
}

// ---- Building the window ----

void MainMenu::buildMenu() {
    boxMenu = Box(this, "boxMenu");
    auto* layout = new QVBoxLayout(boxMenu);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(2);
    const auto entry = [&](const char* name, std::function<void()> action) {
        auto* button = Named(new QPushButton(boxMenu), name);
        button->setProperty("menuEntry", true);
        connect(button, &QPushButton::clicked, this, [this, action = std::move(action)] {
            hideMenus();
            action();
        });
        // Its keys: see menuKey.
        button->installEventFilter(this);
        layout->addWidget(button);
        return button;
    };
    btnHelpMenu = entry("btnHelpMenu", [this] { OnSupportClick(); });
    btnShare = entry("btnShare", [this] { ShareBtnInMenu(); });
    btnFeedBack = entry("btnFeedBack", [this] { FeedbackBtnInMenu(); });
    btnAbout = entry("btnAbout", [this] { AboutWindow(); });
    btnuserGuide = entry("btnuserGuide", [this] { GuideBtnInMenu(); });
    btnChangLanguage = entry("btnChangLanguage", [this] { showLanWindow(); });
    btnUpdate = entry("btnUpdate", [this] { OnUpdateClick(); });
    boxMenu->hide();
}

void MainMenu::buildIconBar() {
    boxIcons = Box(viewMainWindow, "boxIcons");
    auto* bar = new QHBoxLayout(boxIcons);
    bar->setContentsMargins(16, 8, 16, 6);
    bar->setSpacing(4);
    for (const UiTab& tab : UiTabs()) {
        if (!tab.caption) continue;
        auto* column = new QWidget(boxIcons);
        auto* layout = new QVBoxLayout(column);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        auto* control = new SMNSbutton(column);
        control->setObjectName(QStringLiteral("iconControl%1").arg(IconControlTag(tab.tab)));
        control->setProperty("tag", IconControlTag(tab.tab));
        auto* caption = new QLabel(column);
        caption->setObjectName(QStringLiteral("caption%1").arg(ToCode(tab.tab)));
        caption->setAlignment(Qt::AlignCenter);
        control->textField = caption;
        control->parentview = boxIcons;
        const QString image = QString::fromLatin1(tab.fallbackIcon);
        control->defaultImage = control->hoverImage = control->selectedImage = control->disableImage = image;
        control->imageForName = [this](const QString& name) { return icon(name); };
        layout->addWidget(control, 0, Qt::AlignHCenter);
        layout->addWidget(caption);
        bar->addWidget(column, 1);
        iconControls_[tab.tab] = control;
        captions_[tab.tab] = caption;
        const TabTag t = tab.tab;
        connect(control, &QToolButton::clicked, this, [this, t] {
            tabChosen_ = true;
            onAppsSelectionChanged(t);
        });
    }
}

void MainMenu::buildTabItems() {
    boxTabItems = Box(viewMainWindow, "boxTabItems");
    auto* row = new QHBoxLayout(boxTabItems);
    row->setContentsMargins(16, 6, 16, 6);
    for (const UiTab& tab : UiTabs()) {
        auto* button = new QToolButton(boxTabItems);
        button->setObjectName(QStringLiteral("tabButton%1").arg(ToCode(tab.tab)));
        button->setProperty("tag", ToCode(tab.tab));
        button->setIcon(icon(QString::fromLatin1(tab.fallbackIcon)));
        button->setIconSize(QSize(20, 20));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setProperty("bordered", true);
        tabButtons_[tab.tab] = button;
        const TabTag t = tab.tab;
        connect(button, &QToolButton::clicked, this, [this, t] {
            tabChosen_ = true;
            onTabSelectionChanged(t);
        });
        // The icon bar holds the nine data types; their tab buttons stay in the background.
        if (tab.caption) {
            button->hide();
            continue;
        }
        row->addWidget(button);
    }
    row->addStretch();
    _searchField = Named(new QLineEdit(boxTabItems), "_searchField");
    _searchField->setClearButtonEnabled(true);
    _searchField->setMinimumWidth(220);
    connect(_searchField, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!clearingSearch_) search(text);
    });
    showonlydeleteddata = Named(new QLabel(boxTabItems), "showonlydeleteddata");
    changeView = Named(new QToolButton(boxTabItems), "changeView");
    changeView->setCheckable(true);
    changeView->setIconSize(QSize(40, 22));
    changeView->setAutoRaise(true);
    changeView->setFocusPolicy(Qt::StrongFocus);
    connect(changeView, &QToolButton::clicked, this, [this] { toogleChanged(); });
    row->addWidget(_searchField);
    row->addSpacing(12);
    row->addWidget(showonlydeleteddata);
    row->addWidget(changeView);
}

void MainMenu::buildContent() {
    auto* content = Named(new QWidget(viewMainWindow), "content");
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    imgRecoveryPanel = Named(new QLabel(content), "imgRecoveryPanel");
    imgRecoveryPanel->setAlignment(Qt::AlignCenter);
    viewRecovery = Named(new QWidget(content), "viewRecovery");
    auto* recovery = new QVBoxLayout(viewRecovery);
    auto* loading = Named(new QLabel(viewRecovery), "loadingText");
    loading->setAlignment(Qt::AlignCenter);
    loading->setProperty("heading", true);
    recovery->addStretch();
    recovery->addWidget(loading);
    recovery->addStretch();
    lblStatusBar = Named(new QLabel(content), "lblStatusBar");
    lblStatusBar->setAlignment(Qt::AlignCenter);
    progressIndicator = Named(new QProgressBar(content), "progressIndicator");
    progressIndicator->setRange(0, 1);
    progressIndicator->setTextVisible(false);
    progressIndicator->setMaximumWidth(320);

    imageView = Named(new QWidget(content), "imageView");
    auto* media = new QVBoxLayout(imageView);
    media->setContentsMargins(16, 4, 16, 4);
    auto* header = new QHBoxLayout;
    camera = Named(new QPushButton(imageView), "camera");
    otherPictures = Named(new QPushButton(imageView), "otherPictures");
    tickAllCameraPhoto_ = Named(new QCheckBox(imageView), "tickAllCameraPhoto");
    btnExportPhotos = Named(new QPushButton(imageView), "btnExportPhotos");
    connect(tickAllCameraPhoto_, &QCheckBox::clicked, this, [this](bool on) { tickAllCameraPhoto(on); });
    connect(btnExportPhotos, &QPushButton::clicked, this, [this] { exportPhotos(); });
    lblPhotoCaption = Named(new QLabel(imageView), "lblPhotoCaption");
    header->addWidget(camera);
    header->addWidget(otherPictures);
    header->addSpacing(12);
    header->addWidget(lblPhotoCaption);
    header->addStretch();
    header->addWidget(tickAllCameraPhoto_);
    header->addWidget(btnExportPhotos);
    media->addLayout(header);
    photoModel_ = new MediaGridModel(record_, MediaGridModel::Kind::Photos, *thumbnails_, this);
    videoModel_ = new MediaGridModel(record_, MediaGridModel::Kind::Videos, *thumbnails_, this);
    scrollViewPhoto3 = Named(new MediaGrid(photoModel_, imageView), "scrollViewPhoto3");
    scrollViewVideo = Named(new MediaGrid(videoModel_, imageView), "scrollViewVideo");
    for (MediaGridModel* model : {photoModel_, videoModel_})
        connect(model, &MediaGridModel::itemTicked, this, [this] { tickAllCameraPhoto_->setChecked(false); });
    media->addWidget(scrollViewPhoto3, 1);
    media->addWidget(scrollViewVideo, 1);
    scrollViewVideo->hide();

    childView = Named(new QWidget(content), "childView");
    auto* child = new QVBoxLayout(childView);
    child->setContentsMargins(0, 0, 0, 0);
    txtInformation = Named(new QLabel(content), "txtInformation");
    txtInformation->hide();

    layout->addWidget(imgRecoveryPanel, 1);
    layout->addWidget(viewRecovery, 1);
    layout->addWidget(lblStatusBar);
    layout->addWidget(progressIndicator, 0, Qt::AlignHCenter);
    layout->addWidget(imageView, 1);
    layout->addWidget(childView, 1);
    static_cast<QVBoxLayout*>(viewMainWindow->layout())->addWidget(content, 1);
}

void MainMenu::buildProgressAndFooter() {
    boxProcess = Box(viewMainWindow, "boxProcess");
    auto* process = new QHBoxLayout(boxProcess);
    process->setContentsMargins(16, 6, 16, 6);
    recoveringText = Named(new QLabel(boxProcess), "recoveringText");
    lblScanStatus = Named(new QLabel(boxProcess), "lblScanStatus");
    lblScanStatus->setMinimumWidth(200);
    Timer = Named(new QLabel(boxProcess), "Timer");
    progress2 = Named(new QProgressBar(boxProcess), "progress2");
    progress2->setRange(0, static_cast<int>(ScanCountdown::kBarMaximum));
    progress2->setTextVisible(false);
    progress2->setFixedWidth(160);
    progress1 = Named(new QProgressBar(boxProcess), "progress1");
    progress1->setRange(0, 0);
    progress1->setTextVisible(false);
    progress1->setFixedWidth(80);
    stopRecovery = Named(new QPushButton(boxProcess), "stopRecovery");
    stopRecovery->setProperty("danger", true);
    connect(stopRecovery, &QPushButton::clicked, this, [this] { btnCancle(); });
    auto* texts = new QVBoxLayout;
    texts->setSpacing(0);
    texts->addWidget(recoveringText);
    texts->addWidget(lblScanStatus);
    process->addLayout(texts, 1);
    process->addWidget(Timer);
    process->addWidget(progress2);
    process->addWidget(progress1);
    process->addWidget(stopRecovery);
    static_cast<QVBoxLayout*>(viewMainWindow->layout())->addWidget(boxProcess);

    boxFooter = Box(viewMainWindow, "boxFooter");
    auto* footer = new QHBoxLayout(boxFooter);
    footer->setContentsMargins(16, 8, 16, 10);
    btnNewScan = Named(new QPushButton(boxFooter), "btnNewScan");
    connect(btnNewScan, &QPushButton::clicked, this, [this] {
        if (record_._RecoverType == 0) Notification2(); else Notification1();
    });
    btnStart = Named(new QPushButton(boxFooter), "btnStart");
    connect(btnStart, &QPushButton::clicked, this, [this] {
        if (record_.PresentScreen == ToCode(ScreenState::ScreenHome) && infoReaderViewController)
            infoReaderViewController->fullRecover();
    });
    btnStart->hide();
    btnExport = Named(new QPushButton(boxFooter), "btnExport");
    btnExport->setProperty("primary", true);
    connect(btnExport, &QPushButton::clicked, this, [this] { Export(); });
    btnApp = Named(new QPushButton(boxFooter), "btnApp");
    connect(btnApp, &QPushButton::clicked, this, [this] { sendToApp(); });
    btnApp->hide();
    footer->addWidget(btnNewScan);
    footer->addStretch();
    footer->addWidget(btnApp);
    footer->addWidget(btnExport);
    static_cast<QVBoxLayout*>(viewMainWindow->layout())->addWidget(boxFooter);
    QWidget::setTabOrder(btnApp, btnExport);
}

void MainMenu::applyStyle() {
    setStyleSheet(QStringLiteral(R"(
        QWidget#MainMenu { background: #17212b; }
        QWidget#viewMainWindow { background: #f4f6f9; }
        QWidget#titleBar { background: #17212b; }
        QWidget#titleBar QLabel { color: #e8edf2; }
        QLabel#lblProductName { font-size: 15pt; font-weight: bold; }
        QLabel#lblSKVersion { color: #8fa3b6; }
        QLabel#lblDisplayname { font-weight: bold; }
        QWidget#titleBar QToolButton { color: white; padding: 4px; border-radius: 4px; }
        QWidget#titleBar QToolButton:hover, QWidget#titleBar QToolButton:focus { background: #2b3b4b; }
        QTextBrowser#webview { background: #e6ecf2; border-bottom: 1px solid #cdd6df; }
        QFrame#boxIcons { background: #1f2a36; }
        QFrame#boxIcons QLabel { font-size: 9pt; }
        SMNSbutton { border: 2px solid transparent; border-radius: 8px; padding: 2px; }
        SMNSbutton[tabState="selected"] { background: #2f4254; }
        SMNSbutton:hover { background: #2a3a4a; }
        QFrame#boxTabItems { background: #e9eef3; border-bottom: 1px solid #d3dbe3; }
        QToolButton[bordered="true"] { border: 1px solid #b8c4cf; border-radius: 4px; padding: 3px; background: white; }
        QToolButton[bordered="false"] { border: none; padding: 4px; background: #cfe6f5; border-radius: 4px; }
        QFrame#boxProcess { background: #fff8e6; border-top: 1px solid #ecdcb0; }
        QFrame#boxFooter { background: #e9eef3; border-top: 1px solid #d3dbe3; }
        QFrame#boxMenu { background: #1f2a36; border: 1px solid #0e151c; border-radius: 6px; }
        QPushButton { background: #2b8fd0; border: 2px solid transparent; border-radius: 5px; padding: 6px 14px; color: white; min-height: 22px; }
        QPushButton:hover { background: #2ba0e1; }
        QPushButton:focus { outline: none; border-color: #0d4a73; }
        QPushButton:disabled { background: #9fb3c4; color: #e8eef3; }
        QPushButton[primary="true"] { background: #1d9a5b; font-weight: bold; }
        QPushButton[primary="true"]:hover { background: #22b069; }
        QPushButton[danger="true"] { background: #c94a3b; }
        QPushButton[menuEntry="true"] { background: transparent; text-align: left; padding: 6px 18px; }
        QPushButton[menuEntry="true"]:hover, QPushButton[menuEntry="true"]:focus { background: #2b3b4b; }
        QPushButton[link="true"] { background: transparent; padding: 0px; }
        QPushButton[iconOnly="true"] { background: transparent; padding: 2px; }
        QPushButton[mode="true"] { background: white; color: #1f2a36; border: 1px solid #b8c4cf; padding: 7px 15px; font-size: 11pt; }
        QPushButton[mode="true"]:checked { background: #d7ecfa; border: 2px solid #2b8fd0; padding: 6px 14px; font-weight: bold; }
        QPushButton[mode="true"]:focus { padding: 6px 14px; }
        QLabel[heading="true"] { font-size: 14pt; font-weight: bold; color: #1f2a36; }
        QLabel[good="true"] { color: #1d9a5b; font-weight: bold; }
        QLabel[dim="true"] { color: #5d6f80; }
        QLabel#lblStatusBar { font-size: 11pt; color: #1f2a36; }
        QLabel#Timer { color: #6b5a2b; }
        QProgressBar { border: 1px solid #b8c4cf; border-radius: 3px; background: white; max-height: 10px; }
        QProgressBar::chunk { background: #2ba0e1; }
        QToolButton:focus, QPushButton[mode="true"]:focus, QPushButton[link="true"]:focus,
        QPushButton[iconOnly="true"]:focus { border: 2px solid #2ba0e1; border-radius: 4px; }
        SMNSbutton:focus { border-radius: 8px; }
        QToolButton[bordered="true"]:focus, QToolButton[bordered="false"]:focus { padding: 2px; }
        QLineEdit:focus, QComboBox:focus, QAbstractItemView:focus, QTextBrowser:focus { border: 2px solid #2ba0e1; }
        QCheckBox:focus { color: #0d4a73; text-decoration: underline; }
    )"));
}

// ---- Screen states ----

void MainMenu::showScreen(ScreenState state) {
    const bool resultsAnew = state == ScreenState::ScreenResults &&
                             record_.PresentScreen != ToCode(ScreenState::ScreenResults);
    // The results are entered only as a scan begins: the last scan's screens, its open tab and
    // the tabs it offered go at once, so the new scan never opens or offers a tab of the last.
    if (resultsAnew) {
        clearScreens();
        for (auto& [tab, control] : iconControls_) {
            control->setIsSelected(false);
            control->setEnabled(false);
            control->refreshButtonView();
        }
    }
    record_.PresentScreen = ToCode(state);
    // The ratings of the results' exports do not outlast them.
    if (state != ScreenState::ScreenResults)
        for (const QPointer<QDialog>& rating : starRatings_)
            if (rating) rating->close();
    const int s = ToCode(state);
    if (s < 0 || s >= 5) return;
    const auto photos = [&](bool show) {
        imageView->setVisible(show);
        camera->setVisible(show);
        otherPictures->setVisible(show);
    };
    switch (state) {
        case ScreenState::ScreenInitial:
        case ScreenState::ScreenInitialLoading:
            imgRecoveryPanel->show();
            viewRecovery->hide();
            lblStatusBar->show();
            progressIndicator->show();
            progressIndicator->setRange(0, 0);
            photos(false);
            if (state == ScreenState::ScreenInitialLoading) btnStart->setEnabled(false);
            childView->hide();
            break;
        case ScreenState::ScreenLoading:
            imgRecoveryPanel->hide();
            viewRecovery->show();
            lblStatusBar->hide();
            progressIndicator->hide();
            progressIndicator->setRange(0, 1);
            photos(false);
            btnStart->setEnabled(false);
            childView->hide();
            break;
        case ScreenState::ScreenResults:
            if (!countdownTimer.isActive()) {
                countdown_.start();
                countdownTimer.start();
                record_.isDoingRecovery = true;
                progress2->setValue(0);
            }
            imgRecoveryPanel->hide();
            viewRecovery->hide();
            lblStatusBar->hide();
            progressIndicator->hide();
            progressIndicator->setRange(0, 1);
            btnStart->setEnabled(true);
            record_.onlyRecovered = true;
            drawToggle();
            // The results area never shows the home screen.
            if (currentChild_ && currentChild_ == infoReaderViewController) takeFromChildView();
            childView->show();
            for (QFrame* box : {boxIcons, boxTabItems, boxFooter}) box->show();
            childView->setMinimumHeight(0);
            break;
        case ScreenState::ScreenHome: {
            imgRecoveryPanel->hide();
            viewRecovery->hide();
            lblStatusBar->hide();
            progressIndicator->hide();
            progressIndicator->setRange(0, 1);
            photos(false);
            btnStart->setEnabled(true);
            for (QFrame* box : {boxIcons, boxTabItems, boxFooter, boxProcess}) box->hide();
            viewMainWindow->show();
            btnStart->setEnabled(true);
            takeFromChildView();
            if (!infoReaderViewController) infoReaderViewController = new InfoReaderViewController(*this, childView);
            putIntoChildView(infoReaderViewController);
            childView->show();
            infoReaderViewController->enableActions(true);
            lblDisplayname->clear();
            infoReaderViewController->updateUI();
            break;
        }
    }
}

void MainMenu::showStartButton() {
    btnStart->setEnabled(true);
    btnStart->show();
}

void MainMenu::hideStartButton() {
    btnStart->hide();
}

void MainMenu::setAllButtonDisable() {
    for (auto& [tab, control] : iconControls_) {
        control->setEnabled(false);
        control->setIsSelected(false);
    }
    refreshTabButtons();
}

void MainMenu::hideImageView() {
    imageView->hide();
}

// ---- Status line and countdown ----

void MainMenu::updateStatus(std::int32_t code, const std::string& message) {
    const OptString text = StatusLineText(code, message);
    if (!text) return;
    lblStatusBar->setText(QString::fromStdString(*text));
    lblScanStatus->setText(QString::fromStdString(*text));
}

void MainMenu::timerRun() {
    static const ScanProgress nothingYet;
    const ScanProgress& progress = core_ ? core_->scanWorker().progress() : nothingYet;
    const ScanCountdown::Tick tick =
        countdown_.timerRun(progress, ScanProgress::Clock::now(), !progress2->isHidden());
    if (tick.label) Timer->setText(QString::fromStdString(*tick.label));
    progress2->setValue(static_cast<int>(tick.bar));
}

void MainMenu::stopCountdown() {
    countdownTimer.stop();
    record_.isDoingRecovery = false;
    for (QWidget* w : std::initializer_list<QWidget*>{Timer, progress1, progress2, recoveringText, stopRecovery})
        w->hide();
}

void MainMenu::updateDisplayName(const std::string& name) {
    lblDisplayname->setText(QString::fromStdString(name));
}

// ---- Tab bar ----

void MainMenu::refreshTabButtons() {
    for (auto& [tab, control] : iconControls_) control->refreshButtonView();
    updateTabButtons();
}

void MainMenu::updateTabButtons() {
    for (auto& [tab, control] : iconControls_) {
        const UiTab* entry = UiTabFor(tab);
        // The open tab shows as chosen, also before anything was found for it.
        control->setEnabled(HasRecords(*entry, record_) || (control->isSelected && record_.tabItem == ToCode(tab)));
        control->refreshButtonView();
    }
    for (auto& [tab, button] : tabButtons_) {
        const UiTab* entry = UiTabFor(tab);
        if (entry->caption) continue;
        // Screens that no scan fills show only while they have something to show, rather
        // than standing grey for good.
        if (tab == TabTag::TabTagDashboard || tab == TabTag::TabTagDeviceInfo) {
            button->setEnabled(true);
        } else {
            const bool filled = HasRecords(*entry, record_);
            button->setEnabled(filled);
            button->setVisible(filled);
        }
    }
}

void MainMenu::setTabSelected(SMNSbutton* control) {
    bool known = false;
    for (auto& [tab, c] : iconControls_) known = known || c == control;
    if (known)
        for (auto& [tab, c] : iconControls_) c->setIsSelected(c == control);
    refreshTabButtons();
}

void MainMenu::markTabButtonSelected(TabTag tab) {
    // During a scan the tab marked is the one it shows, or the one the user chose.
    if (scanControlsShown_ && tabChosen_) return;
    if (scanChoosesTab()) tab = scanTab();
    auto it = iconControls_.find(tab);
    if (it == iconControls_.end()) return;
    it->second->setEnabled(true);
    setTabSelected(it->second);
}

void MainMenu::removeSelection() {
    for (auto& [tab, control] : iconControls_) {
        // A tab is offered when its data type has records, the photos and videos too.
        control->setIsSelected(false);
        control->setEnabled(HasRecords(*UiTabFor(tab), record_));
        control->refreshButtonView();
    }
    for (auto& [tab, button] : tabButtons_) {
        button->setProperty("bordered", true);
        button->style()->unpolish(button);
        button->style()->polish(button);
    }
    // Taken out once the main thread runs its queue again, so a screen added right after is
    // added while the old one is still there.
    QTimer::singleShot(0, this, [this, old = QPointer<QWidget>(currentChild_)] {
        if (old && old == currentChild_ && old != infoReaderViewController &&
            record_.PresentScreen == ToCode(ScreenState::ScreenResults) && !viewController_)
            takeFromChildView();
    });
    if (currentChild_) takeFromChildView();
}

// ---- Screen switching ----

void MainMenu::putIntoChildView(QWidget* view) {
    if (currentChild_ == view) {
        view->show();
        return;
    }
    takeFromChildView();
    childView->layout()->addWidget(view);
    LetTabLeaveViews(view);
    // A screen comes after the search field and the toggle, before the footer.
    PlaceInTabOrder(changeView, view);
    view->show();
    currentChild_ = view;
}

void MainMenu::takeFromChildView() {
    if (!currentChild_) return;
    childView->layout()->removeWidget(currentChild_);
    currentChild_->hide();
    currentChild_ = nullptr;
}

ResultsScreen* MainMenu::screenOf(TabTag tab) const {
    auto it = screens_.find(tab);
    return it == screens_.end() ? nullptr : it->second.data();
}

SMNSbutton* MainMenu::iconControl(TabTag tab) const {
    auto it = iconControls_.find(tab);
    return it == iconControls_.end() ? nullptr : it->second;
}

QToolButton* MainMenu::tabButton(TabTag tab) const {
    auto it = tabButtons_.find(tab);
    return it == tabButtons_.end() ? nullptr : it->second;
}

ResultsScreen* MainMenu::ensureScreen(TabTag tab) {
    if (ResultsScreen* existing = screenOf(tab)) return existing;
    const UiTab* entry = UiTabFor(tab);
    if (!entry) return nullptr;
    ResultsScreen* screen = nullptr;
    switch (entry->kind) {
        case ScreenKind::DataList:
            if (!entry->make) return nullptr;
            screen = entry->make(screenHost(), childView);
            break;
        case ScreenKind::DeviceDetails:
            screen = new DeviceViewController(record_, childView);
            break;
        case ScreenKind::Summary:
            screen = new HomeViewController(record_, [this](TabTag t) {
                tabChosen_ = true;
                onTabSelectionChanged(t);
            }, childView);
            break;
        case ScreenKind::Applications:
            screen = ::ApplicationViewController(record_, childView);
            break;
        case ScreenKind::UserDictionary:
            screen = ::UserDataViewController(record_, childView);
            break;
        case ScreenKind::PhotoBrowser:
        case ScreenKind::VideoBrowser:
            return nullptr;
    }
    screen->hide();
    screens_[tab] = screen;
    return screen;
}

void MainMenu::openScreen(TabTag tab, bool iconPath, SMNSbutton* control) {
    const UiTab* entry = UiTabFor(tab);
    if (!entry) return;
    const bool media = entry->kind == ScreenKind::PhotoBrowser || entry->kind == ScreenKind::VideoBrowser;
    imageView->setVisible(media);
    if (!iconPath) {
        if (QToolButton* button = tabButton(tab)) {
            button->setProperty("bordered", false);
            button->style()->unpolish(button);
            button->style()->polish(button);
        }
    } else if (control) {
        control->setIsSelected(true);
    }
    if (auto it = captions_.find(tab); it != captions_.end())
        it->second->setStyleSheet(QStringLiteral("color: #3ccf6e;"));
    const bool changesController = tab != TabTag::TabTagSkype && tab != TabTag::TabTagIMessage &&
                                   !(tab == TabTag::TabTagFaceTime && !iconPath);
    if (!media) {
        ResultsScreen* screen = ensureScreen(tab);
        if (screen) {
            if (auto* table = dynamic_cast<RecordTableScreen*>(screen)) table->reload();
            putIntoChildView(screen);
            if (changesController) viewController_ = screen;
        }
        const bool searchShown = tab != TabTag::TabTagDeviceInfo && tab != TabTag::TabTagDashboard;
        if (changesController) {
            clearSearchField();
            _searchField->setVisible(searchShown);
        }
        if (tab == TabTag::TabTagDeviceInfo)
            if (auto* device = dynamic_cast<DeviceViewController*>(screen)) device->update();
        if (tab == TabTag::TabTagDashboard) {
            if (auto* summary = dynamic_cast<HomeViewController*>(screen)) summary->Display();
            if (iconPath) txtInformation->clear();
        }
        // Whichever way it was opened, the screen shows what the toggle says.
        if (screen) applyFilter(tab, screen);
        showToggle();
        childView->show();
        return;
    }
    takeFromChildView();
    childView->hide();
    clearSearchField();
    _searchField->hide();
    lblPhotoCaption->setVisible(entry->kind == ScreenKind::PhotoBrowser);
    if (entry->kind == ScreenKind::PhotoBrowser) {
        scrollViewVideo->hide();
        scrollViewPhoto3->show();
        showPhotoCaption();
    } else {
        scrollViewPhoto3->hide();
        scrollViewVideo->show();
    }
    viewController_ = nullptr;
    applyFilter(tab, nullptr);
    drawToggle();
    showToggle();
}

TabTag MainMenu::scanTab() const {
    for (const UiTab& tab : UiTabs())
        if (tab.caption && HasRecords(tab, record_)) return tab.tab;
    // Nothing found yet: a scan of one data type shows its own tab, a scan of all the first.
    const std::optional<DataType> scanned = record_.scannedDataType.get();
    if (scanned && *scanned != DataType::DataTypeAll) return static_cast<TabTag>(record_.buttonType.load());
    return UiTabs().front().tab;
}

bool MainMenu::scanChoosesTab() const {
    return scanControlsShown_ && !tabChosen_;
}

void MainMenu::onAppsSelectionChanged(TabTag tab) {
    hideMenus();
    // The scan's own steps ask for its tab; while the user has chosen none, the window shows
    // the one with results.
    if (scanChoosesTab()) tab = scanTab();
    if (record_.PresentScreen != ToCode(ScreenState::ScreenResults) || record_.tabItem == ToCode(tab)) return;
    removeSelection();
    record_.tabItem = ToCode(tab);
    SMNSbutton* control = iconControl(tab);
    openScreen(tab, true, control);
    setTabSelected(control);
}

void MainMenu::onTabSelectionChanged(TabTag tab) {
    if (scanChoosesTab()) tab = scanTab();
    if (record_.PresentScreen != ToCode(ScreenState::ScreenResults) || record_.tabItem == ToCode(tab)) return;
    removeSelection();
    // The tab bar's WhatsApp button makes the chat screen anew each time.
    if (tab == TabTag::TabTagWhatsApp) {
        if (auto it = screens_.find(tab); it != screens_.end()) {
            if (it->second) {
                if (currentChild_ == it->second) takeFromChildView();
                it->second->deleteLater();
            }
            screens_.erase(it);
        }
    }
    record_.tabItem = ToCode(tab);
    openScreen(tab, false, nullptr);
    if (SMNSbutton* control = iconControl(tab)) setTabSelected(control);
}

void MainMenu::updateUIfoundRecoveredData() {
    if (record_.PresentScreen != ToCode(ScreenState::ScreenResults)) return;
    // A tab the user opened stays open; otherwise the first tab with results is shown.
    if (!tabChosen_) onAppsSelectionChanged(scanTab());
    updateTabButtons();
}

void MainMenu::UpdateMainView() {
    // A tab the user opened during the scan stays open, showing what the scan found so far;
    // without a choice, the first tab with results.
    const auto open = static_cast<TabTag>(record_.tabItem.load());
    if (!tabChosen_ && scanTab() != open) {
        onAppsSelectionChanged(scanTab());
        updateTabButtons();
        return;
    }
    if (open == TabTag::TabTagPhotos || open == TabTag::TabTagVideos)
        applyFilter(open, nullptr);
    else
        redrawScreen(open);
    updateTabButtons();
}

void MainMenu::redrawScreen(TabTag tab) {
    ResultsScreen* screen = screenOf(tab);
    if (!screen) return;
    // A screen that filters reads its lists again under the toggle's filter.
    if (screen->respondsToToggleBack() && screen->respondsToToggleChanged())
        applyFilter(tab, screen);
    else
        screen->redraw();
}

void MainMenu::clearScreens() {
    clearSearchField();
    if (currentChild_ != infoReaderViewController) takeFromChildView();
    viewController_ = nullptr;
    const bool hadScreens = !screens_.empty();
    for (auto& [tab, screen] : screens_)
        if (screen) screen->deleteLater();
    screens_.clear();
    record_.tabItem = 0;
    showToggle();
    // The screens held the last scan's rows; once they are gone, what they took goes back to
    // the system, as the scan's own records do when it clears them.
    if (hadScreens)
        QTimer::singleShot(0, this, [] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ReleaseFreedMemory();
        });
}

// ---- Search and toggle ----

void MainMenu::clearSearchField() {
    // Not with the field's signals blocked: its clear button goes with the text only when the
    // field's own handler of the change runs.
    clearingSearch_ = true;
    _searchField->clear();
    clearingSearch_ = false;
}

void MainMenu::search(const QString& text) {
    if (viewController_ && viewController_->respondsToFind()) viewController_->find(text);
}

void MainMenu::applyFilter(TabTag tab, ResultsScreen* screen) {
    const bool onlyDeleted = record_.onlyRecovered;
    if (screen) {
        if (onlyDeleted && screen->respondsToToggleBack()) screen->toggleBack();
        if (!onlyDeleted && screen->respondsToToggleChanged()) screen->toggleChanged();
        return;
    }
    if (tab == TabTag::TabTagPhotos) {
        PhotoBrowserLists::updatePhotos(record_, onlyDeleted);
        reloadGrids();
        showPhotoCaption();
    } else if (tab == TabTag::TabTagVideos) {
        PhotoBrowserLists::updateVideos(record_, onlyDeleted);
        reloadGrids();
    }
}

void MainMenu::drawToggle() {
    const bool onlyDeleted = record_.onlyRecovered;
    changeView->setChecked(onlyDeleted);
    changeView->setIcon(icon(onlyDeleted ? "toggle-on" : "toggle-off"));
}

void MainMenu::showToggle() {
    const UiTab* entry = UiTabFor(static_cast<TabTag>(record_.tabItem.load()));
    const bool grid = !viewController_ && entry &&
                      (entry->kind == ScreenKind::PhotoBrowser || entry->kind == ScreenKind::VideoBrowser);
    // A screen shown without taking the toggle over (the tab bar's iMessage, Skype, FaceTime)
    // is not reached by it.
    const bool screen = viewController_ && viewController_ == currentChild_ &&
                        viewController_->respondsToToggleBack() && viewController_->respondsToToggleChanged();
    const bool shown = (grid || screen) && !scanControlsShown_;
    changeView->setVisible(shown);
    showonlydeleteddata->setVisible(shown);
}

void MainMenu::setOnlyDeleted(bool onlyDeleted) {
    record_.onlyRecovered = onlyDeleted;
    drawToggle();
    const auto tab = static_cast<TabTag>(record_.tabItem.load());
    if (viewController_)
        applyFilter(tab, viewController_);
    else if (tab == TabTag::TabTagPhotos || tab == TabTag::TabTagVideos)
        applyFilter(tab, nullptr);
}

void MainMenu::toogleChanged() {
    hideMenus();
    setOnlyDeleted(!record_.onlyRecovered);
}

void MainMenu::MenuPressed() {
    if (boxMenu->isVisible()) {
        boxMenu->hide();
        return;
    }
    boxMenu->adjustSize();
    const QPoint at = btnMenu->mapTo(this, QPoint(btnMenu->width(), btnMenu->height()));
    boxMenu->move(std::max(0, at.x() - boxMenu->width()), at.y() + 2);
    boxMenu->show();
    boxMenu->raise();
    btnHelpMenu->setFocus();
}

void MainMenu::hideMenus() {
    // The keyboard goes back to the menu button, not into whatever the focus chain reaches.
    const bool hadFocus = boxMenu->isVisible() && boxMenu->isAncestorOf(QApplication::focusWidget());
    boxMenu->hide();
    if (hadFocus && btnMenu->isVisible()) btnMenu->setFocus(Qt::OtherFocusReason);
}

bool MainMenu::menuKey(QPushButton* entry, QKeyEvent* key) {
    switch (key->key()) {
        case Qt::Key_Escape:
            hideMenus();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            entry->click();
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Down:
        case Qt::Key_Up: {
            // The focus walks round the menu's entries; it never leaves the open menu.
            std::vector<QPushButton*> entries;
            for (QPushButton* b : {btnHelpMenu, btnShare, btnFeedBack, btnAbout, btnuserGuide, btnChangLanguage, btnUpdate})
                if (b->isVisibleTo(boxMenu) && b->isEnabled()) entries.push_back(b);
            const auto at = std::find(entries.begin(), entries.end(), entry);
            if (entries.empty() || at == entries.end()) return true;
            const bool back = key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Up ||
                              (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier));
            const std::size_t i = static_cast<std::size_t>(at - entries.begin());
            const std::size_t next = back ? (i + entries.size() - 1) % entries.size() : (i + 1) % entries.size();
            entries[next]->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
            return true;
        }
        default:
            return false;
    }
}

AppWindowController* MainMenu::sendWizard() const {
    return static_cast<AppWindowController*>(appWindow.data());
}

// ---- The send to the device ----

void MainMenu::sendToApp() {
    hideMenus();
    AppWindowController::Services services;
    services.record = &record_;
    services.dispatcher = &dispatcher_;
    services.firstDevice = [this]() -> std::optional<std::string> {
        const auto access = record_.MobileDevice.get();
        if (!access) return std::nullopt;
        const auto devices = access->devices();
        if (devices.empty() || !devices.front()) return std::nullopt;
        return devices.front()->udid().value_or(std::string());
    };
    services.alert = [this](const AlertRequest& request) { alert(request); };
    services.publishButtonEvent = [this](const std::string& button) { analytics_.PublishButtonEvent(button); };
    services.rating = [this] {
        QTimer::singleShot(0, this, [this] { starFeedback(QStringLiteral("Rating - Export to device")); });
    };
    services.keepThread = [this](std::jthread thread) { sends_.push_back(std::move(thread)); };
    // A link that opens nothing says so, over the wizard.
    services.openAddress = [this](const QString& address) {
        Desktop::openOrTell(QUrl(address.trimmed(), QUrl::StrictMode), sendWizard(), address.trimmed());
    };
    services.folder = AppPaths::workingDirectory() + "/send";
    AppPaths::ensurePrivateDirectory(services.folder);
    services.library = CompanionLibraryPath();
    const ApplicationConfig configuration = ApplicationConfig::sharedObject();
    services.configuredBundle = configuration.appBundleIdentifier;
    services.storeAddress = ApplicationConfig::resolvedAddress(configuration.appStoreURL);
    if (adjustSendServices) adjustSendServices(services);
    openSingle<AppWindowController>(appWindow, std::move(services), this);
}

ScreenHost MainMenu::screenHost() {
    ScreenHost host;
    host.record = &record_;
    host.clearSearchField = [this] {
        clearSearchField();
    };
    host.openAddress = [](const QString& address) { Desktop::open(address); };
    host.filterChosen = [this](bool onlyDeleted) {
        record_.onlyRecovered = onlyDeleted;
        drawToggle();
    };
    return host;
}

// ---- Scan controls ----

void MainMenu::startScan(DataType type) {
    if (!core_) return;
    auto holder = std::make_shared<const dataTypeHolder>(type);
    if (!core_->scanWorker().start(std::move(holder)))
        alert({"A scan is already running.", "", {"OK"}});
}

void MainMenu::showScanControls() {
    for (QWidget* w : std::initializer_list<QWidget*>{stopRecovery, recoveringText, progress1, progress2, Timer, lblScanStatus, boxProcess})
        w->show();
    progress2->setValue(0);
    Timer->clear();
    scanControlsShown_ = true;
    tabChosen_ = false;
    for (QWidget* w : std::initializer_list<QWidget*>{btnExport, changeView, showonlydeleteddata, btnStart, btnNewScan, btnApp})
        w->hide();
    if (QToolButton* dashboard = tabButton(TabTag::TabTagDashboard)) dashboard->setEnabled(false);
    btnMenu->setEnabled(false);
}

void MainMenu::showResultsLayout() {
    for (QWidget* w : std::initializer_list<QWidget*>{boxFooter, boxProcess, boxIcons, boxTabItems, imageView})
        w->show();
    scrollViewPhoto3->show();
    scrollViewVideo->hide();
}

void MainMenu::restoreControlsAfterScan(bool restoreAvailable) {
    for (QWidget* w : std::initializer_list<QWidget*>{stopRecovery, recoveringText, progress1, lblScanStatus})
        w->hide();
    scanControlsShown_ = false;
    for (QWidget* w : std::initializer_list<QWidget*>{btnExport, btnNewScan})
        w->show();
    showToggle();
    btnApp->setVisible(restoreAvailable);
    // The open screen shows every record the scan found, as the toggle filters them; a search
    // typed meanwhile stays.
    const QString searched = _searchField->text();
    setOnlyDeleted(record_.onlyRecovered);
    if (!searched.isEmpty() && !_searchField->isHidden()) _searchField->setText(searched);
    if (QToolButton* dashboard = tabButton(TabTag::TabTagDashboard)) dashboard->setEnabled(true);
    btnMenu->setEnabled(true);
    boxProcess->hide();
}

void MainMenu::btnCancle() {
    const bool stop = askToStopScanning();
    if (core_) core_->scanWorker().btnCancleClicked(stop);
}

bool MainMenu::askToStopScanning() {
    LanguageConfig& texts = Texts();
    QMessageBox question(QMessageBox::Question, QStringLiteral("Torvane"),
                         ToQString(texts.StopScanningDialogWindowMainText()), QMessageBox::NoButton, this);
    QPushButton* yes = question.addButton(ToQString(texts.CommonYes()), QMessageBox::YesRole);
    QPushButton* no = question.addButton(ToQString(texts.CommonNo()), QMessageBox::NoRole);
    question.setDefaultButton(no);
    question.setEscapeButton(no);
    question.setObjectName("stopQuestion");
    question.exec();
    return question.clickedButton() == yes;
}

// ---- Alerts ----

QWidget* MainMenu::panelOwner() const {
    QWidget* active = QApplication::activeModalWidget();
    if (!active) active = QApplication::activeWindow();
    if (!active || active == this || !active->isVisible()) return const_cast<MainMenu*>(this);
    // Only a window of ours: one whose chain of parents leads to this window.
    for (QWidget* w = active->parentWidget(); w; w = w->parentWidget())
        if (w == this) return active;
    return const_cast<MainMenu*>(this);
}

void MainMenu::returnFocusTo(QWidget* owner) {
    if (!owner || owner == this || !owner->isVisible()) return;
    owner->raise();
    owner->activateWindow();
}

std::size_t MainMenu::alert(const AlertRequest& request) {
    // An alert over a dialog belongs to it: once answered, the focus is back in the dialog.
    QWidget* owner = panelOwner();
    const auto back = qScopeGuard([this, owner = QPointer<QWidget>(owner)] { returnFocusTo(owner); });
    QMessageBox box(owner);
    box.setObjectName("alert");
    box.setWindowTitle(QStringLiteral("Torvane"));
    box.setText(QString::fromStdString(request.message));
    box.setInformativeText(QString::fromStdString(request.informativeText));
    box.setIcon(QMessageBox::Warning);
    // Enter answers with the first button; Escape only ever declines.
    const std::optional<std::size_t> declines = AlertEscapeButton(request.buttons);
    std::vector<QPushButton*> buttons;
    for (std::size_t i = 0; i < request.buttons.size(); ++i)
        buttons.push_back(box.addButton(QString::fromStdString(request.buttons[i]),
                                        i == declines ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
    if (buttons.empty()) buttons.push_back(box.addButton(QMessageBox::Ok));
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(declines || request.buttons.empty() ? buttons[declines.value_or(0)] : nullptr);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i]) return i;
    // Closed without a button: the declining answer, else none of the buttons.
    return declines.value_or(request.buttons.empty() ? 0 : buttons.size());
}

void MainMenu::runAlert(const AlertRequest& request, std::function<void(std::size_t)> answered) {
    const std::size_t answer = alert(request);
    if (answered && answer < request.buttons.size()) answered(answer);
}

// ---- Home screen forwarding ----

void MainMenu::returnMainScreen() {
    if (infoReaderViewController) infoReaderViewController->returnMainScreen();
}
void MainMenu::backUpFromDeviceComplete() {
    if (infoReaderViewController) infoReaderViewController->backUpFromDeviceComplete();
}
void MainMenu::deviceConnected() {
    if (infoReaderViewController) infoReaderViewController->deviceConnected();
}
void MainMenu::deviceDisconnected() {
    if (infoReaderViewController) infoReaderViewController->deviceDisconnected();
}
void MainMenu::recoverFromMac() {
    if (infoReaderViewController) infoReaderViewController->recoverFromMac();
}
void MainMenu::showRecoverView() {
    if (infoReaderViewController) infoReaderViewController->showRecoverView();
}
void MainMenu::fullRecover() {
    if (infoReaderViewController) infoReaderViewController->fullRecover();
}

void MainMenu::openBackupFolder(const QString& folder) {
    if (!infoReaderViewController) showScreen(ScreenState::ScreenHome);
    infoReaderViewController->findBackup(folder);
}

// ---- Openers ----

void MainMenu::AboutWindow() {
    hideMenus();
    openSingle<::AboutWindow>(abtWindow, record_, this);
}

void MainMenu::OnManualClick() {
    openSingle<Manual>(manWindow, this);
}

void MainMenu::ShareBtnInMenu() {
    hideMenus();
    openSingle<ShareWindowController>(shareWindow, this);
}

void MainMenu::FeedbackBtnInMenu() {
    hideMenus();
    openSingle<FeedbackWindowController>(feedbackWindow, this);
    analytics_.publishMessageEvent("Feedback - Pressed");
}

void MainMenu::starFeedback(const QString& eventName) {
    auto* window = new StarFeedbackWindow(analytics_, QString::fromStdString(record_.SupportURL.get()), this);
    window->mixpanelMsg = eventName;
    if (eventName == QLatin1String("Rating - Export to Computer")) window->completeLabel->setText(ToQString(LanguageConfig::sharedObject().ExportComplete().value_or("Export Complete")));
    starRatings_.push_back(window);
    window->show();
}

void MainMenu::showHintPopup() {
    auto* window = new showHintWindowController(this);
    hints_.push_back(window);
    window->show();
    analytics_.PublishButtonEvent("Connect Device - Button Troubleshooting");
}

void MainMenu::GuideBtnInMenu() {
    hideMenus();
    const OptString guide = ApplicationConfig::resolvedAddress(ApplicationConfig::sharedObject().userGuideUrl);
    const QString address = ToQString(guide);
    Desktop::openOrTell(QUrl(address.trimmed(), QUrl::StrictMode), this, address);
}

void MainMenu::OnSupportClick() {
    hideMenus();
    const QString address = QString::fromStdString(record_.SupportURL.get());
    Desktop::openOrTell(QUrl(address.trimmed(), QUrl::StrictMode), this, address);
}

void MainMenu::Notification1() {
    hideMenus();
    if (notification1Window) notification1Window->close();
    openSingle<Notification1WindowController>(notification1Window, [this](bool device) {
        if (!flow_) return;
        if (device) {
            flow_->homeDevicePressed();
            analytics_.PublishButtonEvent("Back to recovery from device");
        } else {
            flow_->homeBackupPressed();
            analytics_.PublishButtonEvent("Back to recovery from backups");
        }
    }, this);
}

void MainMenu::Notification2() {
    Notification1();
    if (auto* dialog = qobject_cast<QDialog*>(notification1Window.data()))
        static_cast<Notification1WindowController*>(dialog)->settingDeviceMessage();
}

void MainMenu::OpenDashboard() {
    hideMenus();
    openSingle<DashboardWindowController>(dbWindow, record_, this);
}

QDialog* MainMenu::openDialog(const char* name) const {
    for (QDialog* dialog : findChildren<QDialog*>(QString::fromLatin1(name)))
        if (dialog->isVisible()) return dialog;
    return nullptr;
}

DashboardWindowController* MainMenu::dashboard() const {
    return static_cast<DashboardWindowController*>(dbWindow.data());
}

// ---- Window start-up and keys ----

void MainMenu::showMainPanelImage() {
    const WindowStartup::PanelImage panel = WindowStartup::mainPanelImage(
        programFolder, QString::fromStdString(AppPaths::resourcesDirectory()), QSize(220, 160));
    customPanelImage = panel.custom;
    imgRecoveryPanel->setPixmap(panel.pixmap);
}

void MainMenu::windowStartup() {
    ToolkitTexts::load();
    showMainPanelImage();
    setMenuItemsName();
    setTabButtonTitle();
    lblVersion->setText(QString::fromStdString(record_.Version.get()));
    lblProductName->setText(QString::fromStdString(record_.ProductName.get()));
    drawToggle();
    // The banner; its load also starts the time of use anew.
    if (timeOfUse_) {
        timeOfUse_->restart();
        const std::string address =
            BannerView::bannerAddress(record_.BannerURL.get(), timeOfUse_->storedSeconds());
        record_.BannerURL.set(address);
        webview->loadWebView(address, [this] {
            webview->show();
            if (timeOfUse_) timeOfUse_->reported();
        });
    }
    showScreen(ScreenState::ScreenHome);
}

void MainMenu::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && record_.PresentScreen == ToCode(ScreenState::ScreenResults)) {
        QWidget* focused = focusWidget();
        auto* button = qobject_cast<QAbstractButton*>(focused);
        if (button && (qobject_cast<QToolButton*>(button) || qobject_cast<QPushButton*>(button))) {
            button->click();
            return;
        }
        // Typing a search ends with Enter; it exports nothing.
        if (qobject_cast<QLineEdit*>(focused)) return;
        // On a list, Enter shows the current row's detail (it selects the row); on the photo
        // grid, whose selection the user makes, it does nothing. It exports nothing.
        for (QWidget* w = focused; w && w != this; w = w->parentWidget())
            if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
                const QModelIndex current = view->currentIndex();
                if (view->selectionMode() == QAbstractItemView::SingleSelection && current.isValid() &&
                    view->selectionModel() &&
                    !view->selectionModel()->isSelected(current))
                    view->selectionModel()->select(
                        current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                return;
            }
        if (btnExport->isVisible() && btnExport->isEnabled()) {
            btnExport->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

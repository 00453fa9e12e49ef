#include "ui/HomeScreen.h"

#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/BackupFolderCheck.h"
#include "app/DeviceDetails.h"
#include "app/DeviceRecoveryFlow.h"
#include "app/ScanWorker.h"
#include "config/LanguageConfig.h"
#include "device/AMDevice.h"
#include "device/MobileDeviceAccess.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "ui/MainMenu.h"
#include "ui/NamedWidgets.h"
#include "ui/TitleAdapters.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

using TitleAdapters::ApplyTitle;
using TitleAdapters::kWhite;
using TitleAdapters::SetText;
using TitleAdapters::ToQString;
namespace TH = TitleHelpers;

using NamedWidgets::Button;

namespace {

// Labels here do not wrap unless asked to.
QLabel* Label(QWidget* parent, const char* name, bool wrap = false) {
    return NamedWidgets::Label(parent, name, wrap);
}

// The combo's items, in order, and the data type each stands for.
constexpr DataType kComboTypes[] = {
    DataType::DataTypeSMS,      DataType::DataTypeContacts,        DataType::DataTypeCallHistory,
    DataType::DataTypeNotes,    DataType::DataTypeInternetHistory, DataType::DataTypePhotosVideos,
    DataType::DataTypeWhatsApp, DataType::DataTypeCalendar,        DataType::DataTypeAll,
};
constexpr int kAllIndex = 8;

}  // namespace

InfoReaderViewController::InfoReaderViewController(MainMenu& window, QWidget* parent)
    : QWidget(parent), window_(window) {
    setObjectName("InfoReaderViewController");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->setSpacing(12);

    auto* modes = new QHBoxLayout;
    btnIos = Button(this, "btnIos");
    btnItunes = Button(this, "btnItunes");
    for (QPushButton* mode : {btnIos, btnItunes}) {
        mode->setCheckable(true);
        mode->setProperty("mode", true);
        mode->setIconSize(QSize(28, 28));
        mode->setMinimumHeight(48);
        modes->addWidget(mode, 1);
    }
    connect(btnIos, &QPushButton::clicked, this, [this] { returnMainScreen(); });
    connect(btnItunes, &QPushButton::clicked, this, [this] { recoverFromMac(); });
    btnIos->installEventFilter(this);
    btnItunes->installEventFilter(this);
    layout->addLayout(modes);

    viewDataReader = buildDevicePanel();
    viewRegisteredDevices = buildBackupPanel();
    layout->addWidget(viewDataReader, 1);
    layout->addWidget(viewRegisteredDevices, 1);

    // The data-type choice serves both modes.
    auto* choice = new QHBoxLayout;
    scanLabel = Label(this, "scanLabel");
    dataTypeCombo = new QComboBox(this);
    dataTypeCombo->setObjectName("dataTypeCombo");
    dataTypeCombo->setMinimumWidth(260);
    choice->addStretch();
    choice->addWidget(scanLabel);
    choice->addWidget(dataTypeCombo);
    choice->addStretch();
    layout->addLayout(choice);
    // Tab walks the mode, the list, Browse, the data type and then the scan button.
    iTunesBackupTable->setTabKeyNavigation(false);
    QWidget::setTabOrder(btnBrowseBackup, dataTypeCombo);
    QWidget::setTabOrder(dataTypeCombo, iTunesBackupScanButton);
    // A focused button takes Enter itself.
    for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(true);

    // Start-up.
    setLanguageForOutlates();
    for (QWidget* hidden : {static_cast<QWidget*>(txtDisplayName), static_cast<QWidget*>(txtSerialNumber),
                            static_cast<QWidget*>(txtPhoneNumber), static_cast<QWidget*>(titleDisplayName),
                            static_cast<QWidget*>(titleSerialNumber), static_cast<QWidget*>(titlePhoneNumber),
                            static_cast<QWidget*>(txtTip2), static_cast<QWidget*>(img2)})
        hidden->hide();
    dataTypeCombo->setCurrentIndex(kAllIndex);
    viewRegisteredDevices->hide();
    progressBar->hide();
    progressCircle->hide();
    txtBackup->hide();
    // A device already connected shows at once (and is announced once); without one the
    // screen only looks disconnected: nothing has left.
    if (window_.record().isDeviceConnected) {
        deviceConnected();
    } else {
        showDisconnected();
    }
    returnMainScreen();
}

QWidget* InfoReaderViewController::buildDevicePanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName("viewDataReader");
    auto* layout = new QVBoxLayout(panel);
    layout->setSpacing(10);
    imgPhone = Label(panel, "imgPhone");
    imgPhone->setAlignment(Qt::AlignCenter);
    txtMessage = Label(panel, "txtMessage", true);
    txtMessage->setAlignment(Qt::AlignCenter);
    txtMessage->setProperty("heading", true);
    txtConnected = Label(panel, "txtConnected");
    txtDevice = Label(panel, "txtDevice");
    txtConnected->setProperty("good", true);
    auto* connectedRow = new QHBoxLayout;
    connectedRow->addStretch();
    connectedRow->addWidget(txtConnected);
    connectedRow->addWidget(txtDevice);
    connectedRow->addStretch();
    auto* tipRow = new QHBoxLayout;
    imgQuestion = Label(panel, "imgQuestion");
    imgQuestion->setPixmap(window_.icon("help").pixmap(18, 18));
    txtTip1 = Label(panel, "txtTip1");
    btnPleaseClickTip = Button(panel, "btnPleaseClickTip");
    btnPleaseClickTip->setProperty("link", true);
    btnPleaseClickTip->setCursor(Qt::PointingHandCursor);
    lblLine = Label(panel, "lblLine");
    tipRow->addStretch();
    tipRow->addWidget(imgQuestion);
    tipRow->addWidget(txtTip1);
    tipRow->addWidget(btnPleaseClickTip);
    tipRow->addWidget(lblLine);
    tipRow->addStretch();
    connect(btnPleaseClickTip, &QPushButton::clicked, this, [this] { window_.showHintPopup(); });
    auto* tip2Row = new QHBoxLayout;
    img2 = Label(panel, "img2");
    img2->setPixmap(window_.icon("help").pixmap(18, 18));
    txtTip2 = Label(panel, "txtTip2", true);
    tip2Row->addStretch();
    tip2Row->addWidget(img2);
    tip2Row->addWidget(txtTip2);
    tip2Row->addStretch();
    txtBackup = Label(panel, "txtBackup");
    txtBackup->setAlignment(Qt::AlignCenter);
    progressBar = new QProgressBar(panel);
    progressBar->setObjectName("progressBar");
    progressBar->setRange(0, 0);
    progressBar->setTextVisible(false);
    progressCircle = new QProgressBar(panel);
    progressCircle->setObjectName("progressCircle");
    progressCircle->setRange(0, 0);
    progressCircle->setTextVisible(false);
    progressCircle->setMaximumWidth(60);
    btnDeviceRecover = Button(panel, "btnDeviceRecover");
    btnDeviceRecover->setProperty("primary", true);
    btnDeviceRecover->setMinimumSize(220, 44);
    connect(btnDeviceRecover, &QPushButton::clicked, this, [this] { deviceRecover(); });

    layout->addStretch();
    layout->addWidget(imgPhone);
    layout->addWidget(txtMessage);
    layout->addLayout(connectedRow);
    layout->addWidget(txtBackup);
    layout->addWidget(progressBar);
    layout->addWidget(progressCircle, 0, Qt::AlignHCenter);
    layout->addWidget(btnDeviceRecover, 0, Qt::AlignHCenter);
    layout->addLayout(tipRow);
    layout->addLayout(tip2Row);
    layout->addStretch();
    return panel;
}

QWidget* InfoReaderViewController::buildBackupPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName("viewRegisteredDevices");
    auto* layout = new QGridLayout(panel);
    layout->setHorizontalSpacing(18);
    lblSelectBackupFromList = Label(panel, "lblSelectBackupFromList");
    lblSelectBackupFromList->setProperty("heading", true);
    iTunesBackupTable = new QTableWidget(0, 3, panel);
    iTunesBackupTable->setObjectName("iTunesBackupTable");
    iTunesBackupTable->verticalHeader()->setVisible(false);
    // Every column shows whole at the window's smallest size, in every language: the serial
    // number and the date take what their texts and captions need, the name the rest (elided
    // when it must be).
    QHeaderView* columns = iTunesBackupTable->horizontalHeader();
    columns->setSectionsMovable(false);
    columns->setSectionResizeMode(0, QHeaderView::Stretch);
    columns->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    columns->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    iTunesBackupTable->setWordWrap(false);
    iTunesBackupTable->setTextElideMode(Qt::ElideRight);
    iTunesBackupTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    iTunesBackupTable->setSelectionMode(QAbstractItemView::SingleSelection);
    iTunesBackupTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(iTunesBackupTable, &QTableWidget::itemSelectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
    iTunesBackupNoFilesMessage = Label(panel, "iTunesBackupNoFilesMessage", true);
    iTunesBackupNoFilesMessage->setAlignment(Qt::AlignCenter);

    auto* details = new QWidget(panel);
    details->setObjectName("detailsPanel");
    auto* form = new QGridLayout(details);
    const auto row = [&](QLabel*& title, QLabel*& value, const char* titleName, const char* name, int at) {
        title = Label(details, titleName);
        title->setProperty("dim", true);
        value = Label(details, name, true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addWidget(title, at, 0, Qt::AlignTop);
        form->addWidget(value, at, 1);
    };
    row(titleDeviceName, txtDeviceName, "titleDeviceName", "txtDeviceName", 0);
    row(titleDeviceID, txtDeviceID, "titleDeviceID", "txtDeviceID", 1);
    row(titleIMEI, txtIMEI, "titleIMEI", "txtIMEI", 2);
    row(titleDisplayName, txtDisplayName, "titleDisplayName", "txtDisplayName", 3);
    row(titleSerialNumber, txtSerialNumber, "titleSerialNumber", "txtSerialNumber", 4);
    row(titlePhoneNumber, txtPhoneNumber, "titlePhoneNumber", "txtPhoneNumber", 5);
    btnDisclosure = new QToolButton(details);
    btnDisclosure->setObjectName("btnDisclosure");
    btnDisclosure->setCheckable(true);
    btnDisclosure->setArrowType(Qt::RightArrow);
    btnDisclosure->setAutoRaise(true);
    connect(btnDisclosure, &QToolButton::toggled, this, [this](bool on) { expandInfo(on); });
    form->addWidget(btnDisclosure, 6, 0);
    form->setRowStretch(7, 1);
    form->setColumnStretch(1, 1);

    lblSelectBackupFromHDD = Label(panel, "lblSelectBackupFromHDD");
    btnBrowseBackup = Button(panel, "btnBrowseBackup");
    btnBrowseBackup->setProperty("tag", 1);
    btnFindBackup = btnBrowseBackup;
    txtSelect1 = Label(panel, "txtSelect1");
    txtSelect2 = Label(panel, "txtSelect2");
    connect(btnBrowseBackup, &QPushButton::clicked, this, [this] { findBackup(); });
    iTunesBackupScanButton = Button(panel, "iTunesBackupScanButton");
    iTunesBackupScanButton->setProperty("primary", true);
    iTunesBackupScanButton->setMinimumSize(200, 40);
    connect(iTunesBackupScanButton, &QPushButton::clicked, this, [this] { fullRecover(); });
    btnFull = iTunesBackupScanButton;
    // Fast recovery: the databases only, without photos and videos. Shown with the details of
    // a device or backup.
    btnFast = Button(panel, "btnFast");
    btnFast->setMinimumHeight(40);
    btnFast->hide();
    connect(btnFast, &QPushButton::clicked, this, [this] { fastRecover(); });
    // Rows inside the grid set their own spacing: the grid's differs across and down, so it
    // gives them none.
    auto* scanButtons = new QHBoxLayout;
    scanButtons->setSpacing(10);
    scanButtons->addStretch();
    scanButtons->addWidget(btnFast);
    scanButtons->addWidget(iTunesBackupScanButton);

    auto* browse = new QHBoxLayout;
    browse->setSpacing(10);
    browse->addWidget(lblSelectBackupFromHDD);
    browse->addWidget(btnBrowseBackup);
    browse->addStretch();

    layout->addWidget(lblSelectBackupFromList, 0, 0, 1, 2);
    layout->addWidget(iTunesBackupTable, 1, 0);
    layout->addWidget(iTunesBackupNoFilesMessage, 2, 0);
    layout->addWidget(details, 1, 1, 2, 1);
    layout->addLayout(browse, 3, 0);
    layout->addLayout(scanButtons, 3, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
    layout->setRowStretch(1, 1);
    return panel;
}

void InfoReaderViewController::fillDataTypeCombo() {
    LanguageConfig& texts = LanguageConfig::sharedObject();
    const int current = dataTypeCombo->currentIndex();
    const QString photosVideos = ToQString(texts.CommonPhotos()) + " / " + ToQString(texts.CommonVideos());
    const QStringList items = {ToQString(texts.CommonMessages()), ToQString(texts.CommonContacts()),
                               ToQString(texts.CommonCalls()),    ToQString(texts.CommonNotes()),
                               ToQString(texts.CommonSafari()),   photosVideos,
                               ToQString(texts.CommonWhatsApp()), ToQString(texts.CommonCalendar())};
    dataTypeCombo->clear();
    dataTypeCombo->addItems(items);
    dataTypeCombo->addItem(items.join(QStringLiteral(", ")));
    dataTypeCombo->setItemData(kAllIndex, items.join(QStringLiteral(", ")), Qt::ToolTipRole);
    // Every item stands whole, in the box and in its list, in every language.
    dataTypeCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    int widest = 0;
    for (const QString& item : items + QStringList{items.join(QStringLiteral(", "))})
        widest = std::max(widest, dataTypeCombo->fontMetrics().horizontalAdvance(item));
    dataTypeCombo->view()->setMinimumWidth(widest + 24);
    dataTypeCombo->setCurrentIndex(current < 0 ? kAllIndex : current);
}

void InfoReaderViewController::setLanguageForOutlates() {
    LanguageConfig& texts = LanguageConfig::sharedObject();
    SetText(txtMessage, window_.record().isDeviceConnected ? texts.DeviceConnectedControlViewMainTextPart1()
                                                           : texts.ConnectDeviceControlViewTitle());
    SetText(txtConnected, texts.DeviceConnectedControlViewConnected());
    SetText(txtTip1, texts.ConnectDeviceControlViewIfConnectedDeviceNotRecognized());
    SetText(lblLine, texts.ConnectDeviceControlViewIfConnectedDeviceNotRecognized1());
    SetText(txtTip2, texts.ConnectDeviceControlViewIfConnectedDeviceNotRecognized1());
    StyledTitle click = TH::setButtonTitleFor(texts.ConnectDeviceControlViewClickHere(),
                                              TitleColor{43, 160, 225, 255}, 16.0f, true);
    ApplyTitle(btnPleaseClickTip, click);
    TitleAdapters::SizeAsSentence(btnPleaseClickTip, txtTip1);
    SetText(txtBackup, texts.StartDeviceScan());
    SetText(lblSelectBackupFromList, texts.ChooseIOSBackupControlViewTitle());
    SetText(lblSelectBackupFromHDD, texts.ChooseIOSBackupControlViewSelectBackupManualyText());
    ApplyTitle(btnBrowseBackup, TH::setButtonTitleFor(texts.CommonBrowse(), kWhite));
    btnBrowseBackup->setToolTip(ToQString(texts.CommonBrowse()));
    ApplyTitle(iTunesBackupScanButton, TH::setButtonTitleFor(texts.CommonStartScan(), kWhite, 16.0f));
    iTunesBackupScanButton->setToolTip(ToQString(texts.CommonStartScan()));
    ApplyTitle(btnFast, TH::setButtonTitleFor(texts.CommonFastScan(), kWhite, 13.0f));
    btnFast->setToolTip(ToQString(texts.CommonFastScan()));
    iTunesBackupNoFilesMessage->setText(
        ToQString(texts.ChooseIOSBackupControlViewNoBackupsFoundMainTextPart1()) + " " +
        ToQString(texts.ChooseIOSBackupControlViewNoBackupsFoundMainTextPart2()));
    ApplyTitle(btnDeviceRecover, TH::setButtonTitleFor(texts.CommonStartScan(), kWhite, 20.0f));
    btnDeviceRecover->setToolTip(ToQString(texts.CommonStartScan()));
    TitleAdapters::ApplyHeaderTitle(iTunesBackupTable, 0, texts.colName());
    TitleAdapters::ApplyHeaderTitle(iTunesBackupTable, 1, texts.colSerialnumber());
    TitleAdapters::ApplyHeaderTitle(iTunesBackupTable, 2, texts.colLastbackupDate());
    SetText(titleDeviceName, texts.colName());
    SetText(titleSerialNumber, texts.colSerialnumber());
    SetText(titlePhoneNumber, texts.colPhone());
    titleDeviceID->setText(QStringLiteral("UDID"));
    titleIMEI->setText(QStringLiteral("IMEI"));
    titleDisplayName->setText(ToQString(texts.colName()) + QStringLiteral(" (iCloud)"));
    SetText(scanLabel, texts.CommonStartScan());
    btnIos->setText(ToQString(texts.ConnectDeviceControlViewTitle()));
    btnItunes->setText(ToQString(texts.ChooseIOSBackupControlViewTitle()));
    fillDataTypeCombo();
}

void InfoReaderViewController::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton* scan = selectedTab == 1 ? iTunesBackupScanButton : btnDeviceRecover;
        if (scan->isVisible() && scan->isEnabled()) {
            scan->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

// ---- Device mode ----

void InfoReaderViewController::deviceConnected() {
    imgPhone->setPixmap(window_.icon("iphone-connected").pixmap(110, 110));
    for (QWidget* w : std::initializer_list<QWidget*>{txtTip1, txtTip2, lblLine, btnPleaseClickTip, imgQuestion, img2})
        w->hide();
    SetText(txtMessage, LanguageConfig::sharedObject().DeviceConnectedControlViewMainTextPart1());
    txtConnected->show();
    txtDevice->show();
    const auto device = window_.record().mDevice.get();
    txtDevice->setText(device ? ToQString(device->deviceName()) : QString());
    btnDeviceRecover->show();
    scanLabel->show();
    dataTypeCombo->show();
    dataTypeCombo->setCurrentIndex(kAllIndex);
    window_.analytics().publishMessageEvent("DeviceConnectedScreen");
}

void InfoReaderViewController::deviceDisconnected() {
    showDisconnected();
    window_.analytics().publishMessageEvent("ConnectYourDeviceScreen");
}

void InfoReaderViewController::showDisconnected() {
    imgPhone->setPixmap(window_.icon("connect-iphone").pixmap(110, 110));
    for (QWidget* w : std::initializer_list<QWidget*>{txtConnected, txtTip2, img2, txtDevice, btnDeviceRecover})
        w->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{txtTip1, lblLine, btnPleaseClickTip, imgQuestion}) w->show();
    SetText(txtMessage, LanguageConfig::sharedObject().ConnectDeviceControlViewTitle());
    dataTypeCombo->setCurrentIndex(kAllIndex);
    if (selectedTab == 0) {
        scanLabel->hide();
        dataTypeCombo->hide();
    }
}

void InfoReaderViewController::returnMainScreen() {
    selectedTab = 0;
    window_.hideMenus();
    refreshModeButtons();
    btnItunes->setEnabled(true);
    viewRegisteredDevices->hide();
    progressCircle->hide();
    progressBar->hide();
    txtBackup->hide();
    btnDeviceRecover->setEnabled(true);
    if (window_.record().isDeviceConnected) {
        dataTypeCombo->setEnabled(true);
        scanLabel->show();
        dataTypeCombo->show();
        btnDeviceRecover->show();
        for (QWidget* w : std::initializer_list<QWidget*>{txtTip2, txtTip1, lblLine, img2, imgQuestion}) w->hide();
        btnPleaseClickTip->hide();
    } else {
        for (QWidget* w : std::initializer_list<QWidget*>{txtTip2, img2, scanLabel, dataTypeCombo}) w->hide();
        for (QWidget* w : std::initializer_list<QWidget*>{txtTip1, lblLine, imgQuestion}) w->show();
    }
    viewDataReader->show();
}

void InfoReaderViewController::refreshModeButtons() {
    btnIos->setChecked(selectedTab == 0);
    btnItunes->setChecked(selectedTab == 1);
    if (selectedTab == 0) {
        setModePicture(btnItunes, QStringLiteral("itunes-active_03.png"));
        setModePicture(btnIos, QStringLiteral("iphone-current_03.png"));
    } else {
        setModePicture(btnItunes, QStringLiteral("itunes-current_03.png"));
        setModePicture(btnIos, QStringLiteral("iphone-active_03.png"));
    }
}

void InfoReaderViewController::setModePicture(QPushButton* button, const QString& picture) {
    button->setProperty("picture", picture);
    QString name = picture;
    if (name.endsWith(QLatin1String(".png"))) name.chop(4);
    button->setIcon(window_.icon(name));
}

QString InfoReaderViewController::modePicture(const QPushButton* button) {
    return button ? button->property("picture").toString() : QString();
}

void InfoReaderViewController::mouseEntered(const QString& button) {
    if (button == QLatin1String("btnIos"))
        setModePicture(btnIos, QStringLiteral("iphone-text-active-hover.png"));
    else if (button == QLatin1String("btnItunes"))
        setModePicture(btnItunes, QStringLiteral("itunes-current_03.png"));
}

void InfoReaderViewController::mouseExited(const QString& button) {
    if (button == QLatin1String("btnIos"))
        setModePicture(btnIos, selectedTab == 0 ? QStringLiteral("iphone-current_03.png")
                                                : QStringLiteral("iphone-active_03.png"));
    else if (button == QLatin1String("btnItunes"))
        setModePicture(btnItunes, selectedTab == 1 ? QStringLiteral("itunes-current_03.png")
                                                   : QStringLiteral("itunes-active_03.png"));
}

bool InfoReaderViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == btnIos || watched == btnItunes) {
        if (event->type() == QEvent::Enter) mouseEntered(watched->objectName());
        if (event->type() == QEvent::Leave) mouseExited(watched->objectName());
    }
    return QWidget::eventFilter(watched, event);
}

void InfoReaderViewController::deviceRecover() {
    BrimleyAppDelegate& record = window_.record();
    record._RecoverType = 0;
    const auto access = record.MobileDevice.get();
    if (record.isDeviceConnected && access && !access->devices().empty()) {
        const bool read = window_.core().deviceDetails().getInfoFromDevice(window_.mobileSyncFolder());
        afterReading(false);
        if (!read) {
            window_.alert({"Please enter the passcode on your device and set this device to Trust "
                           "this computer. If you do not see the option to Trust pop up on your "
                           "device please reconnect and try again. If this message continues to "
                           "pop up please restart the software as well",
                           "",
                           {"Close"}});
            enableActions(true);
            window_.analytics().publishMessageEvent("DeviceNotTrustedScreen");
            return;
        }
        _deviceInfo = record.deviceInfo.get();
        reloadData();
        fullRecover();
        return;
    }
    window_.alert({"Device not Found, please reconnect", "", {"Close"}});
    enableActions(true);
}

std::string InfoReaderViewController::NotABackupMessage() {
    return LanguageConfig::sharedObject().BackupFolderNotABackup().value_or(
        "The folder you selected does not contain available iTunes backup files or has been corrupted!");
}

DataType InfoReaderViewController::convertToDataTypefromSelection(int index) {
    if (index < 0 || index >= static_cast<int>(std::size(kComboTypes))) return DataType::DataTypeAll;
    return kComboTypes[index];
}

int InfoReaderViewController::selectionOfDataType(DataType type) {
    for (int index = 0; index < static_cast<int>(std::size(kComboTypes)); ++index)
        if (kComboTypes[index] == type) return index;
    return kAllIndex;
}

bool InfoReaderViewController::backupCanBeScanned(DataType type) {
    BrimleyAppDelegate& record = window_.record();
    const std::string folder = record.BACKUP_DIRECTORY.get();
    BackupFolderCheck check = BackupFolderCheck::beforeReading(folder);
    if (check.ok()) {
        const auto details = record.deviceInfo.get();
        const bool usable = details && details->ProductVersion() && !details->ProductVersion()->empty();
        check = BackupFolderCheck::afterReading(folder, usable, details ? *details : DeviceInfo{}, type);
    }
    if (check.ok()) return true;
    window_.alert({check.problem == BackupFolderCheck::Problem::NotABackup ? NotABackupMessage() : check.message, "",
                   {"OK"}});
    enableActions(true);
    return false;
}

void InfoReaderViewController::fullRecover() {
    window_.hideMenus();
    BrimleyAppDelegate& record = window_.record();
    if (!_deviceInfo) {
        window_.alert({"Alert", "Please select a device to scan!", {"OK"}});
        return;
    }
    if (record._RecoverType != 0) {
        const DataType type = convertToDataTypefromSelection(dataTypeCombo->currentIndex());
        if (!backupCanBeScanned(type)) return;
        record._RecoverMode = 1;
        // The results screen first: the scan's own first steps then find it in place.
        window_.showScreen(ScreenState::ScreenResults);
        enableActions(false);
        window_.startScan(type);
        return;
    } else {
        const auto info = record.deviceInfo.get();
        if (info && info->Connected()) {
            doBackupFromDevice();
            return;
        }
    }
    window_.showScreen(ScreenState::ScreenResults);
    enableActions(false);
}

void InfoReaderViewController::fastRecover() {
    BrimleyAppDelegate& record = window_.record();
    const DataType type = convertToDataTypefromSelection(dataTypeCombo->currentIndex());
    const auto info = record.deviceInfo.get();
    if (info && info->Connected() && record._RecoverType == 0) {
        record._RecoverMode = 0;
        window_.showScreen(ScreenState::ScreenInitialLoading);
        if (auto holder = record.holder.get()) holder->setDataType(type);
        setDataTypeHolder();
        window_.flow().deviceBackup().BackupAgent(info->UniqueDeviceID().value_or(""));
        enableActions(false);
        return;
    }
    if (!backupCanBeScanned(type)) return;
    record._RecoverMode = 0;
    window_.showScreen(ScreenState::ScreenInitialLoading);
    window_.startScan(type);
    enableActions(false);
}

void InfoReaderViewController::doBackupFromDevice() {
    BrimleyAppDelegate& record = window_.record();
    const auto info = record.deviceInfo.get();
    if (!info || !info->Connected() || record._RecoverType != 0) return;
    btnDeviceRecover->hide();
    progressBar->show();
    progressCircle->show();
    for (QWidget* w : std::initializer_list<QWidget*>{txtBackup, txtTip2, img2}) w->show();
    for (QWidget* w : std::initializer_list<QWidget*>{txtTip1, lblLine, imgQuestion, btnPleaseClickTip}) w->hide();
    btnDeviceRecover->setEnabled(false);
    btnItunes->setEnabled(false);
    scanLabel->hide();
    dataTypeCombo->hide();
    enableActions(false);
    setDataTypeHolder();
    window_.flow().deviceBackup().BackupAgent(info->UniqueDeviceID().value_or(""));
}

void InfoReaderViewController::setDataTypeHolder() {
    const DataType type = convertToDataTypefromSelection(dataTypeCombo->currentIndex());
    BrimleyAppDelegate& record = window_.record();
    auto holder = record.holder.get();
    if (!holder) {
        holder = std::make_shared<dataTypeHolder>();
        record.holder.set(holder);
    }
    holder->setDataType(type);
}

void InfoReaderViewController::backUpFromDeviceComplete() {
    window_.record()._RecoverMode = 1;
    returnMainScreen();
    window_.showScreen(ScreenState::ScreenResults);
    enableActions(false);
}

void InfoReaderViewController::enableActions(bool enable) {
    for (QWidget* w : std::initializer_list<QWidget*>{btnFast, btnFull, iTunesBackupTable, btnIos, btnDeviceRecover})
        w->setEnabled(enable);
}

void InfoReaderViewController::updateUI() {
    showDeviceInfo();
}

void InfoReaderViewController::showRecoverView() {
    for (QWidget* w : std::initializer_list<QWidget*>{viewRegisteredDevices, btnFindBackup, txtSelect1, txtSelect2, scanLabel, dataTypeCombo})
        w->hide();
    viewDataReader->show();
}

void InfoReaderViewController::recoverFromDevice() {
    BrimleyAppDelegate& record = window_.record();
    record._RecoverType = 0;
    window_.analytics().publishMessageEvent("RecoverFromDeviceScreen");
    const auto access = record.MobileDevice.get();
    if (!record.isDeviceConnected || !access || access->devices().empty()) {
        window_.alert({"Device not Found, please Reconnect", "", {"Close"}});
        enableActions(true);
        return;
    }
    const bool read = window_.core().deviceDetails().getInfoFromDevice(window_.mobileSyncFolder());
    afterReading(false);
    if (!read) return;
    _deviceInfo = record.deviceInfo.get();
    viewRegisteredDevices->show();
    for (QWidget* w : std::initializer_list<QWidget*>{viewDataReader, btnFindBackup, txtSelect1, txtSelect2, scanLabel, dataTypeCombo})
        w->hide();
    reloadData();
}

// ---- Backup-folder mode ----

void InfoReaderViewController::afterReading(bool fromBackup) {
    BrimleyAppDelegate& record = window_.record();
    const auto info = record.deviceInfo.get();
    if (info) known_.afterReading(*info, fromBackup, record.BACKUP_DIRECTORY.get());
}

void InfoReaderViewController::recoverFromMac() {
    selectedTab = 1;
    window_.hideMenus();
    // The backup chosen last (the one just scanned) stays chosen when it is listed again.
    const OptString chosen = _deviceInfo ? _deviceInfo->UniqueDeviceID() : std::nullopt;
    BrimleyAppDelegate& record = window_.record();
    const std::string folder = window_.mobileSyncFolder() + "/";
    const std::vector<std::string> names = BackupFolderListing::list(folder);
    known_.keepListed(names, folder);
    record._RecoverType = 1;
    window_.analytics().publishMessageEvent("RecoverFromITunesScreen");
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!BackupFolderListing::isRead(names, i)) continue;
        record.BACKUP_DIRECTORY.set(folder + names[i]);
        bool read = false;
        try {
            read = window_.core().deviceDetails().getInfoFromBackup();
        } catch (const std::exception&) {
            continue;
        }
        afterReading(true);
        if (!read) enableActions(true);
    }
    refreshModeButtons();
    for (QWidget* w : std::initializer_list<QWidget*>{viewRegisteredDevices, btnFindBackup, txtSelect1, txtSelect2, scanLabel, dataTypeCombo})
        w->show();
    dataTypeCombo->setEnabled(true);
    viewDataReader->hide();
    reloadData();
    setTableSelection(known_.indexOf(chosen));
}

void InfoReaderViewController::findBackup(const QString& chosen) {
    QString path = chosen;
    if (path.isEmpty()) {
        LanguageConfig& texts = LanguageConfig::sharedObject();
        QFileDialog dialog(window(), ToQString(texts.PanelChooseBackupFolder().value_or("Choose a Backup folder to Recover data")),
                           QString::fromStdString(window_.mobileSyncFolder()));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setLabelText(QFileDialog::FileName, ToQString(texts.PanelFileName().value_or("File Name")));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        path = dialog.selectedFiles().first();
    }
    // A folder that is not there is named as such, not as a broken backup.
    if (!QFileInfo(path).isDir()) {
        window_.alert({FillPlaceholders(LanguageConfig::sharedObject().BackupFolderDoesNotExist().value_or(
                                            "The folder {0} does not exist."),
                                        {path.toStdString()}),
                       "",
                       {"OK"}});
        enableActions(true);
        return;
    }
    BrimleyAppDelegate& record = window_.record();
    record.BACKUP_DIRECTORY.set(path.toStdString());
    record._RecoverMode = btnBrowseBackup->property("tag").toInt();
    record._RecoverType = 1;
    const bool read = window_.core().deviceDetails().getInfoFromBackup();
    afterReading(true);
    if (read) {
        selectedTab = 1;
        refreshModeButtons();
        viewRegisteredDevices->show();
        for (QWidget* w : std::initializer_list<QWidget*>{btnFindBackup, txtSelect1, txtSelect2, scanLabel, dataTypeCombo})
            w->show();
        dataTypeCombo->setEnabled(true);
        viewDataReader->hide();
        reloadData();
        return;
    }
    reloadData();
    _deviceInfo.reset();
    window_.alert({NotABackupMessage(), "", {"OK"}});
    enableActions(true);
}

void InfoReaderViewController::refreshTable() {
    fillingTable_ = true;
    iTunesBackupTable->clearSelection();
    const auto& entries = known_.entries();
    iTunesBackupTable->setRowCount(static_cast<int>(entries.size()));
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const DeviceInfo& entry = entries[i];
        iTunesBackupTable->setItem(i, 0, new QTableWidgetItem(ToQString(entry.DeviceName())));
        iTunesBackupTable->setItem(i, 1, new QTableWidgetItem(ToQString(entry.SerialNumber())));
        iTunesBackupTable->setItem(i, 2, new QTableWidgetItem(ToQString(entry.BackupDate())));
    }
    fillingTable_ = false;
}

void InfoReaderViewController::reloadData() {
    refreshTable();
    BrimleyAppDelegate& record = window_.record();
    const auto current = record.deviceInfo.get();
    if (current) {
        const int at = known_.indexOf(current->UniqueDeviceID());
        if (at >= 0) {
            auto entry = std::make_shared<DeviceInfo>(known_.entries()[at]);
            entry->setConnected(current->Connected());
            _deviceInfo = entry;
            fillingTable_ = true;
            iTunesBackupTable->selectRow(at);
            fillingTable_ = false;
            showDeviceInfo();
        }
    }
    window_.showStartButton();
    const bool rows = iTunesBackupTable->rowCount() > 0;
    iTunesBackupScanButton->setVisible(rows);
    if (!rows) btnFast->hide();
    iTunesBackupNoFilesMessage->setVisible(!rows);
}

void InfoReaderViewController::setTableSelection(int row) {
    if (iTunesBackupTable->rowCount() < 1) return;
    if (row < 0 || row >= iTunesBackupTable->rowCount()) row = 0;
    iTunesBackupTable->selectRow(row);
    iTunesBackupTable->setFocus();
    tableViewSelectionDidChange();
}

void InfoReaderViewController::tableViewSelectionDidChange() {
    if (fillingTable_) return;
    const int row = iTunesBackupTable->currentRow();
    const auto selected = iTunesBackupTable->selectionModel()->selectedRows();
    const int at = selected.isEmpty() ? row : selected.first().row();
    if (at < 0 || at >= static_cast<int>(known_.size())) return;
    _deviceInfo = std::make_shared<DeviceInfo>(known_.entries()[at]);
    showDeviceInfo();
}

void InfoReaderViewController::showDeviceInfo() {
    if (!_deviceInfo || !_deviceInfo->ProductVersion() || !_deviceInfo->DeviceName()) return;
    BrimleyAppDelegate& record = window_.record();
    record.deviceInfo.set(std::make_shared<DeviceInfo>(*_deviceInfo));
    txtDeviceID->setText(ToQString(_deviceInfo->UniqueDeviceID()));
    txtDeviceName->setText(ToQString(_deviceInfo->DeviceName()));
    const OptString& display = _deviceInfo->DisplayName();
    if (display && display->size() > 2) {
        txtDisplayName->setText(ToQString(display));
        window_.updateDisplayName(*display);
    } else {
        window_.updateDisplayName(_deviceInfo->DeviceName().value_or(""));
        txtDisplayName->clear();
    }
    if (_deviceInfo->IMEI()) txtIMEI->setText(ToQString(_deviceInfo->IMEI()));
    if (_deviceInfo->SerialNumber()) txtSerialNumber->setText(ToQString(_deviceInfo->SerialNumber()));
    if (_deviceInfo->PhoneNumber()) txtPhoneNumber->setText(ToQString(_deviceInfo->PhoneNumber()));
    // The backup read last stays the one scanned when it lies outside the MobileSync folder;
    // otherwise the device's folder there.
    const OptString& location = _deviceInfo->BackupLocation();
    std::error_code error;
    if (location && !location->empty() && std::filesystem::is_directory(*location, error))
        record.BACKUP_DIRECTORY.set(*location);
    else {
        std::string id = _deviceInfo->UniqueDeviceID().value_or("");
        std::transform(id.begin(), id.end(), id.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        record.BACKUP_DIRECTORY.set(window_.mobileSyncFolder() + "/" + id);
    }
    btnFast->show();
    btnFull->show();
}

void InfoReaderViewController::expandInfo(bool on) {
    btnDisclosure->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
    for (QWidget* w : std::initializer_list<QWidget*>{txtDisplayName, txtSerialNumber, txtPhoneNumber, titleDisplayName, titleSerialNumber, titlePhoneNumber})
        w->setVisible(on);
}

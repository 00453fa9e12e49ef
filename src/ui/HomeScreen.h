#pragma once

#include "app/KnownDevices.h"
#include "records/DeviceInfo.h"
#include "records/DataType.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QWidget>

#include <memory>

class MainMenu;
class DeviceInfo;

// The home screen: where every recovery starts. In device mode it shows the connected device
// (or the prompt to connect one) and backs the device up before the scan; in backup-folder
// mode it lists the backups in the MobileSync folder, lets the user browse for another one,
// and scans the chosen backup. Both modes share the list of known devices and the details
// panel. Main thread only.
class InfoReaderViewController : public QWidget {
public:
    explicit InfoReaderViewController(MainMenu& window, QWidget* parent = nullptr);

    // ---- Device mode ----
    void deviceConnected();
    void deviceDisconnected();
    void deviceRecover();
    void fullRecover();
    void fastRecover();
    void doBackupFromDevice();
    void setDataTypeHolder();
    static DataType convertToDataTypefromSelection(int index);
    // The combo's item of a data type (that of all types for one it does not list).
    static int selectionOfDataType(DataType type);
    // What the window says of a folder that holds no usable backup, in the chosen language.
    static std::string NotABackupMessage();
    void backUpFromDeviceComplete();
    void enableActions(bool enable);
    void returnMainScreen();
    void updateUI();
    void showRecoverView();
    // Reads the connected device and shows it with the known devices, ready for a fast or full
    // recovery; without a device, says that none was found.
    void recoverFromDevice();

    // ---- Backup-folder mode ----
    void recoverFromMac();
    // The browse choice; with a folder given, that folder as if chosen in the panel.
    void findBackup(const QString& chosen = QString());
    void reloadData();
    // Selects the row (the first when it is not one) and shows its backup.
    void setTableSelection(int row = 0);
    void showDeviceInfo();
    void expandInfo(bool on);
    void tableViewSelectionDidChange();

    // ---- Texts ----
    void setLanguageForOutlates();

    // ---- Hover pictures of the two mode buttons ("btnIos", "btnItunes") ----
    void mouseEntered(const QString& button);
    void mouseExited(const QString& button);
    // The picture a mode button shows (its file name).
    static QString modePicture(const QPushButton* button);

    int selectedTab = 0;
    const DeviceInfo* deviceInfo() const { return _deviceInfo.get(); }
    const KnownDevices& knownDevices() const { return known_; }

    // Outlets.
    QWidget *viewDataReader, *viewRegisteredDevices;
    QLabel *imgPhone, *txtMessage, *txtConnected, *txtDevice, *txtTip1, *txtTip2, *img2,
        *imgQuestion, *lblLine, *scanLabel, *txtBackup, *txtSelect1, *txtSelect2,
        *lblSelectBackupFromList, *lblSelectBackupFromHDD, *iTunesBackupNoFilesMessage;
    QLabel *txtDeviceID, *txtDeviceName, *txtDisplayName, *txtSerialNumber, *txtIMEI,
        *txtPhoneNumber, *titleDeviceID, *titleDeviceName, *titleDisplayName, *titleSerialNumber,
        *titleIMEI, *titlePhoneNumber;
    QPushButton *btnPleaseClickTip, *btnDeviceRecover, *btnFast, *btnFull, *btnFindBackup,
        *btnBrowseBackup, *iTunesBackupScanButton, *btnIos, *btnItunes;
    QToolButton* btnDisclosure;
    QComboBox* dataTypeCombo;
    QProgressBar *progressBar, *progressCircle;
    QTableWidget* iTunesBackupTable;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Enter (or Return) presses the shown scan button of the mode, unless a button has focus.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* buildDevicePanel();
    // The look without a connected device (deviceDisconnected without its event).
    void showDisconnected();
    void setModePicture(QPushButton* button, const QString& picture);
    QWidget* buildBackupPanel();
    void fillDataTypeCombo();
    // After a reading of the device (false) or of a backup folder (true): the list rules.
    void afterReading(bool fromBackup);
    void refreshTable();
    void refreshModeButtons();
    // Checks the backup before its scan starts; false, with the reason shown, when it cannot be
    // scanned.
    bool backupCanBeScanned(DataType type);

    MainMenu& window_;
    std::shared_ptr<const DeviceInfo> _deviceInfo;
    KnownDevices known_;
    bool fillingTable_ = false;
};

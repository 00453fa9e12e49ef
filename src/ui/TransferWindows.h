#pragma once

#include "app/MainWindow.h"
#include "export/ExportRun.h"
#include "ui/Dialogs.h"
#include "ui/SendToDevice.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class BrimleyAppDelegate;
class MainThreadDispatcher;
struct ExportProgress;

// The export dialog: where to, in which file format, and which records: the ticked ones (cell1),
// everything of the current tab (cell2) or everything (cell3). Export hands the choice to the
// window and closes the dialog.
class ExportWindowController : public SmallDialog {
public:
    struct Actions {
        // The folder panel: the chosen folder, or empty when cancelled.
        std::function<QString()> chooseFolder;
        std::function<void(const QString& location, const QString& extension)> exportAll;
        // The open tab's records into the chosen folder.
        std::function<void(const QString& location, const QString& extension)> exportCurrentTab;
        std::function<void(const QString& location, const QString& extension)> exportTicked;
        std::function<void(const AlertRequest&)> alert;
        std::function<void(const std::string& button)> publishButtonEvent;
        // Why nothing may be exported into the folder; empty when it may.
        std::function<QString(const QString& folder)> refusal;
    };
    ExportWindowController(Actions actions, QWidget* parent);

    void windowDidLoad() override;
    void browse();
    void finalexport();

    QLabel *lblHead, *lblChooseFormat, *lblBrowse, *lblLocation, *lblhint;
    QComboBox* comboBox;
    QLineEdit* location;
    QPushButton *btnBrowse, *btnExport;
    QRadioButton *cell1, *cell2, *cell3;

private:
    // Says why when nothing may be exported into the folder; whether it was refused.
    bool refused(const QString& folder);

    Actions actions_;
};

// The progress of a running export and, at its end, what was written and what was not.
class ExportProgressWindow : public SmallDialog {
public:
    ExportProgressWindow(std::function<void()> cancel, QWidget* parent);
    void windowDidLoad() override;
    void progress(const ExportProgress& progress);
    void finished(const ExportReport& report);
    bool isFinished() const { return finished_; }

    QLabel *lblWait, *lblCurrent, *lblSummary;
    QProgressBar* bar;
    QPushButton* btnClose;

private:
    // The end's heading and summary in the chosen language.
    void drawEnd();

    std::function<void()> cancel_;
    bool finished_ = false;
    ExportReport report_;
};

// The send-to-device wizard: four boxes shown one at a time. The first tells what is needed
// (the companion application, a connected device); Next leads to the choice of what to send
// (all data types, the current tab's, or nothing); Send writes the JSON files and hands them
// to the companion library on a thread of its own while the last box shows the progress, then
// says what did not reach the device, opens the rating and closes.
class AppWindowController : public SmallDialog {
public:
    struct Services {
        BrimleyAppDelegate* record = nullptr;
        MainThreadDispatcher* dispatcher = nullptr;
        // The identifier of the first connected device; none without one.
        std::function<std::optional<std::string>()> firstDevice;
        std::function<void(const AlertRequest&)> alert;
        std::function<void(const std::string& button)> publishButtonEvent;
        // Opens the rating after a send.
        std::function<void()> rating;
        // Keeps the send's thread until the application ends.
        std::function<void(std::jthread)> keepThread;
        std::function<void(const QString&)> openAddress;
        // Where the JSON files go, the companion library, the configured companion application.
        std::string folder;
        std::string library;
        OptString configuredBundle;
        OptString storeAddress;
        // Runs on the send's thread after each file (tests).
        std::function<void(const SendToDevice::Delivery&)> afterEach;
        // The wait before the send starts, in milliseconds.
        int delay = 500;
    };
    AppWindowController(Services services, QWidget* parent);

    void windowDidLoad() override;
    void next1();
    void next2();
    void back1();
    void back2();
    void send();
    void getRestoreApp();

    // The boxes, the scope choices and the rest of the window.
    QFrame *boxStep1, *boxStep2, *boxStep3, *boxStep4;
    QRadioButton *cell1, *cell2, *cell3;
    QProgressBar* progress;
    QLabel *lblLoading, *lblTop, *lblThe, *lblBottom, *lblTop3, *lblTop4;
    QPushButton *btnCancel, *btnNext1, *btnNext2, *btnBack, *btnSend, *btnBack2;
    std::string appFolder;

    // The first step's sentence after "The", as rich text: the words that name the companion
    // application (the first place they stand) lead to its store page, the rest is plain text.
    // When the sentence does not hold the name, the whole sentence leads there.
    static QString StoreLinkText(const QString& sentence, const QString& appName);

    // The kinds the scheduled send sends for the choice and the current tab.
    std::vector<SendKind> kindsToSend() const;
    // What the last send did (filled when it has finished).
    const std::vector<SendToDevice::Delivery>& deliveries() const { return deliveries_; }
    bool sendFinished() const { return sendFinished_; }

private:
    void scheduledSend();
    void sendEnded(std::vector<SendToDevice::Delivery> deliveries, bool libraryLoaded, bool anyKind);
    void steps(std::optional<bool> one, std::optional<bool> two, std::optional<bool> three,
               std::optional<bool> four);

    Services services_;
    std::vector<SendToDevice::Delivery> deliveries_;
    bool sendFinished_ = false;
};

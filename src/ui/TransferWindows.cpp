#include "ui/TransferWindows.h"

#include "app/MainThreadDispatcher.h"
#include "app/WindowTypes.h"
#include "config/LanguageConfig.h"
#include "export/ExportRun.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/NamedWidgets.h"
#include "ui/TitleAdapters.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

using TitleAdapters::ApplyTitle;
using TitleAdapters::kWhite;
using TitleAdapters::SetText;
using TitleAdapters::ToQString;
namespace TH = TitleHelpers;

using NamedWidgets::Texts;
using NamedWidgets::Named;
using NamedWidgets::Label;

namespace {

}  // namespace

// ---- ExportWindowController ----

ExportWindowController::ExportWindowController(Actions actions, QWidget* parent)
    : SmallDialog(parent, "ExportWindowController"), actions_(std::move(actions)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(10);
    lblHead = Label(this, "lblHead");
    lblHead->setProperty("heading", true);
    // Short captions beside a field: one line each, never squeezed into two.
    lblChooseFormat = Label(this, "lblChooseFormat", false);
    comboBox = Named(new QComboBox(this), "comboBox");
    comboBox->addItems({QStringLiteral(".csv"), QStringLiteral(".txt")});
    lblBrowse = Label(this, "lblBrowse");
    lblLocation = Label(this, "lblLocation", false);
    // A folder is chosen with Browse or typed here.
    location = Named(new QLineEdit(this), "location");
    location->setMinimumWidth(320);
    btnBrowse = Named(new QPushButton(this), "btnBrowse");
    cell1 = Named(new QRadioButton(this), "cell1");
    cell2 = Named(new QRadioButton(this), "cell2");
    cell3 = Named(new QRadioButton(this), "cell3");
    auto* scopes = new QButtonGroup(this);
    for (QRadioButton* cell : {cell1, cell2, cell3}) scopes->addButton(cell);
    cell3->setChecked(true);
    lblhint = Label(this, "lblhint");
    lblhint->setProperty("dim", true);
    btnExport = Named(new QPushButton(this), "btnExport");
    btnExport->setProperty("primary", true);
    btnExport->setDefault(true);

    auto* format = new QHBoxLayout;
    format->addWidget(lblChooseFormat);
    format->addWidget(comboBox);
    format->addStretch();
    auto* where = new QHBoxLayout;
    where->addWidget(lblLocation);
    where->addWidget(location, 1);
    where->addWidget(btnBrowse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnExport);
    layout->addWidget(lblHead);
    layout->addLayout(format);
    layout->addWidget(lblBrowse);
    layout->addLayout(where);
    for (QRadioButton* cell : {cell1, cell2, cell3}) layout->addWidget(cell);
    layout->addWidget(lblhint);
    layout->addLayout(buttons);
    connect(btnBrowse, &QPushButton::clicked, this, [this] { browse(); });
    connect(btnExport, &QPushButton::clicked, this, [this] { finalexport(); });
    windowDidLoad();
}

void ExportWindowController::windowDidLoad() {
    LanguageConfig& texts = Texts();
    setWindowTitle(ToQString(texts.ExportDialogWindowTitle()));
    SetText(lblHead, texts.ExportDialogWindowTitle());
    SetText(lblChooseFormat, texts.ExportDialogWindowChooseFileFormat());
    SetText(lblBrowse, texts.ExportDialogWindowChooseWhereYouWantToSaveTheFiles());
    SetText(lblhint, texts.ExportDialogWindowPhotosAndVideosInformationText());
    SetText(lblLocation, texts.ExportDialogWindowLocation());
    ApplyTitle(btnBrowse, TH::setButtonTitleFor(texts.CommonBrowse(), kWhite));
    btnBrowse->setToolTip(ToQString(texts.CommonBrowse()));
    cell1->setText(ToQString(texts.ExportDialogWindowExportSelectedDataOnly()));
    cell2->setText(ToQString(texts.ExportDialogWindowExportAllDataFromCurrentTab()));
    cell3->setText(ToQString(texts.ExportDialogWindowExportAllData()));
    ApplyTitle(btnExport, TH::setButtonTitleForWithPadding(texts.CommonExport(), kWhite, 14.0f, 8));
    btnExport->setToolTip(ToQString(texts.CommonExport()));
}

void ExportWindowController::browse() {
    const QString folder = actions_.chooseFolder ? actions_.chooseFolder() : QString();
    // The folder panel has closed: the keyboard is this dialog's again (Escape closes it).
    raise();
    activateWindow();
    if (folder.isEmpty() || refused(folder)) return;
    location->setText(folder);
}

bool ExportWindowController::refused(const QString& folder) {
    const QString why = actions_.refusal ? actions_.refusal(folder) : QString();
    if (why.isEmpty()) return false;
    if (actions_.alert) actions_.alert({why.toStdString(), "", {Texts().CommonOK().value_or("OK")}});
    return true;
}

void ExportWindowController::finalexport() {
    if (location->text().trimmed().isEmpty()) {
        if (actions_.alert)
            actions_.alert({"Please choose where you wish to export by clicking the \"Browse\" button.", "",
                            {"Close"}});
        return;
    }
    // A typed location must be what the folder panel would give: a folder that exists, named
    // by its whole path ("~" standing for the home folder).
    QString typed = location->text().trimmed();
    if (typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/"))) typed = QDir::homePath() + typed.mid(1);
    const QFileInfo folder(typed);
    if (!folder.isAbsolute() || !folder.isDir()) {
        if (actions_.alert)
            actions_.alert({Texts().ExportNoFolderThere().value_or("There is no folder at this location."),
                            typed.toStdString(), {"Close"}});
        location->setFocus();
        return;
    }
    const QString where = QDir::cleanPath(folder.absoluteFilePath());
    // A backup folder is only ever read: the dialog stays open for another folder.
    if (refused(where)) {
        location->setFocus();
        return;
    }
    if (actions_.publishButtonEvent) actions_.publishButtonEvent("Export");
    const QString extension = comboBox->currentText();
    // The dialog closes first: the scope may open panels of its own.
    close();
    if (cell3->isChecked()) {
        if (actions_.exportAll) actions_.exportAll(where, extension);
    } else if (cell2->isChecked()) {
        if (actions_.exportCurrentTab) actions_.exportCurrentTab(where, extension);
    } else if (cell1->isChecked()) {
        if (actions_.exportTicked) actions_.exportTicked(where, extension);
    }
}

// ---- ExportProgressWindow ----

ExportProgressWindow::ExportProgressWindow(std::function<void()> cancel, QWidget* parent)
    : SmallDialog(parent, "ExportingDialogWindow"), cancel_(std::move(cancel)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    lblWait = Label(this, "lblWait");
    lblWait->setProperty("heading", true);
    bar = Named(new QProgressBar(this), "bar");
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    lblCurrent = Label(this, "lblCurrent");
    lblCurrent->setProperty("dim", true);
    lblSummary = Label(this, "lblSummary");
    lblSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblSummary->hide();
    btnClose = Named(new QPushButton(this), "btnClose");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnClose);
    layout->addWidget(lblWait);
    layout->addWidget(bar);
    layout->addWidget(lblCurrent);
    layout->addWidget(lblSummary);
    layout->addLayout(buttons);
    connect(btnClose, &QPushButton::clicked, this, [this] {
        if (!finished_ && cancel_) {
            cancel_();
            btnClose->setEnabled(false);
            return;
        }
        close();
    });
    windowDidLoad();
    setMinimumWidth(460);
}

void ExportProgressWindow::windowDidLoad() {
    LanguageConfig& texts = Texts();
    setWindowTitle(ToQString(texts.ExportDialogWindowTitle()));
    // Once the export has ended, the heading says how it ended and the button closes.
    if (finished_)
        drawEnd();
    else
        SetText(lblWait, texts.ExportingDialogWindowViewPleaseWait());
    ApplyTitle(btnClose, TH::setButtonTitleFor(finished_ ? texts.CommonOK() : texts.CommonCancel(), kWhite));
}

void ExportProgressWindow::progress(const ExportProgress& p) {
    if (finished_) return;
    bar->setRange(0, static_cast<int>(p.steps));
    bar->setValue(static_cast<int>(p.step > 0 ? p.step - 1 : 0));
    QString text = QString::fromStdString(p.name);
    if (p.items > 0) text += QStringLiteral("  (%1 / %2)").arg(p.item).arg(p.items);
    lblCurrent->setText(text);
}

void ExportProgressWindow::finished(const ExportReport& report) {
    finished_ = true;
    report_ = report;
    bar->setRange(0, 1);
    bar->setValue(1);
    lblCurrent->hide();
    lblSummary->show();
    windowDidLoad();
    btnClose->setEnabled(true);
}

void ExportProgressWindow::drawEnd() {
    const ExportReport& report = report_;
    std::size_t written = 0, records = 0;
    QStringList failed, skipped;
    for (const ExportEntry& entry : report.entries) {
        const QString name = QString::fromStdString(entry.path.substr(entry.path.find_last_of('/') + 1));
        switch (entry.status) {
            case ExportStatus::Written:
                ++written;
                records += entry.records;
                break;
            case ExportStatus::Failed: failed << name; break;
            case ExportStatus::AlreadyThere: skipped << name; break;
            default: break;
        }
    }
    LanguageConfig& texts = Texts();
    const auto said = [](const OptString& text, const char* fallback,
                         std::initializer_list<std::string> values = {}) {
        return QString::fromStdString(FillPlaceholders(text.value_or(fallback), values));
    };
    QString summary;
    if (report.cancelled)
        summary += said(texts.ExportStoppedBeforeTheEnd(), "The export was stopped before the end.") + "\n";
    const std::string files = std::to_string(written), items = std::to_string(records);
    summary += report.folder.empty()
                   ? said(texts.ExportFilesWritten(), "{0} file(s) written ({1} records and files).", {files, items})
                   : said(texts.ExportFilesWrittenInto(), "{0} file(s) written ({1} records and files) into\n{2}.",
                          {files, items, report.folder});
    if (!skipped.isEmpty())
        summary += "\n" + said(texts.ExportLeftAsTheyWere(), "Left as they were (already there): {0}.",
                                {skipped.join(QStringLiteral(", ")).toStdString()});
    if (!failed.isEmpty())
        summary += "\n" + said(texts.ExportNotWritten(), "Not written: {0}.",
                                {failed.join(QStringLiteral(", ")).toStdString()});
    lblWait->setText(report.ok() && !report.cancelled ? said(texts.ExportComplete(), "Export Complete")
                                                      : said(texts.ExportIncomplete(), "The export is incomplete"));
    lblSummary->setText(summary);
    // The summary takes more lines than the progress did: the window grows to show them all.
    layout()->activate();
    const int needed = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width()) : sizeHint().height();
    if (height() < needed) resize(width(), needed);
}

// ---- AppWindowController ----

AppWindowController::AppWindowController(Services services, QWidget* parent)
    : SmallDialog(parent, "AppWindowController"), services_(std::move(services)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    const auto box = [&](const char* name) {
        auto* frame = Named(new QFrame(this), name);
        auto* inner = new QVBoxLayout(frame);
        inner->setContentsMargins(0, 0, 0, 0);
        inner->setSpacing(10);
        layout->addWidget(frame);
        return frame;
    };
    const auto buttonRow = [](QFrame* frame, std::initializer_list<QPushButton*> buttons) {
        auto* row = new QHBoxLayout;
        row->addStretch();
        for (QPushButton* b : buttons) row->addWidget(b);
        static_cast<QVBoxLayout*>(frame->layout())->addStretch();
        static_cast<QVBoxLayout*>(frame->layout())->addLayout(row);
    };

    // Step 1: what the send needs.
    boxStep1 = box("boxStep1");
    lblTop = Label(boxStep1, "lblTop");
    lblTop->setProperty("heading", true);
    auto* needs = new QHBoxLayout;
    lblThe = Named(new QLabel(boxStep1), "lblThe");
    lblBottom = Label(boxStep1, "lblBottom");
    lblBottom->setTextFormat(Qt::RichText);
    connect(lblBottom, &QLabel::linkActivated, this, [this] { getRestoreApp(); });
    // "The" begins the sentence in the same label, so that its wrapped lines start at the
    // left edge like the first; lblThe only holds the word.
    lblThe->hide();
    needs->addWidget(lblBottom, 1);
    btnCancel = Named(new QPushButton(boxStep1), "btnCancel");
    btnCancel->setMinimumWidth(150);
    btnNext1 = Named(new QPushButton(boxStep1), "btnNext1");
    btnNext1->setProperty("primary", true);
    static_cast<QVBoxLayout*>(boxStep1->layout())->addWidget(lblTop);
    static_cast<QVBoxLayout*>(boxStep1->layout())->addLayout(needs);
    buttonRow(boxStep1, {btnCancel, btnNext1});

    // Step 2: not reached by the steps of the wizard; it holds the second pair of buttons.
    boxStep2 = box("boxStep2");
    btnNext2 = Named(new QPushButton(boxStep2), "btnNext2");
    btnBack2 = Named(new QPushButton(boxStep2), "btnBack2");
    buttonRow(boxStep2, {btnBack2, btnNext2});

    // Step 3: what to send.
    boxStep3 = box("boxStep3");
    lblTop3 = Label(boxStep3, "lblTop3");
    lblTop3->setProperty("heading", true);
    cell1 = Named(new QRadioButton(boxStep3), "cell1");
    cell2 = Named(new QRadioButton(boxStep3), "cell2");
    cell3 = Named(new QRadioButton(boxStep3), "cell3");
    auto* scopes = new QButtonGroup(this);
    for (QRadioButton* cell : {cell1, cell2, cell3}) scopes->addButton(cell);
    cell1->setChecked(true);
    btnBack = Named(new QPushButton(boxStep3), "btnBack");
    btnSend = Named(new QPushButton(boxStep3), "btnSend");
    btnSend->setProperty("primary", true);
    static_cast<QVBoxLayout*>(boxStep3->layout())->addWidget(lblTop3);
    for (QRadioButton* cell : {cell1, cell2, cell3}) static_cast<QVBoxLayout*>(boxStep3->layout())->addWidget(cell);
    buttonRow(boxStep3, {btnBack, btnSend});

    // Step 4: the send.
    boxStep4 = box("boxStep4");
    lblTop4 = Label(boxStep4, "lblTop4");
    lblTop4->setProperty("heading", true);
    lblLoading = Label(boxStep4, "lblLoading");
    progress = Named(new QProgressBar(boxStep4), "progress");
    progress->setRange(0, 1);
    progress->setTextVisible(false);
    progress->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{lblTop4, lblLoading, progress})
        static_cast<QVBoxLayout*>(boxStep4->layout())->addWidget(w);
    static_cast<QVBoxLayout*>(boxStep4->layout())->addStretch();

    connect(btnCancel, &QPushButton::clicked, this, [this] { close(); });
    connect(btnNext1, &QPushButton::clicked, this, [this] { next1(); });
    connect(btnNext2, &QPushButton::clicked, this, [this] { next2(); });
    // Back from the choice leaves it (back2); the buttons of step 2 step as they are named.
    connect(btnBack, &QPushButton::clicked, this, [this] { back2(); });
    connect(btnBack2, &QPushButton::clicked, this, [this] { back1(); });
    connect(btnSend, &QPushButton::clicked, this, [this] { send(); });
    steps(false, true, true, true);
    setMinimumSize(520, 300);
    windowDidLoad();
}

QString AppWindowController::StoreLinkText(const QString& sentence, const QString& appName) {
    const auto link = [](const QString& words) {
        return QStringLiteral("<a href='store'>%1</a>").arg(words.toHtmlEscaped());
    };
    const qsizetype at = appName.trimmed().isEmpty() ? -1 : sentence.indexOf(appName.trimmed());
    if (at < 0) return link(sentence);
    const qsizetype end = at + appName.trimmed().size();
    return sentence.left(at).toHtmlEscaped() + link(sentence.mid(at, end - at)) + sentence.mid(end).toHtmlEscaped();
}

void AppWindowController::windowDidLoad() {
    LanguageConfig& texts = Texts();
    setWindowTitle(ToQString(texts.btnSendDataText()));
    SetText(lblLoading, texts.AppWindowControllerWait());
    ApplyTitle(btnCancel, TH::setButtonTitleForWithPadding(texts.CommonCancel(), kWhite, 14.0f, 8));
    btnCancel->setToolTip(ToQString(texts.CommonCancel()));
    SetText(lblTop, texts.AppWindowControllerScreen2Top());
    SetText(lblThe, texts.AppWindowControllerThe());
    lblBottom->setText(StoreLinkText(ToQString(texts.AppWindowControllerThe()).trimmed() + QLatin1Char(' ') +
                                         ToQString(texts.AppWindowControllerScreen2Bottom()).trimmed(),
                                     ToQString(texts.AppWindowControllerAppName())));
    const auto button = [](QPushButton* b, const OptString& text) {
        ApplyTitle(b, TH::setButtonTitleFor(text, kWhite));
        b->setToolTip(ToQString(text));
    };
    button(btnNext1, texts.CommonNext());
    SetText(lblTop3, texts.AppWindowControllerScreen3Top());
    button(btnNext2, texts.CommonNext());
    button(btnBack, texts.CommonBack());
    SetText(lblTop4, texts.AppWindowControllerScreen4Top());
    button(btnSend, texts.CommonSend());
    button(btnBack2, texts.CommonBack());
    cell1->setText(ToQString(texts.AppWindowControllerScreen4Cell1()));
    cell2->setText(ToQString(texts.AppWindowControllerScreen4Cell2()));
    cell3->setText(ToQString(texts.AppWindowControllerScreen4Cell3()));
}

void AppWindowController::steps(std::optional<bool> one, std::optional<bool> two, std::optional<bool> three,
                                std::optional<bool> four) {
    // Each flag: hidden (true), shown (false), or left as it is.
    const std::pair<QFrame*, std::optional<bool>> boxes[] = {
        {boxStep1, one}, {boxStep2, two}, {boxStep3, three}, {boxStep4, four}};
    for (const auto& [frame, hidden] : boxes)
        if (hidden) frame->setHidden(*hidden);
}

void AppWindowController::next1() {
    appFolder = SendToDevice::AppFolder(*services_.record);
    steps(true, true, false, true);
}

void AppWindowController::next2() {
    steps(true, true, false, true);
}

void AppWindowController::back1() {
    steps(false, true, std::nullopt, true);
}

void AppWindowController::back2() {
    steps(false, std::nullopt, true, true);
}

void AppWindowController::getRestoreApp() {
    // Without a configured address the opener says that there is none.
    if (services_.openAddress) services_.openAddress(QString::fromStdString(services_.storeAddress.value_or("")));
}

void AppWindowController::send() {
    if (!services_.firstDevice || !services_.firstDevice()) {
        if (services_.alert) services_.alert({SendFiles::NoDeviceMessage(SendKind::Contacts), "", {"OK"}});
        return;
    }
    steps(true, true, true, false);
    progress->setRange(0, 0);
    progress->show();
    btnSend->setEnabled(false);
    QTimer::singleShot(services_.delay, this, [this] { scheduledSend(); });
}

std::vector<SendKind> AppWindowController::kindsToSend() const {
    if (cell2->isChecked()) {
        switch (static_cast<TabTag>(services_.record->tabItem.load())) {
            case TabTag::TabTagSMS: return {SendKind::Messages};
            case TabTag::TabTagContacts: return {SendKind::Contacts};
            case TabTag::TabTagCalls: return {SendKind::CallHistory};
            case TabTag::TabTagNotes: return {SendKind::Notes};
            case TabTag::TabTagCalendar: return {SendKind::Calendar};
            case TabTag::TabTagWhatsApp: return {SendKind::WhatsApp};
            default: return {};
        }
    }
    if (cell1->isChecked()) return SendFiles::AllKinds();
    return {};
}

void AppWindowController::scheduledSend() {
    const std::vector<SendKind> kinds = kindsToSend();
    if (kinds.empty()) {
        sendEnded({}, true, false);
        return;
    }
    SendToDevice::Inputs inputs;
    inputs.record = services_.record;
    inputs.folder = services_.folder;
    inputs.library = services_.library;
    inputs.configuredBundle = services_.configuredBundle;
    inputs.firstDevice = services_.firstDevice;
    QPointer<AppWindowController> self(this);
    MainThreadDispatcher* dispatcher = services_.dispatcher;
    std::jthread worker([inputs = std::move(inputs), kinds, folder = appFolder, dispatcher, self,
                         afterEach = services_.afterEach](std::stop_token stop) mutable {
        SendToDevice sender(std::move(inputs));
        auto deliveries = sender.send(kinds, folder, stop, afterEach);
        const bool loaded = sender.libraryLoaded();
        dispatcher->post([self, deliveries = std::move(deliveries), loaded]() mutable {
            if (self) self->sendEnded(std::move(deliveries), loaded, true);
        });
    });
    if (services_.keepThread) services_.keepThread(std::move(worker));
}

void AppWindowController::sendEnded(std::vector<SendToDevice::Delivery> deliveries, bool libraryLoaded,
                                    bool anyKind) {
    deliveries_ = std::move(deliveries);
    sendFinished_ = true;
    progress->setRange(0, 1);
    progress->hide();
    if (anyKind && services_.publishButtonEvent) services_.publishButtonEvent("Send");
    // Say what did not arrive: no device, a library that did not load, files no companion
    // application took.
    std::string noDevice;
    std::vector<std::string> missed;
    for (const auto& d : deliveries_) {
        if (d.noDevice && noDevice.empty()) noDevice = SendFiles::NoDeviceMessage(d.kind);
        if (!d.noDevice && !d.delivered()) missed.push_back(SendFiles::FileName(d.kind));
    }
    if (services_.alert) {
        if (!libraryLoaded) {
            services_.alert({"The companion library could not be loaded; nothing was sent to the device.", "", {"OK"}});
        } else if (!missed.empty()) {
            std::string names;
            for (const auto& name : missed) names += (names.empty() ? "" : ", ") + name;
            services_.alert({"Some files did not reach the companion app on the device: " + names + ".",
                             "Check that the companion app is installed and the device is connected and unlocked.",
                             {"OK"}});
        } else if (!noDevice.empty()) {
            services_.alert({noDevice, "", {"OK"}});
        }
    }
    if (services_.rating) services_.rating();
    close();
}

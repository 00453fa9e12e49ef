// The export dialog on the results of a scan of a generated backup: where to, which scope, the
// ticked records flowing from the screens into the files, and what the export reports.
#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "common/AppPaths.h"
#include "demo-backup/DemoBackup.h"
#include "records/Contact.h"
#include "records/SMS.h"
#include "ui/ChatScreens.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"
#include "ui/PhotoBrowser.h"
#include "ui/RecordScreens.h"
#include "ui/TransferWindows.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The one folder an export made inside the location.
fs::path OnlyFolder(const QString& location) {
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(location.toStdString()))
        if (entry.is_directory()) folders.push_back(entry.path());
    return folders.size() == 1 ? folders.front() : fs::path();
}

// Every file and folder below the folder, with each file's size.
std::set<std::pair<std::string, std::uintmax_t>> Contents(const fs::path& folder) {
    std::set<std::pair<std::string, std::uintmax_t>> seen;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        seen.emplace(entry.path().string(), entry.is_regular_file() ? entry.file_size() : 0);
    return seen;
}

}  // namespace

class ExportDialogTest : public QObject {
    Q_OBJECT
    UiFixture f;
    QTemporaryDir dir;
    demo::DemoBackupContents contents;

    MainMenu& w() { return f.application->window(); }

    ExportWindowController* dialog() {
        w().Export();
        return static_cast<ExportWindowController*>(w().exportDialog());
    }

    void waitForExport() {
        QVERIFY(WaitFor([&] { return w().exportsRunning() == 0; }));
        QVERIFY(w().exportProgressWindow() && w().exportProgressWindow()->isFinished());
    }

private slots:
    void initTestCase() {
        demo::DemoBackupOptions options;
        options.messages = 30;
        options.contacts = 12;
        options.calls = 12;
        options.notes = 4;
        options.events = 4;
        options.whatsAppMessages = 10;
        options.visits = 4;
        options.photos = 2;
        contents = demo::WriteDemoBackup(fs::path(dir.path().toStdString()) / "backup", options);
        f.start();
        QVERIFY(f.scan(contents.folder.string(), DataType::DataTypeAll));
        w().dashboard()->close();
    }

    void exportNeedsALocation() {
        ExportWindowController* export_ = dialog();
        QVERIFY(export_ && export_->isVisible());
        QCOMPARE(export_->cell3->isChecked(), true);
        QString message;
        AnswerNextMessageBox(QStringLiteral("Close"), &message);
        export_->btnExport->click();
        QCOMPARE(message, QStringLiteral("Please choose where you wish to export by clicking the \"Browse\" button."));
        QVERIFY(export_->isVisible());
        // Browse fills the location from the folder panel.
        w().chooseFolder = [](const QString&) { return QStringLiteral("/chosen/folder"); };
        export_->btnBrowse->click();
        QCOMPARE(export_->location->text(), QStringLiteral("/chosen/folder"));
        export_->close();
    }

    // The short captions beside the format list and the location field stand on one line.
    void captionsStandOnOneLine() {
        ExportWindowController* export_ = dialog();
        QVERIFY(export_);
        QApplication::processEvents();
        for (QLabel* caption : {export_->lblChooseFormat, export_->lblLocation}) {
            const int needed = caption->fontMetrics().horizontalAdvance(caption->text());
            const int lines = caption->wordWrap() ? caption->heightForWidth(caption->width()) / caption->fontMetrics().lineSpacing() : 1;
            QVERIFY2(caption->width() >= needed && lines == 1,
                     qPrintable(QStringLiteral("%1: %2 < %3 or %4 lines").arg(caption->text()).arg(caption->width()).arg(needed).arg(lines)));
        }
        export_->close();
    }

    void tickedExportWithNothingTickedSaysSo() {
        QTemporaryDir out;
        ExportWindowController* export_ = dialog();
        export_->location->setText(out.path());
        export_->cell1->setChecked(true);
        QString message;
        AnswerNextMessageBox(QString(), &message);
        export_->finalexport();
        QVERIFY(message.startsWith(QStringLiteral("Nothing is ticked")));
        QVERIFY(fs::is_empty(out.path().toStdString()));
        QVERIFY(f.saw("button Export"));
    }

    void ticksMadeOnTheScreensAreWhatTheTickedExportWrites() {
        // One existing contact, ticked on the contacts screen.
        w().onAppsSelectionChanged(TabTag::TabTagContacts);
        auto* contacts = dynamic_cast<ContactViewController*>(w().viewController());
        QVERIFY(contacts);
        contacts->segmentedControl->setSelectedSegment(1);
        contacts->toggleChanged();
        contacts->model->setData(contacts->model->index(2, 0), Qt::Checked, Qt::CheckStateRole);
        const auto ticked = contacts->shown().rows[2].record;
        // One conversation, ticked on the messages screen for every segment.
        w().onAppsSelectionChanged(TabTag::TabTagSMS);
        auto* messages = dynamic_cast<SMSViewController*>(w().viewController());
        QVERIFY(messages);
        messages->segmentedControl->setSelectedSegment(0);
        messages->toggleChanged();
        const std::string address = messages->shown().rows.front().contact;
        messages->model->setData(messages->model->index(0, 0), Qt::Checked, Qt::CheckStateRole);
        std::size_t ofAddress = 0;
        for (auto* list : {&f.record.SMSContent, &f.record.DeletedSMS})
            for (const auto& m : list->snapshot()) ofAddress += m->Address() == OptString(address);
        // The tick survives a search and a trip to another tab.
        w()._searchField->setText(QStringLiteral("zzzz-no-such-text"));
        w().onAppsSelectionChanged(TabTag::TabTagNotes);
        w().onAppsSelectionChanged(TabTag::TabTagContacts);
        QCOMPARE(ticked->isChecked(), 1);

        QTemporaryDir out;
        ExportWindowController* export_ = dialog();
        export_->location->setText(out.path());
        export_->cell1->setChecked(true);
        export_->finalexport();
        waitForExport();
        const fs::path folder = OnlyFolder(out.path());
        QVERIFY(!folder.empty());
        const auto contactLines = Lines(folder / "Addressbook.csv");
        QCOMPARE(contactLines.size(), std::size_t{1});
        QVERIFY(contactLines[0].find(*ticked->FirstName()) != std::string::npos);
        QCOMPARE(Lines(folder / "SMS.csv").size(), ofAddress);
        for (const char* absent : {"Apps.csv", "Map.csv", "Calendar.csv", "Call history.csv"})
            QVERIFY2(!fs::exists(folder / absent), absent);
        QVERIFY(w().exportProgressWindow()->lblSummary->text().contains(QString::fromStdString(folder.string())));
        QVERIFY(WaitFor([&] { return w().openDialog("StarFeedbackWindow") != nullptr; }, 5000));
        QCOMPARE(static_cast<StarFeedbackWindow*>(w().openDialog("StarFeedbackWindow"))->completeLabel->text(),
                 QStringLiteral("Export Complete"));
        w().openDialog("StarFeedbackWindow")->close();
        w().exportProgressWindow()->close();
    }

    void everythingGoesIntoADatedFolder() {
        QTemporaryDir out;
        ExportWindowController* export_ = dialog();
        export_->location->setText(out.path());
        export_->comboBox->setCurrentText(QStringLiteral(".txt"));
        export_->cell3->setChecked(true);
        export_->finalexport();
        QVERIFY(!export_->isVisible());
        waitForExport();
        const fs::path folder = OnlyFolder(out.path());
        QVERIFY(folder.filename().string().rfind(contents.deviceName + " - ", 0) == 0);
        for (const char* file : {"SMS.txt", "Addressbook.txt", "Call history.txt", "Notes.txt", "Calendar.txt",
                                 "Internet history.txt", "WhatsApp.txt", "Photos"})
            QVERIFY2(fs::exists(folder / file), file);
        QCOMPARE(Lines(folder / "SMS.txt").size(), f.record.SMSContent.size() + f.record.DeletedSMS.size());
        QVERIFY(w().exportProgressWindow()->lblWait->text() == QStringLiteral("Export Complete"));
        w().exportProgressWindow()->close();
        for (QDialog* rating : w().findChildren<QDialog*>(QStringLiteral("StarFeedbackWindow"))) rating->close();
    }

    void theCurrentTabGoesIntoOneFileNamedInASavePanel() {
        QTemporaryDir out;
        QString proposedFolder, proposedName;
        w().chooseSaveFile = [&](const QString& folder, const QString& name) {
            proposedFolder = folder;
            proposedName = name;
            return QDir(out.path()).filePath(QStringLiteral("contacts.csv"));
        };
        w().onAppsSelectionChanged(TabTag::TabTagContacts);
        ExportWindowController* export_ = dialog();
        export_->location->setText(out.path());
        export_->cell2->setChecked(true);
        export_->finalexport();
        QCOMPARE(proposedName, QStringLiteral("Addressbook.csv"));
        // The panel opens in the folder chosen in the dialog.
        QCOMPARE(proposedFolder, out.path());
        // Every contact, ticked or not.
        const std::size_t contacts = f.record.ContactContent.size() + f.record.DeletedContact.size();
        QCOMPARE(Lines(fs::path(out.path().toStdString()) / "contacts.csv").size(), contacts);
        // Said as the other exports say it: what was written, and where.
        ExportProgressWindow* report = w().exportProgressWindow();
        QVERIFY(report && report->isVisible() && report->isFinished());
        QCOMPARE(report->lblWait->text(), QStringLiteral("Export Complete"));
        QVERIFY2(report->lblSummary->text().contains(QStringLiteral("1 file(s) written (%1 records").arg(contacts)) &&
                     report->lblSummary->text().contains(out.path()),
                 qPrintable(report->lblSummary->text()));
        report->close();
        QVERIFY(w().openDialog("StarFeedbackWindow"));
        w().openDialog("StarFeedbackWindow")->close();
        // The WhatsApp tab proposes no name; a cancelled panel writes nothing and says so, and
        // no completion is reported.
        w().onAppsSelectionChanged(TabTag::TabTagWhatsApp);
        w().chooseSaveFile = [&](const QString&, const QString& name) {
            proposedName = name;
            return QString();
        };
        QString said;
        AnswerNextMessageBox(QString(), &said);
        w().OnExportClick(out.path(), QStringLiteral(".csv"));
        QCOMPARE(proposedName, QString());
        QCOMPARE(said, QStringLiteral("Nothing was exported."));
        QVERIFY(!w().openDialog("StarFeedbackWindow"));
        for (QDialog* rating : w().findChildren<QDialog*>(QStringLiteral("StarFeedbackWindow"))) rating->close();
    }

    // A backup folder is only ever read: an export into it, into a folder inside it, or into
    // either reached through a link, typed or chosen, is refused with the reason, and nothing
    // is written.
    void nothingIsExportedIntoTheBackupFolder() {
        QTemporaryDir links;
        const fs::path backup = contents.folder;
        fs::create_directory(backup / "inner");
        fs::create_directory_symlink(backup, fs::path(links.path().toStdString()) / "to-backup");
        const QString link = QDir(links.path()).filePath(QStringLiteral("to-backup"));
        const auto before = Contents(backup);
        const QString backupPath = QString::fromStdString(backup.string());
        struct Case {
            const char* what;
            QString folder;
            bool browse;  // chosen in the folder panel, else typed
        };
        const Case cases[] = {
            {"the backup folder, typed", backupPath, false},
            {"the backup folder with a trailing slash", backupPath + QLatin1Char('/'), false},
            {"a folder inside it", backupPath + QStringLiteral("/inner"), false},
            {"the backup through a link", link, false},
            {"a folder inside it through a link", link + QStringLiteral("/inner"), false},
            {"the backup folder, chosen with Browse", backupPath, true},
            {"a folder inside it, chosen with Browse", link + QStringLiteral("/inner"), true},
        };
        for (const Case& c : cases) {
            ExportWindowController* export_ = dialog();
            export_->cell3->setChecked(true);
            QString said;
            AnswerNextMessageBox(QString(), &said);
            if (c.browse) {
                // Refused as it is chosen: the location stays empty.
                w().chooseFolder = [&](const QString&) { return c.folder; };
                export_->btnBrowse->click();
                QVERIFY2(export_->location->text().isEmpty(), c.what);
            } else {
                export_->location->setText(c.folder);
                export_->finalexport();
            }
            QVERIFY2(said.contains(QStringLiteral("only ever reads a backup folder")) && said.contains(backupPath),
                     qPrintable(QStringLiteral("%1: %2").arg(QString::fromLatin1(c.what), said)));
            QVERIFY2(export_->isVisible(), c.what);
            QCOMPARE(w().exportsRunning(), 0);
            export_->close();
        }
        // The current tab's file, saved into the backup in the save panel.
        w().onAppsSelectionChanged(TabTag::TabTagContacts);
        w().chooseSaveFile = [&](const QString&, const QString&) { return link + QStringLiteral("/contacts.csv"); };
        QString said;
        AnswerNextMessageBox(QString(), &said);
        w().OnExportClick(QDir::tempPath(), QStringLiteral(".csv"));
        QVERIFY2(said.contains(QStringLiteral("only ever reads a backup folder")), qPrintable(said));
        // The photo page's own export.
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        w().photoGrid()->mediaModel()->setCheckedAt(0, true);
        w().chooseFolder = [&](const QString&) { return backupPath; };
        said.clear();
        AnswerNextMessageBox(QString(), &said);
        w().exportPhotos();
        QVERIFY2(said.contains(QStringLiteral("only ever reads a backup folder")), qPrintable(said));
        w().photoGrid()->mediaModel()->setCheckedAt(0, false);
        QVERIFY(WaitFor([&] { return w().exportsRunning() == 0; }));
        QVERIFY(Contents(backup) == before);
        fs::remove(backup / "inner");
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(ExportDialogTest)
#include "ExportDialogTest.moc"

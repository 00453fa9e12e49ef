#include "UiTestSupport.h"
#include "config/LanguageConfig.h"
#include "records/Account.h"
#include "records/Application.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/DynamicDictionary.h"
#include "ui/Screens.h"

#include <QTest>

#include <memory>

namespace {

// Puts records named by the words, numbered as given, into the screen's list.
using Filler = void (*)(BrimleyAppDelegate&, const std::vector<std::pair<int, std::string>>&);
using Factory = RecordTableScreen* (*)(BrimleyAppDelegate&, QWidget*);

// One record per (number, name) pair, named through the record's setter.
template <class Record, class List>
void Fill(List& list, void (Record::*setName)(OptString), const std::vector<std::pair<int, std::string>>& rows) {
    std::vector<std::shared_ptr<Record>> records;
    for (const auto& [number, name] : rows) {
        auto entry = std::make_shared<Record>();
        entry->setSlNo(number);
        (entry.get()->*setName)(name);
        records.push_back(entry);
    }
    list.replace(records);
}

void FillApplications(BrimleyAppDelegate& record, const std::vector<std::pair<int, std::string>>& rows) {
    Fill(record.ApplicationContent, &Application::setApplicationName, rows);
}

void FillAccounts(BrimleyAppDelegate& record, const std::vector<std::pair<int, std::string>>& rows) {
    Fill(record.AccountContent, &Account::setUsername, rows);
}

void FillDictionary(BrimleyAppDelegate& record, const std::vector<std::pair<int, std::string>>& rows) {
    Fill(record.UserDictContent, &DynamicDictionary::setUserKey, rows);
}

// The names of the screen's list, in the list's order.
using ListNames = QStringList (*)(const BrimleyAppDelegate&);

template <class Record>
QStringList Names(const SharedList<Record>& list, const OptString& (Record::*name)() const) {
    QStringList names;
    for (const auto& entry : list.snapshot()) names << QString::fromStdString(((*entry).*name)().value_or(""));
    return names;
}

QStringList ApplicationNames(const BrimleyAppDelegate& record) {
    return Names(record.ApplicationContent, &Application::ApplicationName);
}

QStringList AccountNames(const BrimleyAppDelegate& record) {
    return Names(record.AccountContent, &Account::Username);
}

QStringList DictionaryWords(const BrimleyAppDelegate& record) {
    return Names(record.UserDictContent, &DynamicDictionary::UserKey);
}

QStringList Column(const RecordTableScreen& screen, int column) {
    QStringList cells;
    for (int r = 0; r < screen.table()->rowCount(); ++r) cells << screen.table()->item(r, column)->text();
    return cells;
}

}  // namespace

Q_DECLARE_METATYPE(Filler)
Q_DECLARE_METATYPE(Factory)
Q_DECLARE_METATYPE(ListNames)

// The device details, the applications, accounts and user-dictionary tables, and the summary
// view's counts.
class SmallScreensTest : public QObject {
    Q_OBJECT

    void tableScreens() {
        QTest::addColumn<Factory>("factory");
        QTest::addColumn<Filler>("fill");
        QTest::addColumn<ListNames>("names");
        QTest::newRow("applications") << Factory(&ApplicationViewController) << Filler(&FillApplications)
                                      << ListNames(&ApplicationNames);
        QTest::newRow("accounts") << Factory(&AccountViewController) << Filler(&FillAccounts)
                                  << ListNames(&AccountNames);
        QTest::newRow("user dictionary") << Factory(&UserDataViewController) << Filler(&FillDictionary)
                                         << ListNames(&DictionaryWords);
    }

private slots:
    void deviceDetailsShowTheCurrentDevice() {
        BrimleyAppDelegate record;
        auto full = std::make_shared<DeviceInfo>();
        full->setDeviceName(std::string("Anna's iPhone"));
        full->setSerialNumber(std::string("F2LQX0ABGRY5"));
        full->setProductType(std::string("iPhone8,1"));
        full->setUniqueDeviceID(std::string("a1b2"));
        full->setProductVersion(std::string("9.3.2"));
        full->setFirmwareVersion(std::string("iBoot-2817"));
        full->setIMSI(std::string("262019876543210"));
        full->setIMEI(std::string("356789012345678"));
        full->setICICD(std::string("8949019876543210123"));
        record.deviceInfo.set(full);
        DeviceViewController screen(record);
        screen.update();
        QCOMPARE(screen.txtDeviceName->text(), QStringLiteral("Anna's iPhone"));
        QCOMPARE(screen.txtSerialNumber->text(), QStringLiteral("F2LQX0ABGRY5"));
        QCOMPARE(screen.txtProductType->text(), QStringLiteral("iPhone8,1"));
        QCOMPARE(screen.txtUDID->text(), QStringLiteral("a1b2"));
        QCOMPARE(screen.txtOS->text(), QStringLiteral("9.3.2"));
        QCOMPARE(screen.txtFirmware->text(), QStringLiteral("iBoot-2817"));
        QCOMPARE(screen.txtIMSI->text(), QStringLiteral("262019876543210"));
        QCOMPARE(screen.txtIMEI->text(), QStringLiteral("356789012345678"));
        QCOMPARE(screen.txtICICD->text(), QStringLiteral("8949019876543210123"));
        QVERIFY(!screen.respondsToFind() && !screen.respondsToToggleBack());

        // A backup that tells less: what it lacks stays empty, nothing of the earlier device.
        auto backup = std::make_shared<DeviceInfo>();
        backup->setDeviceName(std::string("Old Phone"));
        backup->setProductVersion(std::string("7.1"));
        record.deviceInfo.set(backup);
        screen.update();
        QCOMPARE(screen.txtDeviceName->text(), QStringLiteral("Old Phone"));
        QCOMPARE(screen.txtOS->text(), QStringLiteral("7.1"));
        for (QLabel* empty : {screen.txtSerialNumber, screen.txtProductType, screen.txtUDID, screen.txtFirmware,
                              screen.txtIMSI, screen.txtIMEI, screen.txtICICD})
            QVERIFY2(empty->text().isEmpty(), qPrintable(empty->objectName()));

        record.deviceInfo.set(nullptr);
        screen.update();
        QVERIFY(screen.txtDeviceName->text().isEmpty());
    }

    // Find steps through the matches, ignoring case, and wraps to the top.
    void findStepsThroughTheMatches_data() { tableScreens(); }
    void findStepsThroughTheMatches() {
        QFETCH(Factory, factory);
        QFETCH(Filler, fill);
        BrimleyAppDelegate record;
        fill(record, {{1, "beta"}, {2, "Alpha"}, {3, "gamma alpha"}, {4, "delta"}});
        std::unique_ptr<RecordTableScreen> screen(factory(record, nullptr));
        QVERIFY(screen->respondsToFind());
        QCOMPARE(screen->table()->rowCount(), 4);
        const QList<int> expected = {1, 2, 1};
        for (int row : expected) {
            screen->find(QStringLiteral("ALPHA"));
            QVERIFY(!screen->beeped());
            QCOMPARE(screen->table()->currentRow(), row);
            QCOMPARE(screen->table()->selectionModel()->selectedRows().size(), 1);
        }
        // No match: a beep, the selection stays.
        screen->find(QStringLiteral("omega"));
        QVERIFY(screen->beeped());
        QCOMPARE(screen->table()->currentRow(), 1);
        // An empty text does nothing, and does not beep.
        screen->find(QString());
        QVERIFY(!screen->beeped());
        QCOMPARE(screen->table()->currentRow(), 1);
        // The last row selected and the only match in it: that row again.
        screen->find(QStringLiteral("delta"));
        QCOMPARE(screen->table()->currentRow(), 3);
        screen->find(QStringLiteral("delta"));
        QCOMPARE(screen->table()->currentRow(), 3);
        QVERIFY(!screen->beeped());
    }

    void findInAnEmptyTableBeeps_data() { tableScreens(); }
    void findInAnEmptyTableBeeps() {
        QFETCH(Factory, factory);
        BrimleyAppDelegate record;
        std::unique_ptr<RecordTableScreen> screen(factory(record, nullptr));
        QCOMPARE(screen->table()->rowCount(), 0);
        screen->find(QStringLiteral("a"));
        QVERIFY(screen->beeped());
    }

    // A first click sorts ascending, every further click on the same column descending, a
    // click on another column ascending again; numbers sort by value. The record's list takes
    // the order shown, so that an export writes it.
    void headerClicksSort_data() { tableScreens(); }
    void headerClicksSort() {
        QFETCH(Factory, factory);
        QFETCH(Filler, fill);
        QFETCH(ListNames, names);
        BrimleyAppDelegate record;
        fill(record, {{10, "beta"}, {2, "alpha"}, {1, "gamma"}});
        std::unique_ptr<RecordTableScreen> screen(factory(record, nullptr));
        const struct {
            int column;
            QStringList shown;
        } clicks[] = {
            {1, {"alpha", "beta", "gamma"}}, {1, {"gamma", "beta", "alpha"}}, {1, {"gamma", "beta", "alpha"}},
            {0, {"gamma", "alpha", "beta"}}, {0, {"beta", "alpha", "gamma"}},
        };
        for (const auto& click : clicks) {
            screen->sortByColumn(click.column);
            QCOMPARE(Column(*screen, 1), click.shown);
            QCOMPARE(names(record), click.shown);
        }
        QCOMPARE(Column(*screen, 0), (QStringList{"10", "2", "1"}));
        // Find follows the order shown.
        screen->find(QStringLiteral("a"));
        QCOMPARE(screen->table()->item(screen->table()->currentRow(), 1)->text(), QStringLiteral("beta"));
    }

    void matchingIgnoresCaseAndEmptyFields() {
        const RecordTableScreen::Row named{{QStringLiteral("1"), QStringLiteral("Mail")}, QStringLiteral("Mail"), {}};
        const RecordTableScreen::Row unnamed{{QStringLiteral("2"), QString()}, QString(), {}};
        QVERIFY(RecordTableScreen::matchName(QStringLiteral("mai"), named));
        QVERIFY(RecordTableScreen::matchName(QStringLiteral("MAIL"), named));
        QVERIFY(!RecordTableScreen::matchName(QStringLiteral("x"), named));
        QVERIFY(!RecordTableScreen::matchName(QStringLiteral("a"), unnamed));
    }

    // The summary view: per data type its existing and deleted records, and the totals.
    void summaryShowsTheCountsOfEveryType() {
        BrimleyAppDelegate record;
        struct Case {
            TabTag tab;
            std::atomic<std::int32_t> BrimleyAppDelegate::*existing;
            std::atomic<std::int32_t> BrimleyAppDelegate::*deleted;
        };
        const Case cases[] = {
            {TabTag::TabTagSMS, &BrimleyAppDelegate::SMSCount, &BrimleyAppDelegate::DeletedSMSCount},
            {TabTag::TabTagContacts, &BrimleyAppDelegate::ContactCount, &BrimleyAppDelegate::DeletedContactCount},
            {TabTag::TabTagCalls, &BrimleyAppDelegate::CallLogCount, &BrimleyAppDelegate::DeletedCallLogCount},
            {TabTag::TabTagCalendar, &BrimleyAppDelegate::CalendarCount, &BrimleyAppDelegate::DeletedCalendarCount},
            {TabTag::TabTagNotes, &BrimleyAppDelegate::NoteCount, &BrimleyAppDelegate::DeletedNoteCount},
            {TabTag::TabTagInternet, &BrimleyAppDelegate::InternetCount, &BrimleyAppDelegate::DeletedInternetCount},
            {TabTag::TabTagPhotos, &BrimleyAppDelegate::PhotosCount, &BrimleyAppDelegate::DeletedPhotosCount},
            {TabTag::TabTagVideos, &BrimleyAppDelegate::VideosCount, &BrimleyAppDelegate::DeletedVideosCount},
            {TabTag::TabTagWhatsApp, &BrimleyAppDelegate::WhatsAppCount, &BrimleyAppDelegate::DeletedWhatsAppCount},
        };
        int n = 0;
        int existingTotal = 0;
        int deletedTotal = 0;
        for (const Case& c : cases) {
            record.*(c.existing) = 100 + n;
            record.*(c.deleted) = n;
            existingTotal += 100 + n;
            deletedTotal += n;
            ++n;
        }
        std::vector<TabTag> opened;
        HomeViewController summary(record, [&](TabTag tab) { opened.push_back(tab); });
        summary.Display();
        n = 0;
        for (const Case& c : cases) {
            QCOMPARE(summary.countText(c.tab), QStringLiteral("%1 / %2").arg(100 + n).arg(n));
            ++n;
        }
        const auto labels = summary.findChildren<QLabel*>();
        const auto shows = [&](const QString& text) {
            for (QLabel* label : labels)
                if (label->text() == text) return true;
            return false;
        };
        QVERIFY(shows(QStringLiteral("<b>%1</b>").arg(existingTotal)));
        QVERIFY(shows(QStringLiteral("<b>%1</b>").arg(deletedTotal)));
        // A count changed after a scan step shows at the next Display.
        record.SMSCount = 7;
        summary.Display();
        QCOMPARE(summary.countText(TabTag::TabTagSMS), QStringLiteral("7 / 0"));
        // Each caption opens its tab.
        summary.tabCalls();
        summary.tabWhatsapp();
        QCOMPARE(opened, (std::vector<TabTag>{TabTag::TabTagCalls, TabTag::TabTagWhatsApp}));
    }
};

TORVANE_UI_TEST(SmallScreensTest)
#include "SmallScreensTest.moc"

// The files sent to the companion application, and the send-to-device wizard against the
// device simulator: the companion application present and absent, no device, and a device that
// leaves during the send.
#include "UiFixture.h"
#include "UiTestSupport.h"
#include "device/DeviceTestSupport.h"
#include "device/MobileDeviceAccess.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"
#include "support/DeviceSimulator.h"
#include "ui/MainMenu.h"
#include "ui/SendToDevice.h"
#include "ui/TransferWindows.h"

#include <QDialog>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr const char* kUdid = "a1a2a3a4a5a6a7a8a9a0a1a2a3a4a5a6a7a8a9a0";
constexpr const char* kCompanion = "Quorran.Retrieve";

std::shared_ptr<SMS> Sms(OptString address, OptString text, OptString type, OptString time) {
    auto m = std::make_shared<SMS>();
    m->setAddress(std::move(address));
    m->setMessage(std::move(text));
    m->setType(std::move(type));
    m->setLocalTime(std::move(time));
    return m;
}

std::string Text(SendKind kind, BrimleyAppDelegate& record) {
    return SendFiles::Text(SendFiles::Build(kind, record));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

class SendToDeviceTest : public QObject {
    Q_OBJECT
    DeviceSimulator simulator;
    UiFixture f;
    QTemporaryDir folder;

    MainMenu& w() { return f.application->window(); }

    // The files the companion application holds, by path below its container.
    std::map<std::string, std::string> containerFiles() {
        std::map<std::string, std::string> files;
        simulator.withDevice(kUdid, [&](SimulatedDevice& d) {
            for (const auto& [path, node] : d.apps[kCompanion].container.nodes)
                if (node.kind == SimulatedFileTree::Node::Kind::File) files[path] = node.data;
        });
        return files;
    }

    AppWindowController* openWizard(std::function<void(const SendToDevice::Delivery&)> afterEach = {}) {
        w().adjustSendServices = [this, afterEach](AppWindowController::Services& s) {
            s.library = TORVANE_COMPANION_BUILD;
            s.folder = folder.path().toStdString();
            s.configuredBundle = std::string("test");
            s.afterEach = afterEach;
        };
        w().sendToApp();
        return w().sendWizard();
    }

    void fillRecords() {
        BrimleyAppDelegate& r = f.record;
        r.SMSContent.replace({Sms("+4915112345", "Hi <b>there</b>", "Received from", "2016-11-02 09:45:13")});
        r.DeletedSMS.replace({Sms("+4915112345", "gone", "Sent to", "2016-11-01 08:00:00"),
                              Sms(std::nullopt, "no address", "Sent to", "2016-11-01 08:00:00")});
        auto call = std::make_shared<CallLog>();
        call->setAddress(std::string("+4915112345"));
        call->setContactName(std::string("Anna"));
        call->setLocalTime(std::string("2016-11-02 09:45:13"));
        call->setCallType(std::string("Incoming Call"));
        call->setCallDuration(75);
        r.CallLogContent.replace({call});
        auto contact = std::make_shared<Contact>();
        contact->setFirstName(std::string("Anna"));
        contact->setContactNo2(std::string("+4915112345"));
        r.ContactContent.replace({contact});
        auto note = std::make_shared<Note>();
        note->setTitle(std::string("Short"));
        note->setSummary(std::string("A summary that is longer than its title."));
        note->setCreatedDate(std::string("2016-11-02 09:45:13"));
        r.NotesContent.replace({note});
        r.WhatsAppContent.replace({std::make_shared<WhatsApp>()});
        auto device = std::make_shared<DeviceInfo>();
        device->setUniqueDeviceID(std::string(kUdid));
        device->setDeviceName(std::string("Anna's iPhone"));
        r.deviceInfo.set(device);
    }

private slots:
    void initTestCase() {
        simulator.setEnvironment();
        f.start(std::nullopt, true);
        fillRecords();
    }

    void datesAreSentAsMonthDayYearHourMinute() {
        using SendFiles::reframeDate;
        QCOMPARE(reframeDate(std::string("2016-11-02 09:45:13")), OptString("11-02-2016 09:45"));
        QCOMPARE(reframeDate(std::string("2016-11-02")), OptString(" "));
        QCOMPARE(reframeDate(std::string("")), OptString(" "));
        QCOMPARE(reframeDate(std::nullopt), OptString());
        QCOMPARE(reframeDate(std::string("2016-11-02 09")), OptString("11-02-2016 09"));
    }

    void messagesFileAsTheCompanionReadsIt() {
        const std::string expected =
            "{\n"
            "  \"conversation\": [\n"
            "    {\n"
            "      \"name\": \"+4915112345\",\n"
            "      \"phone\": \"+4915112345\",\n"
            "      \"messages\": [\n"
            "        {\n"
            "          \"date\": \"11-02-2016 09:45\",\n"
            "          \"type\": \"sent\",\n"
            "          \"message\": \"Hi <b>there</b>\"\n"
            "        }\n"
            "      ]\n"
            "    },\n"
            "    {\n"
            "      \"name\": \"+4915112345\",\n"
            "      \"phone\": \"+4915112345\",\n"
            "      \"messages\": [\n"
            "        {\n"
            "          \"date\": \"11-01-2016 08:00\",\n"
            "          \"type\": \"received\",\n"
            "          \"message\": \"gone\"\n"
            "        }\n"
            "      ]\n"
            "    }\n"
            "  ]\n"
            "}";
        QCOMPARE(Text(SendKind::Messages, f.record), expected);
        // The records keep their own types; a second file is the same.
        QCOMPARE(f.record.SMSContent.snapshot()[0]->Type(), OptString("Received from"));
        QCOMPARE(Text(SendKind::Messages, f.record), expected);
    }

    void everyFileKeepsItsKeysAndFills() {
        const auto calls = SendFiles::Build(SendKind::CallHistory, f.record)["callhistory"];
        QCOMPARE(calls.size(), std::size_t{1});
        QCOMPARE(calls[0].dump(), std::string(R"({"name":"Anna","phone":"+4915112345","date":"11-02-2016 09:45","type":"Incoming Call","duration":"75"})"));
        const auto contacts = SendFiles::Build(SendKind::Contacts, f.record)["contacts"];
        QCOMPARE(contacts[0].dump(),
                 std::string(R"({"name":"Anna","mobile":"","iPhone":"","home":"+4915112345","work":"+4915112345","main":"","other":"+4915112345","homeEmail":"","workEmail":"","otherEmail":"","homePage":"","company":"","department":"","jobTitle":"","address":"","note":""})"));
        QCOMPARE(SendFiles::Build(SendKind::Notes, f.record)["notes"][0].dump(),
                 std::string(R"({"date":"11-02-2016 09:45","note":"A summary that is longer than its title."})"));
        // A WhatsApp message without any value is still sent.
        QCOMPARE(SendFiles::Build(SendKind::WhatsApp, f.record)["conversation"][0].dump(),
                 std::string(R"({"name":"unknown","phone":"unknown","messages":[{"date":"unknown","type":"send","message":""}]})"));
        // No events: the key with an empty array.
        QCOMPARE(Text(SendKind::Calendar, f.record), std::string("{\n  \"calendar\": []\n}"));
    }

    void absentFieldsAreFilledInTheRecordsThemselves() {
        BrimleyAppDelegate record;
        auto message = std::make_shared<WhatsApp>();
        auto call = std::make_shared<CallLog>();
        call->setContactName(std::string("Anna"));
        auto contact = std::make_shared<Contact>();
        contact->setContactNo1(std::nullopt);
        contact->setContactNo2(std::string("+4915112345"));
        auto event = std::make_shared<Calendar>();
        auto note = std::make_shared<Note>();
        note->setTitle(std::string("kept"));
        auto sms = Sms(std::nullopt, std::nullopt, std::nullopt, std::nullopt);
        record.DeletedWhatsApp.replace({message});
        record.CallLogContent.replace({call});
        record.DeletedContact.replace({contact});
        record.CalendarContent.replace({event});
        record.NotesContent.replace({note});
        record.SMSContent.replace({sms});
        std::vector<std::string> first;
        for (SendKind kind : SendFiles::AllKinds()) first.push_back(Text(kind, record));

        // Each absent text holds the file's fill value now; present ones are unchanged.
        const OptString empty = std::string(), blank = std::string(" ");
        QCOMPARE(message->ContactName(), empty);
        QCOMPARE(message->PhoneNo(), empty);
        QCOMPARE(message->MessageDate(), empty);
        QCOMPARE(message->zText(), empty);
        QCOMPARE(call->ContactName(), OptString("Anna"));
        QCOMPARE(call->Address(), blank);
        QCOMPARE(call->LocalTime(), blank);
        QCOMPARE(call->CallType(), empty);
        for (const OptString& text : {contact->FirstName(), contact->LastName(), contact->ContactNo1(),
                                      contact->EmailAddress1(), contact->EmailAddress2(),
                                      contact->EmailAddress3(), contact->Note()})
            QCOMPARE(text, empty);
        QCOMPARE(contact->ContactNo2(), OptString("+4915112345"));
        // Texts the file does not fill stay absent.
        QCOMPARE(contact->MiddleName(), OptString());
        for (const OptString& text : {event->Summary(), event->Location(), event->StartDate(), event->EndDate()})
            QCOMPARE(text, blank);
        QCOMPARE(event->Description(), OptString());
        QCOMPARE(note->Title(), OptString("kept"));
        QCOMPARE(note->Summary(), empty);
        QCOMPARE(note->CreatedDate(), OptString());
        // A message left out of its file is not filled.
        QCOMPARE(sms->Address(), OptString());
        // A second send gives the same files.
        for (std::size_t i = 0; i < SendFiles::AllKinds().size(); ++i)
            QCOMPARE(Text(SendFiles::AllKinds()[i], record), first[i]);
    }

    void equalTitleAndSummaryAndBrokenTexts() {
        BrimleyAppDelegate record;
        auto note = std::make_shared<Note>();
        note->setTitle(std::string("12345"));
        note->setSummary(std::string("abcde"));
        auto event = std::make_shared<Calendar>();
        event->setSummary(std::string("bad \xff\xfe bytes"));
        record.NotesContent.replace({note});
        record.DeletedCalendar.replace({event});
        QCOMPARE(SendFiles::Build(SendKind::Notes, record)["notes"][0]["note"].get<std::string>(), std::string("12345"));
        const std::string calendar = Text(SendKind::Calendar, record);
        QVERIFY(calendar.find("\"title\": \"bad \xef\xbf\xbd\xef\xbf\xbd bytes\"") != std::string::npos);
        QVERIFY(calendar.find("\"location\": \" \"") != std::string::npos);
        QVERIFY(calendar.find("\"startsDate\": \" \"") != std::string::npos);
    }

    void targetsAndNamesOfTheDelivery() {
        BrimleyAppDelegate record;
        record.bundleIdentifiers.set({"QW3R8TZ5XK", "Quorran.Retrieve"});
        const auto targets = [&](OptString configured) {
            SendToDevice::Inputs inputs;
            inputs.record = &record;
            inputs.configuredBundle = std::move(configured);
            return SendToDevice(inputs).Targets();
        };
        const std::vector<std::string> known = {"QW3R8TZ5XK", "Quorran.Retrieve"};
        QCOMPARE(targets(std::string("test")), known);
        QCOMPARE(targets(std::string("Quorran.Retrieve")), known);
        QCOMPARE(targets(std::string("com.example.other")),
                 (std::vector<std::string>{"QW3R8TZ5XK", "Quorran.Retrieve", "com.example.other"}));
        // An empty live identifier or name falls back to the backup's, then to the folder's name.
        auto live = std::make_shared<DeviceInfo>();
        live->setUniqueDeviceID(std::string(""));
        live->setDeviceName(std::string(""));
        live->setBackupLocation(std::string("/backups/0000abcd/"));
        auto backup = std::make_shared<DeviceInfo>();
        backup->setUniqueDeviceID(std::string("backup-udid"));
        record.deviceInfo.set(live);
        record.deviceInfoBackup.set(backup);
        QCOMPARE(SendToDevice::AppFolder(record), std::string("Documents/backup-udid"));
        QCOMPARE(SendToDevice::DeviceName(record), std::string("0000abcd"));
        backup->setDeviceName(std::string("Backup Phone"));
        QCOMPARE(SendToDevice::DeviceName(record), std::string("Backup Phone"));
        record.deviceInfoBackup.set(nullptr);
        QCOMPARE(SendToDevice::AppFolder(record), std::string("Documents/"));
    }

    void theWizardSendsEveryFileToTheCompanionApp() {
        SimulatedDevice phone = TestPhone(kUdid);
        phone.apps[kCompanion].info = {{"CFBundleIdentifier", kCompanion}, {"ApplicationType", "User"}};
        simulator.attach(std::move(phone));
        QVERIFY(WaitFor([&] { return f.record.MobileDevice.get() && !f.record.MobileDevice.get()->devices().empty(); }, 20000));
        fillRecords();
        AppWindowController* wizard = openWizard();
        QVERIFY(wizard && !wizard->boxStep1->isHidden() && wizard->boxStep3->isHidden());
        wizard->next1();
        QCOMPARE(wizard->appFolder, std::string("Documents/") + kUdid);
        QVERIFY(!wizard->boxStep3->isHidden() && wizard->boxStep1->isHidden());
        wizard->btnBack->click();
        QVERIFY(!wizard->boxStep1->isHidden() && wizard->boxStep3->isHidden());
        // The other steps as their tables have them: back1 leaves step 3 as it is.
        wizard->next2();
        QVERIFY(!wizard->boxStep3->isHidden() && wizard->boxStep1->isHidden() && wizard->boxStep2->isHidden());
        wizard->back1();
        QVERIFY(!wizard->boxStep1->isHidden() && !wizard->boxStep3->isHidden() && wizard->boxStep4->isHidden());
        wizard->back2();
        wizard->next1();
        wizard->cell1->setChecked(true);
        QPointer<AppWindowController> open(wizard);
        wizard->send();
        QVERIFY(!wizard->boxStep4->isHidden() && !wizard->progress->isHidden() && wizard->boxStep3->isHidden());
        QVERIFY(WaitFor([&] { return open->sendFinished(); }, 60000));
        QVERIFY(!open->isVisible());
        // Six files in the order of the send, each in a folder of its own on the device.
        const auto files = containerFiles();
        QCOMPARE(files.size(), std::size_t{6});
        for (const auto& [path, contents] : files) {
            QVERIFY2(path.rfind(std::string("/Documents/") + kUdid + "#Anna's iPhone/", 0) == 0, path.c_str());
            const std::string name = path.substr(path.find_last_of('/') + 1);
            QCOMPARE(contents, ReadFile(folder.filePath(QString::fromStdString(name)).toStdString()));
        }
        QCOMPARE(files.begin()->second.empty(), false);
        QVERIFY(f.saw("button Send"));
        QVERIFY(WaitFor([&] { return w().openDialog("StarFeedbackWindow") != nullptr; }, 5000));
        w().openDialog("StarFeedbackWindow")->close();
    }

    void oneFileGoesToTheRecordsOwnCompanionAppOnly() {
        simulator.withDevice(kUdid, [](SimulatedDevice& d) { d.apps[kCompanion].container = SimulatedFileTree(); });
        const std::string path = folder.filePath(QStringLiteral("messages.json")).toStdString();
        std::ofstream(path, std::ios::binary) << Text(SendKind::Messages, f.record);
        SendToDevice::Inputs inputs;
        inputs.record = &f.record;
        inputs.folder = folder.path().toStdString();
        inputs.library = TORVANE_COMPANION_BUILD;
        inputs.configuredBundle = std::string("com.example.configured");
        inputs.firstDevice = [] { return std::optional<std::string>(kUdid); };
        // The folder takes the live device's name alone: an empty one stays empty, whatever
        // the backup's device is called.
        const auto liveBefore = f.record.deviceInfo.get();
        auto live = std::make_shared<DeviceInfo>();
        live->setDeviceName(std::string(""));
        auto backup = std::make_shared<DeviceInfo>();
        backup->setDeviceName(std::string("Backup Phone"));
        f.record.deviceInfo.set(live);
        f.record.deviceInfoBackup.set(backup);
        const std::string appFolder = std::string("Documents/") + kUdid;

        f.record.appIdentifier.set("");
        QVERIFY(!SendToDevice(inputs).sendToActualDevice(path, appFolder));
        QVERIFY(containerFiles().empty());
        f.record.appIdentifier.set(kCompanion);
        QVERIFY(SendToDevice(inputs).sendToActualDevice(path, appFolder));
        auto files = containerFiles();
        QCOMPARE(files.size(), std::size_t{1});
        const std::string stored = files.begin()->first;
        QVERIFY2(stored.rfind("/" + appFolder + "#/", 0) == 0 && stored.ends_with("/messages.json"), stored.c_str());
        QCOMPARE(files.begin()->second, ReadFile(path));
        // Another identifier is not a companion app of this phone: nothing arrives.
        f.record.appIdentifier.set("com.example.configured");
        QVERIFY(!SendToDevice(inputs).sendToActualDevice(path, appFolder));
        QCOMPARE(containerFiles().size(), std::size_t{1});
        // No device: nothing is tried.
        inputs.firstDevice = [] { return std::optional<std::string>(); };
        f.record.appIdentifier.set(kCompanion);
        QVERIFY(!SendToDevice(inputs).sendToActualDevice(path, appFolder));
        QCOMPARE(containerFiles().size(), std::size_t{1});
        f.record.deviceInfo.set(liveBefore);
        f.record.deviceInfoBackup.set(nullptr);
    }

    void theCurrentTabSendsItsOwnTypeOnly() {
        simulator.withDevice(kUdid, [](SimulatedDevice& d) { d.apps[kCompanion].container = SimulatedFileTree(); });
        f.record.tabItem = ToCode(TabTag::TabTagCalls);
        AppWindowController* wizard = openWizard();
        wizard->next1();
        wizard->cell2->setChecked(true);
        QCOMPARE(wizard->kindsToSend(), std::vector<SendKind>{SendKind::CallHistory});
        QPointer<AppWindowController> open(wizard);
        wizard->send();
        QVERIFY(WaitFor([&] { return open->sendFinished(); }, 60000));
        QVERIFY(!open->isVisible());
        const auto files = containerFiles();
        QCOMPARE(files.size(), std::size_t{1});
        QVERIFY(files.begin()->first.ends_with("/callhistory.json"));
        // Another tab sends nothing, and the wizard still closes.
        f.record.tabItem = ToCode(TabTag::TabTagPhotos);
        wizard = openWizard();
        wizard->cell2->setChecked(true);
        QVERIFY(wizard->kindsToSend().empty());
        wizard->cell3->setChecked(true);
        QVERIFY(wizard->kindsToSend().empty());
        wizard->close();
    }

    void withoutTheCompanionAppTheUserIsTold() {
        simulator.withDevice(kUdid, [](SimulatedDevice& d) { d.apps.clear(); });
        AppWindowController* wizard = openWizard();
        wizard->next1();
        wizard->cell1->setChecked(true);
        QString message;
        AnswerNextMessageBox(QString(), &message);
        QPointer<AppWindowController> open(wizard);
        wizard->send();
        QVERIFY(WaitFor([&] { return open->sendFinished(); }, 60000));
        QVERIFY(!open->isVisible());
        QVERIFY2(message.startsWith(QStringLiteral("Some files did not reach the companion app")), qPrintable(message));
        for (const QDialog* rating : w().findChildren<QDialog*>(QStringLiteral("StarFeedbackWindow")))
            const_cast<QDialog*>(rating)->close();
    }

    void aDeviceThatLeavesDuringTheSend() {
        simulator.withDevice(kUdid, [](SimulatedDevice& d) {
            d.apps[kCompanion].info = {{"CFBundleIdentifier", kCompanion}, {"ApplicationType", "User"}};
        });
        bool left = false;
        AppWindowController* wizard = openWizard([&](const SendToDevice::Delivery& delivery) {
            if (!left && delivery.delivered()) {
                left = true;
                simulator.detach(kUdid);
            }
        });
        wizard->next1();
        wizard->cell1->setChecked(true);
        QString message;
        AnswerNextMessageBox(QString(), &message);
        QPointer<AppWindowController> open(wizard);
        std::vector<SendToDevice::Delivery> deliveries;
        wizard->send();
        QVERIFY(WaitFor([&] { return open->sendFinished(); }, 60000));
        deliveries = open->deliveries();
        QVERIFY(!open->isVisible());
        QVERIFY(left);
        QVERIFY(!message.isEmpty());
        QCOMPARE(deliveries.size(), std::size_t{6});
        QVERIFY(deliveries[0].delivered());
        for (std::size_t i = 1; i < deliveries.size(); ++i) QVERIFY(!deliveries[i].delivered());
    }

    void sendWithoutADeviceStaysOnItsStep() {
        QVERIFY(WaitFor([&] { return f.record.MobileDevice.get()->devices().empty(); }, 20000));
        AppWindowController* wizard = openWizard();
        wizard->next1();
        QString message;
        AnswerNextMessageBox(QString(), &message);
        wizard->send();
        QCOMPARE(message, QStringLiteral("No device connected to send data"));
        QVERIFY(wizard->isVisible() && !wizard->boxStep3->isHidden() && wizard->boxStep4->isHidden());
        wizard->close();
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(SendToDeviceTest)
#include "SendToDeviceTest.moc"

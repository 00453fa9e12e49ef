#include "export/ExportDates.h"
#include "export/Exporter.h"

#include "records/Account.h"
#include "records/Application.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/DynamicDictionary.h"
#include "records/InternetHistory.h"
#include "records/MapHistory.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

using testsupport::TempDir;

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::shared_ptr<SMS> Message(const char* time, const char* text, int ticked = 0) {
    auto m = std::make_shared<SMS>();
    m->setLocalTime(time);
    m->setMessage(text);
    m->setType("Received from");
    m->setAddress("+491701234567");
    m->setIsChecked(ticked);
    return m;
}

// Three existing and two deleted messages, only the second deleted one ticked.
void AddMessages(BrimleyAppDelegate& s) {
    s.SMSContent.append(Message("2015-03-07 18:05:09", "one"));
    s.SMSContent.append(Message("2015-03-07 00:30:00", "two"));
    s.SMSContent.append(Message("2015-12-31 12:00:59", "three"));
    s.DeletedSMS.append(Message(" ", "carved"));
    s.DeletedSMS.append(Message("2014-01-02 03:04:05", "carved, ticked", 1));
}

struct FileCase {
    const char* name;
    std::function<void(BrimleyAppDelegate&)> fill;
    ExportEntry (Exporter::*write)(const std::string&, bool) const;
    bool onlyTicked;
    std::size_t records;
    std::string expected;
};

const FileCase kFileCases[] = {
    {"messages, all: existing first, running numbers", AddMessages, &Exporter::ExportSMS, false, 5,
     "1,2015/03/07 06:05 PM,one,Received from,+491701234567\n"
     "2,2015/03/07 12:30 AM,two,Received from,+491701234567\n"
     "3,2015/12/31 12:00 PM,three,Received from,+491701234567\n"
     "4, ,carved,Received from,+491701234567\n"
     "5,2014/01/02 03:04 AM,\"carved, ticked\",Received from,+491701234567\n"},
    {"messages, ticked only: renumbered from 1", AddMessages, &Exporter::ExportSMS, true, 1,
     "1,2014/01/02 03:04 AM,\"carved, ticked\",Received from,+491701234567\n"},
    {"WhatsApp",
     [](BrimleyAppDelegate& s) {
         auto live = std::make_shared<WhatsApp>();
         live->setMessageDate("2016-07-01 20:15:00");
         live->setZText("Hi \"you\"");
         live->setPhoneNo("4917012345");
         live->setContactName("Anna");
         auto carved = std::make_shared<WhatsApp>();  // no phone number, no name
         carved->setMessageDate("2016-07-02 08:00:00");
         carved->setZText("gone");
         carved->setIsChecked(1);
         s.WhatsAppContent.append(live);
         s.DeletedWhatsApp.append(carved);
     },
     &Exporter::ExportWhatsApp, false, 2,
     "1,2016/07/01 08:15 PM,\"Hi \"\"you\"\"\",4917012345,Anna\n"
     "2,2016/07/02 08:00 AM,gone,,\n"},
    {"notes, ticked only",
     [](BrimleyAppDelegate& s) {
         for (int i = 0; i < 3; ++i) {
             auto n = std::make_shared<Note>();
             n->setCreatedDate("2013-11-05 09:10:11");
             n->setTitle("Note " + std::to_string(i));
             n->setSummary("line one\nline two");
             n->setIsChecked(i == 1 ? 1 : (i == 2 ? 2 : 0));  // only exactly 1 counts
             (i == 0 ? s.NotesContent : s.DeletedNotes).append(n);
         }
     },
     &Exporter::ExportNotes, true, 1, "1,2013/11/05 09:10 AM,Note 1,\"line one\nline two\"\n"},
    {"calendar",
     [](BrimleyAppDelegate& s) {
         auto c = std::make_shared<Calendar>();
         c->setSummary("Dentist");
         c->setDescription("bring card");
         c->setStartDate("2015-06-01 14:00:00");
         c->setStart_TimeZone("Europe/Berlin");
         c->setEndDate("2015-06-01 15:30:00");
         c->setAllDay("0");
         c->setOrginalDate("2015-06-01 14:00:00");
         c->setPriority("1");
         s.DeletedCalendar.append(c);
     },
     &Exporter::ExportCalendar, false, 1,
     "1,Dentist,bring card,2015/06/01 02:00 PM,Europe/Berlin,2015/06/01 03:30 PM,0,"
     "2015-06-01 14:00:00,1\n"},
    {"calls: time as stored, seconds marked",
     [](BrimleyAppDelegate& s) {
         auto c = std::make_shared<CallLog>();
         c->setContactName("Bob");
         c->setLocalTime("2015-03-07 06:05 PM");
         c->setAddress("+4930123");
         c->setCallType("Incoming Call");
         c->setCallDuration(75);
         c->setSlNo(40);
         s.CallLogContent.append(c);
     },
     &Exporter::ExportCallLog, false, 1,
     "1,Bob,2015-03-07 06:05 PM,+4930123,Incoming Call,75(Secs)\n"},
    {"contacts: twenty columns",
     [](BrimleyAppDelegate& s) {
         auto c = std::make_shared<Contact>();
         c->setCreatedDate("2012-02-29 23:59:00");
         c->setFirstName("Eva");
         c->setLastName("Lang");
         c->setContactNo2("030 1234");
         c->setEmailAddress1("eva@example.org");
         c->setOrganization("ACME, Inc.");
         c->setModifiedDate("2013-01-01 00:00:00");
         s.ContactContent.append(c);
         s.DeletedContact.append(std::make_shared<Contact>());
     },
     &Exporter::ExportContact, false, 2,
     "1,2012/02/29 11:59 PM,Eva,,Lang,,,,030 1234,,,,,eva@example.org,,,,,\"ACME, Inc.\","
     "2013/01/01 12:00 AM\n"
     "2,,,,,,,,,,,,,,,,,,,\n"},
    {"internet history: own row numbers, ticks honoured",
     [](BrimleyAppDelegate& s) {
         for (int i = 0; i < 2; ++i) {
             auto h = std::make_shared<InternetHistory>();
             h->setSlNo(7 + i);
             h->setUrl("https://example.org/?a=1,b=2");
             h->setLastVisitedDate("2016-01-01 10:00:00");
             h->setTitle("Example");
             h->setVisitCount(3);
             h->setIsChecked(i);
             s.InternetContent.append(h);
         }
     },
     &Exporter::ExportInternetData, true, 1,
     "8,\"https://example.org/?a=1,b=2\",2016/01/01 10:00 AM,Example,3\n"},
    {"map searches: no ticks, every record",
     [](BrimleyAppDelegate& s) {
         auto m = std::make_shared<MapHistory>();
         m->setSlNo(12);
         m->setQuery("coffee");
         m->setLocation("Berlin");
         m->setLatitude("52.52");
         m->setLongitude("13.40");
         s.MapContent.append(m);
     },
     &Exporter::ExportMapHistory, true, 1, "12,coffee,Berlin,52.52,13.40\n"},
    {"accounts",
     [](BrimleyAppDelegate& s) {
         auto a = std::make_shared<Account>();
         a->setSlNo(3);
         a->setUsername("me@example.org");
         a->setClassName("IMAP");
         a->setHostname("imap.example.org");
         a->setPortNumber("993");
         s.AccountContent.append(a);
     },
     &Exporter::ExportAccountData, true, 1, "3,me@example.org,IMAP,imap.example.org,993\n"},
    {"applications",
     [](BrimleyAppDelegate& s) {
         auto a = std::make_shared<Application>();
         a->setSlNo(5);
         a->setApplicationName("Maps");
         a->setBundleIdentifer("com.example.maps");
         a->setBundleVersion("2.1");
         s.ApplicationContent.append(a);
     },
     &Exporter::ExportApplicationData, true, 1, "5,Maps,com.example.maps,2.1\n"},
    {"user dictionary",
     [](BrimleyAppDelegate& s) {
         auto w = std::make_shared<DynamicDictionary>();
         w->setSlNo(9);
         w->setUserKey("Torvane");
         s.UserDictContent.append(w);
     },
     &Exporter::KeyboardDictionary, true, 1, "9,Torvane\n"},
};

}  // namespace

TEST(Exporter, WritesEachDataTypesFile) {
    for (const auto& c : kFileCases) {
        SCOPED_TRACE(c.name);
        BrimleyAppDelegate state;
        c.fill(state);
        TempDir dir;
        const auto path = (dir / "out.csv").string();
        const ExportEntry entry = (Exporter(state).*c.write)(path, c.onlyTicked);
        EXPECT_EQ(entry.status, ExportStatus::Written);
        EXPECT_EQ(entry.path, path);
        EXPECT_EQ(Slurp(path), c.expected);
        EXPECT_EQ(entry.records, c.records);
        // Only the file itself is left: no temporary beside it.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

TEST(Exporter, WritesNoFileWithoutRecordsAndLeavesAnOlderOneAlone) {
    BrimleyAppDelegate state;
    state.SMSContent.append(Message("2015-03-07 18:05:09", "unticked"));
    TempDir dir;
    const auto path = dir / "SMS.csv";
    std::ofstream(path) << "older export\n";

    const Exporter exporter(state);
    EXPECT_EQ(exporter.ExportSMS(path.string(), true).status, ExportStatus::NothingToWrite);
    EXPECT_EQ(exporter.ExportNotes(path.string(), false).status, ExportStatus::NothingToWrite);
    EXPECT_EQ(Slurp(path), "older export\n");
}

TEST(Exporter, ReportsAFileThatCannotBeWritten) {
    BrimleyAppDelegate state;
    AddMessages(state);
    TempDir dir;
    // A folder that does not exist, and a folder standing where the file should go.
    std::filesystem::create_directory(dir / "SMS.csv");
    for (const auto& path : {dir / "missing" / "SMS.csv", dir / "SMS.csv"}) {
        const ExportEntry entry = Exporter(state).ExportSMS(path.string(), false);
        EXPECT_EQ(entry.status, ExportStatus::Failed) << path;
        EXPECT_EQ(entry.records, 0u);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "SMS.csv"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(ExportDates, ReformatsRecordDatesAndKeepsOtherTexts) {
    struct Case {
        OptString stored, written;
    } cases[] = {
        {"2015-03-07 18:05:09", "2015/03/07 06:05 PM"},
        {"2015-03-07 00:00:00", "2015/03/07 12:00 AM"},
        {"2015-03-07 12:00:00", "2015/03/07 12:00 PM"},
        {"2015-10-25 02:30:00", "2015/10/25 02:30 AM"},  // the hour that repeats in autumn
        {" ", " "},                                      // a carved time that was not plausible
        {"", ""},
        {"2015-03-07 06:05 PM", "2015-03-07 06:05 PM"},  // already a display text of its own
        {"2015-02-30 10:00:00", "2015-02-30 10:00:00"},  // no such day
        {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExportDates::CsvDate(c.stored), c.written) << c.stored.value_or("(absent)");
}

TEST(Exporter, FindsTheEndOfACStringWithinTheBytes) {
    const std::vector<std::uint8_t> bytes = {'a', 'b', 0, 'c', 0, 'd'};
    struct Case {
        std::uint64_t start;
        std::optional<std::uint64_t> end;
    } cases[] = {{0, 3}, {2, 3}, {3, 5}, {5, std::nullopt}, {6, std::nullopt}, {99, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(Exporter::GetTheLengthOfTheStringBytes(bytes, c.start), c.end) << c.start;
}

// Each recoverer's comparison of records with the live rows of its database: the records no live
// row matches are kept in RecoveredFiltered, in order; the others, and records without the
// values compared, are not.

#include "CalendarCallsNotesWhatsAppSupport.h"
#include "common/DateUtils.h"
#include "records/Appointment.h"
#include "records/CallHistory.h"
#include "records/Contact.h"
#include "records/Note.h"
#include "records/WhatsAppMessage.h"
#include "services/CalendarRecoverers.h"
#include "services/CallHistoryRecoverers.h"
#include "services/ContactRecoverers.h"
#include "services/NoteRecoverers.h"
#include "services/WhatsAppRecoverer.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

using testsupport::ContextFor;
using testsupport::FixtureDatabase;
using testsupport::TempDir;

namespace {

template <class Record, class Fill>
std::shared_ptr<baseRecoveryObject> Make(Fill fill) {
    auto record = std::make_shared<Record>();
    fill(*record);
    return record;
}

// Which of the given records the recoverer kept, by their position in the list.
std::vector<int> KeptPositions(const AbstractSqLiteRecovery& recoverer,
                               const std::vector<std::shared_ptr<baseRecoveryObject>>& records) {
    std::vector<int> kept;
    for (const auto& record : recoverer.RecoveredFiltered())
        for (std::size_t i = 0; i < records.size(); ++i)
            if (records[i] == record) kept.push_back(static_cast<int>(i));
    return kept;
}

class LiveComparison : public othertest::RecoveryTest {
protected:
    TempDir dir;
    ScanContext context() { return ContextFor(record); }

    template <class Recoverer>
    std::vector<int> Compare(Recoverer& recoverer, const std::filesystem::path& path,
                             const std::vector<std::shared_ptr<baseRecoveryObject>>& records) {
        recoverer.setRecoveredData(records);
        recoverer.filterMessages(path.string());
        return KeptPositions(recoverer, records);
    }
};

}  // namespace

TEST_F(LiveComparison, ContactsByNames) {
    const auto path = dir / "AddressBook.sqlitedb";
    auto db = FixtureDatabase::FromSchema(path, "addressbook.sql");
    db.exec("INSERT INTO ABPerson (ROWID, First, Last, guid) VALUES (1, 'Anna', 'Berg', 'g1');"
            "INSERT INTO ABPerson (ROWID, First, Last, guid) VALUES (2, 'Carl', NULL, 'g2');"
            "INSERT INTO ABPersonFullTextSearch_content (docid, c0First, c1Last, c2Middle) "
            "VALUES (1, 'Anna', 'Berg', 'M');");
    db.close();
    const auto person = [](OptString first, OptString last, OptString middle = std::nullopt) {
        return Make<Contact>([&](Contact& c) {
            c.setFirstName(first);
            c.setLastName(last);
            c.setMiddleName(middle);
        });
    };
    const std::vector<std::shared_ptr<baseRecoveryObject>> records = {
        person("Anna", "Berg", "M"),                     // 0: live in both tables
        person("Carl", std::nullopt),                    // 1: a live person without last name
        person("Dora", "Ernst"),                         // 2: not live
        person(std::nullopt, std::nullopt, "Middle"),    // 3: no first or last name
        person("Anna", "Berg"),                          // 4: the search row has a middle name
        Make<Note>([](Note&) {}),                        // 5: not a contact
    };
    ContactsSQLiteRecovery persons(context());
    EXPECT_EQ(Compare(persons, path, records), (std::vector<int>{2}));
    ContactSearchsSQLiteRecovery search(context());
    EXPECT_EQ(Compare(search, path, records), (std::vector<int>{1, 2, 4}));
    ContactSearchsSQLiteRecovery missing(context());
    EXPECT_TRUE(Compare(missing, dir / "none.sqlitedb", records).empty());
}

TEST_F(LiveComparison, NotesBySummaryAndTitleAndBodiesByContent) {
    const auto path = dir / "notes.sqlite";
    auto db = FixtureDatabase::FromSchema(path, "notes-ios7.sql");
    db.exec("INSERT INTO ZNOTEBODY (Z_PK, ZOWNER, ZCONTENT) VALUES (1, 1, '<p>live</p>');"
            "INSERT INTO ZNOTE (Z_PK, ZBODY, ZSUMMARY, ZTITLE) VALUES (1, 1, 'Sum', 'Title');"
            "INSERT INTO ZNOTE (Z_PK, ZBODY, ZSUMMARY, ZTITLE) VALUES (2, 1, '', 'Bare');");
    db.close();
    const auto note = [](OptString summary, OptString title) {
        return Make<Note>([&](Note& n) {
            n.setSummary(summary);
            n.setTitle(title);
        });
    };
    const std::vector<std::shared_ptr<baseRecoveryObject>> notes = {
        note("Sum", "Title"),             // 0: live
        note(std::nullopt, "Bare"),       // 1: live with an empty summary
        note("Sum", std::nullopt),        // 2: no live note without a title
        note("Other", "Title"),           // 3: not live
    };
    NotesSQLiteRecovery notesRecovery(context());
    EXPECT_EQ(Compare(notesRecovery, path, notes), (std::vector<int>{2, 3}));

    const auto body = [](OptString content) {
        return Make<NoteBody>([&](NoteBody& b) { b.setContent(content); });
    };
    const std::vector<std::shared_ptr<baseRecoveryObject>> bodies = {
        body("<p>live</p>"), body("<p>gone</p>"), body(std::nullopt)};
    NoteBodiesSQLiteRecovery older(context());
    EXPECT_EQ(Compare(older, path, bodies), (std::vector<int>{1, 2}));
    NoteBodiesIOS9SQLiteRecovery newer(context());
    EXPECT_EQ(Compare(newer, path, bodies), (std::vector<int>{1, 2}));
}

TEST_F(LiveComparison, CallsByPartyTimeAndDuration) {
    const auto older = dir / "call_history.db";
    auto db = FixtureDatabase::FromSchema(older, "call_history-ios4.sql");
    db.exec("INSERT INTO call (ROWID, address, date, duration, flags, id) "
            "VALUES (1, '+4930123', 1400000000, 65, 4, -1);");
    db.close();
    const auto call = [](const char* address, double date, std::int64_t duration) {
        return Make<CallHistory>([&](CallHistory& c) {
            c.setAddress(std::string(address));
            c.setOriginalDate(date);
            c.setDuration(duration);
        });
    };
    const std::vector<std::shared_ptr<baseRecoveryObject>> olderCalls = {
        call("+4930123", 1400000000, 65),  // 0: live
        call("+4930123", 1400000000, 66),  // 1: another duration
        call("+4930999", 1400000000, 65),  // 2: another party
    };
    CallHistorySQLiteRecovery olderRecovery(context());
    EXPECT_EQ(Compare(olderRecovery, older, olderCalls), (std::vector<int>{1, 2}));

    const auto newer = dir / "CallHistory.storedata";
    auto store = FixtureDatabase::FromSchema(newer, "callhistory-storedata-ios8.sql");
    store.exec("INSERT INTO ZCALLRECORD (Z_PK, ZADDRESS, ZDATE, ZDURATION) "
               "VALUES (1, '+4930123', 450000000.5, 12.0);");
    store.close();
    const std::vector<std::shared_ptr<baseRecoveryObject>> newerCalls = {
        call("+4930123", 450000000.5, 12),  // 0: live
        call("+4930123", 450000001.5, 12),  // 1: another time
    };
    CallHistoryIos8Recovery newerRecovery(context());
    EXPECT_EQ(Compare(newerRecovery, newer, newerCalls), (std::vector<int>{1}));
    // The older table's statement does not fit the newer store: nothing there is live.
    CallHistorySQLiteRecovery wrongStore(context());
    EXPECT_EQ(Compare(wrongStore, newer, newerCalls), (std::vector<int>{0, 1}));
}

TEST_F(LiveComparison, EventsByTitleAndStart) {
    const auto path = dir / "Calendar.sqlitedb";
    auto db = FixtureDatabase::FromSchema(path, "calendar.sql");
    db.exec("INSERT INTO CalendarItem (ROWID, summary, start_date) VALUES (1, 'Dentist', 500000000);"
            "INSERT INTO CalendarItem (ROWID, summary, start_date) VALUES (2, 'Open', NULL);");
    db.close();
    const auto event = [](OptString summary, std::optional<double> start) {
        return Make<Appointment>([&](Appointment& a) {
            a.setSummary(summary);
            a.setStartTime(DateUtils::DoubleToIOSDateTime(start));
        });
    };
    const std::vector<std::shared_ptr<baseRecoveryObject>> events = {
        event("Dentist", 500000000.0),   // 0: live
        event("Dentist", 500003600.0),   // 1: another start
        event("Open", std::nullopt),     // 2: live without a start
        event("", 500000000.0),          // 3: no title
        event("Lunch", std::nullopt),    // 4: not live
    };
    AppointmentsSQLiteRecovery recovery(context());
    EXPECT_EQ(Compare(recovery, path, events), (std::vector<int>{1, 4}));
}

TEST_F(LiveComparison, WhatsAppMessagesByPartnerTextTimeAndStanza) {
    const auto path = dir / "ChatStorage.sqlite";
    auto db = FixtureDatabase::FromSchema(path, "whatsapp-chatstorage.sql");
    db.exec("INSERT INTO ZWAMESSAGE (Z_PK, ZFROMJID, ZTOJID, ZTEXT, ZMESSAGEDATE, ZSTANZAID) "
            "VALUES (1, '4915@s.whatsapp.net', NULL, 'Hallo', 500000000.25, 'ABC-1');");
    db.close();
    const auto message = [](OptString from, OptString to, OptString text, double date,
                            OptString stanza) {
        return Make<WhatsAppMessage>([&](WhatsAppMessage& m) {
            m.setZFromJid(from);
            m.setZToJid(to);
            m.setZText(text);
            m.setOriginalDate(date);
            m.setZStandZAid(stanza);
        });
    };
    const std::vector<std::shared_ptr<baseRecoveryObject>> messages = {
        message("4915@s.whatsapp.net", std::nullopt, "Hallo", 500000000.25, "ABC-1"),  // live
        message("4915@s.whatsapp.net", "me", "Hallo", 500000000.25, "ABC-1"),  // live sender
        message("me", "4915@s.whatsapp.net", "Hallo", 500000000.25, "ABC-1"),  // kept: sent
        message("4915@s.whatsapp.net", std::nullopt, "Hallo", 500000000.25, "ABC-2"),  // kept
        message("4915@s.whatsapp.net", std::nullopt, "", 500000000.25, "ABC-1"),  // no text
    };
    WhatsAppMessagesSQLiteRecovery recovery(context());
    EXPECT_EQ(Compare(recovery, path, messages), (std::vector<int>{2, 3}));
}

// The position a stanza id's last "-" gives, for the record being decoded.
TEST(WhatsAppVerifyData, LastHyphenOfTheStanzaIdLessEleven) {
    WhatsAppMessage message;
    message.setZStandZAid(std::string("3EB0-C431-1234567890AB-FF"));
    EXPECT_EQ(WhatsAppMessagesSQLiteRecovery::verifyData("ZStandZAid", &message), 22 - 11);
    EXPECT_EQ(WhatsAppMessagesSQLiteRecovery::verifyData("ZText", &message), 0);
    message.setZStandZAid(std::string("3EB0C4311234"));
    EXPECT_EQ(WhatsAppMessagesSQLiteRecovery::verifyData("ZStandZAid", &message), 0);
    message.setZStandZAid(std::nullopt);
    EXPECT_EQ(WhatsAppMessagesSQLiteRecovery::verifyData("ZStandZAid", &message), 0);
    EXPECT_EQ(WhatsAppMessagesSQLiteRecovery::verifyData("ZStandZAid", nullptr), 0);
}

#include "records/Chat.h"
#include "records/CompactText.h"
#include "records/ConversationContact.h"
#include "records/Message.h"
#include "records/MessageTableRecords.h"
#include "records/SMS.h"
#include "records/SharedList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(MessageRecordsTest, MessagesAreTheSameByGuidAlone) {
    SMS live;
    live.setGUID("guid-1");
    live.setAddress("+4915112345678");
    live.setRowID(12);
    SMS carved;
    carved.setGUID("guid-1");
    carved.setAddress("unknown1");
    carved.setLocalTime(" ");
    carved.setRowID(-1);
    EXPECT_TRUE(live.isRoughlyEqual(carved));
    EXPECT_TRUE(carved.isRoughlyEqual(live));

    SMS noGuid;
    EXPECT_FALSE(noGuid.isRoughlyEqual(noGuid));
    EXPECT_FALSE(live.isRoughlyEqual(noGuid));
    carved.setGUID("guid-2");
    EXPECT_FALSE(live.isRoughlyEqual(carved));
}

TEST(MessageRecordsTest, ANewConversationContactTakesAppendsToEveryList) {
    ConversationContact partner;
    partner.Names().push_back("Anna");
    partner.PhoneNumbers().push_back(std::make_shared<ContactPhoneNumber>());
    partner.Emails().push_back("anna@example.com");
    partner.Messages().push_back(std::make_shared<Message>());
    partner.RowIds().push_back(7);
    EXPECT_EQ(partner.Names().size(), 1u);
    EXPECT_EQ(partner.PhoneNumbers().size(), 1u);
    EXPECT_EQ(partner.Emails().size(), 1u);
    EXPECT_EQ(partner.Messages().size(), 1u);
    EXPECT_EQ(partner.RowIds(), std::vector<std::int64_t>{7});
    EXPECT_FALSE(partner.ContainsDeletedMessage());
    EXPECT_EQ(partner.ChatId(), 0);
}

TEST(MessageRecordsTest, RowEqualityComparesTextsByContent) {
    ChatHandleJoin a, b;
    for (ChatHandleJoin* j : {&a, &b}) {
        j->setRowId(3);
        j->setChatId(4);
        j->setHandleId(std::string("17"));  // equal texts, separate strings
    }
    EXPECT_TRUE(a.IsEqual(b));
    b.setHandleId(std::nullopt);
    EXPECT_FALSE(a.IsEqual(b));
    a.setHandleId(std::nullopt);
    EXPECT_FALSE(a.IsEqual(b));  // an absent text equals nothing, itself included

    ChatMessageJoin x, y;
    x.setRowId(1), x.setChatId(2), x.setMessageId(3);
    y.setRowId(1), y.setChatId(2), y.setMessageId(3);
    EXPECT_TRUE(x.IsEqual(y));
    y.setMessageId(4);
    EXPECT_FALSE(x.IsEqual(y));

    MessageChat c1, c2;
    for (MessageChat* c : {&c1, &c2}) {
        c->setRowId(5);
        c->setGuid("SMS;-;+4915112345678");
        c->setAccountId("acc");
        c->setChatIdentifier("+4915112345678");
    }
    EXPECT_TRUE(c1.isEqualTo(c2));
    c2.setAccountId(std::nullopt);
    EXPECT_FALSE(c1.isEqualTo(c2));
    EXPECT_TRUE(c1.Handles().empty());

    MessageGuidRowId g1, g2;
    g1.setRowId(9), g1.setGuid("g");
    g2.setRowId(9), g2.setGuid("g");
    EXPECT_TRUE(g1.IsEqual(g2));
    MessageChatGuidAndChatIdHandleConnection h1, h2;
    h1.setRowId(1), h1.setGuid("iMessage;-;a@b.c"), h1.setId("a@b.c");
    h2.setRowId(1), h2.setGuid("iMessage;-;a@b.c"), h2.setId("x@b.c");
    EXPECT_FALSE(h1.IsEqual(h2));
}

}  // namespace

TEST(MessageRecordsTest, APhoneNumberEqualsTheTextOfItsOwnForm) {
    ContactPhoneNumber phone;
    phone.setPhoneNumber(std::string("0151 2121 4377"));
    phone.setGooglePhoneNumber(std::string("+4915121214377"));
    // Not marked as a phone number: its entered form counts.
    EXPECT_TRUE(ContactPhoneNumber::AreEqual(phone, std::string("0151 2121 4377")));
    EXPECT_FALSE(ContactPhoneNumber::AreEqual(phone, std::string("+4915121214377")));
    phone.setIsPhoneNumber(true);
    EXPECT_TRUE(ContactPhoneNumber::AreEqual(phone, std::string("+4915121214377")));
    EXPECT_FALSE(ContactPhoneNumber::AreEqual(phone, std::string("0151 2121 4377")));
    EXPECT_FALSE(ContactPhoneNumber::AreEqual(phone, std::string("+49 151 21214377")));  // exact
    // Marked, but without the other form: the entered one.
    phone.setGooglePhoneNumber(std::nullopt);
    EXPECT_TRUE(ContactPhoneNumber::AreEqual(phone, std::string("0151 2121 4377")));
    EXPECT_FALSE(ContactPhoneNumber::AreEqual(phone, std::nullopt));
    EXPECT_FALSE(ContactPhoneNumber::AreEqual(ContactPhoneNumber(), std::nullopt));
}

namespace {

// Compact message texts keep absent, empty and long texts apart, and a copied record owns
// texts of its own.
TEST(MessageRecordsTest, CompactTextsKeepAbsentEmptyAndLongTextsApart) {
    const std::string longText(70000, 'x');
    const struct {
        OptString text;
    } cases[] = {{std::nullopt},
                 {std::string()},
                 {std::string("Hello")},
                 {longText},
                 {std::string("a\0b", 3)},
                 // GUIDs of the database's form, which are kept as bytes, and near misses.
                 {std::string("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9")},
                 {std::string("00000000-0000-0000-0000-000000000000")},
                 {std::string("0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9")},
                 {std::string("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8FG")},
                 {std::string("0A1B2C3D4-E5F-6071-8293-A4B5C6D7E8F9")},
                 {std::string("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F")}};
    for (const auto& c : cases) {
        SMS sms;
        sms.setMessage(c.text);
        sms.setAddress(c.text);
        sms.setGUID(c.text);
        EXPECT_EQ(sms.Message(), c.text);
        EXPECT_EQ(sms.Address(), c.text);
        EXPECT_EQ(sms.GUID(), c.text);
        Message message;
        message.setGuid(c.text);
        EXPECT_EQ(message.Guid(), c.text);
    }
    // The texts kept in one block stay apart whatever the order they are set in.
    for (const auto& c : cases) {
        SMS sms;
        sms.setGUID("guid");
        sms.setMessage(c.text);
        sms.setLocalTime(" ");
        EXPECT_EQ(sms.GUID(), OptString("guid"));
        EXPECT_EQ(sms.Message(), c.text);
        EXPECT_EQ(sms.LocalTime(), OptString(" "));
        sms.setGUID(std::nullopt);
        sms.setLocalTime(std::nullopt);
        EXPECT_EQ(sms.GUID(), std::nullopt);
        EXPECT_EQ(sms.Message(), c.text);
        EXPECT_EQ(sms.LocalTime(), std::nullopt);
        Message message;
        message.setDate("2020-01-02 03:04:05");
        message.setId(c.text);
        message.setContactFullName("Anna");
        message.setText(c.text);
        EXPECT_EQ(message.Date(), OptString("2020-01-02 03:04:05"));
        EXPECT_EQ(message.Id(), c.text);
        EXPECT_EQ(message.ContactFullName(), OptString("Anna"));
        EXPECT_EQ(message.DateRead(), std::nullopt);
        EXPECT_EQ(message.Text(), c.text);
    }
    SMS original;
    original.setMessage("first");
    SMS copy = original;
    original.setMessage("second");
    EXPECT_EQ(copy.Message(), OptString("first"));
    copy = original;
    EXPECT_EQ(copy.Message(), OptString("second"));
}

// Records naming the same address share one pooled copy of it, and the pool lets the address
// go with the last record that names it, so a finished scan leaves nothing behind.
TEST(MessageRecordsTest, AnAddressIsKeptOnceAndGoesWithItsRecords) {
    const std::string address = "pooled-address-of-this-test@example.com";
    const std::size_t before = TextPool::Size();
    {
        std::vector<SMS> messages(3);
        for (auto& sms : messages) sms.setAddress(address);
        SMS copy = messages[0];
        EXPECT_EQ(TextPool::Size(), before + 1);
        EXPECT_EQ(copy.Address(), OptString(address));
        messages[1].setAddress("another-address-of-this-test");
        EXPECT_EQ(TextPool::Size(), before + 2);
        messages[1].setAddress(std::nullopt);
        EXPECT_EQ(TextPool::Size(), before + 1);
        EXPECT_EQ(messages[2].Address(), OptString(address));
    }
    EXPECT_EQ(TextPool::Size(), before);
    // A text let go and asked for again is pooled anew.
    SMS again;
    again.setAddress(address);
    EXPECT_EQ(again.Address(), OptString(address));
    EXPECT_EQ(TextPool::Size(), before + 1);
}

// The message service rewrites a listed message's address while the screens and the export
// read it: every read answers one of the addresses whole.
TEST(MessageRecordsTest, AnAddressRewrittenWhileReadIsReadWhole) {
    const std::string first(40, 'a');
    const std::string second = "+4915112345678";
    auto sms = std::make_shared<SMS>();
    sms->setAddress(first);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::vector<std::jthread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&] {
            while (!done.load()) {
                const OptString read = sms->Address();
                if (read != first && read != second) ++torn;
            }
        });
    for (int i = 0; i < 20000; ++i) sms->setAddress(i % 2 == 0 ? second : first);
    done = true;
    readers.clear();
    EXPECT_EQ(torn.load(), 0);
}

// The key index of a list answers by the listed records' keys, also after records are
// removed and for keys that are prefixes of each other.
TEST(MessageRecordsTest, AListOfMessagesFindsThemByGuid) {
    SharedList<SMS> list;
    for (const char* guid : {"g", "gu", "guid-1", "guid-2"}) {
        auto sms = std::make_shared<SMS>();
        sms->setGUID(std::string(guid));
        EXPECT_TRUE(list.appendUnlessKey(sms, &SMS::GuidKey));
    }
    auto again = std::make_shared<SMS>();
    again->setGUID(std::string("guid-1"));
    EXPECT_FALSE(list.appendUnlessKey(again, &SMS::GuidKey));
    EXPECT_TRUE(list.appendUnlessKey(std::make_shared<SMS>(), &SMS::GuidKey));
    EXPECT_TRUE(list.containsKey("gu", &SMS::GuidKey));
    EXPECT_FALSE(list.containsKey("guid", &SMS::GuidKey));
    list.removeIf([](const SMS& sms) { return sms.GUID() == OptString("gu"); });
    EXPECT_FALSE(list.containsKey("gu", &SMS::GuidKey));
    EXPECT_TRUE(list.containsKey("guid-2", &SMS::GuidKey));
    EXPECT_EQ(list.size(), 4u);
}

// The index grows as the list does and still finds every key, also after a record's key went
// missing while listed (it is then found no more, and nothing else is lost).
TEST(MessageRecordsTest, AGrowingListStillFindsEveryGuid) {
    SharedList<SMS> list;
    std::vector<std::shared_ptr<SMS>> messages;
    for (int i = 0; i < 5000; ++i) {
        auto sms = std::make_shared<SMS>();
        sms->setGUID("guid-" + std::to_string(i));
        messages.push_back(sms);
        ASSERT_TRUE(list.appendUnlessKey(sms, &SMS::GuidKey));
        if (i == 10) sms->setGUID(std::nullopt);
    }
    list.append(nullptr);
    for (int i = 0; i < 5000; ++i)
        EXPECT_EQ(list.containsKey("guid-" + std::to_string(i), &SMS::GuidKey), i != 10) << i;
    EXPECT_FALSE(list.containsKey("guid-5000", &SMS::GuidKey));
    EXPECT_EQ(list.size(), 5001u);
}

}  // namespace

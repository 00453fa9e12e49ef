#include "records/WhatsApp.h"
#include "records/WhatsAppMessage.h"

#include <gtest/gtest.h>

TEST(WhatsAppMessage, NumberComesFromTheSenderWhenSentElseTheReceiver) {
    struct Case {
        bool fromMe;
        OptString from, to;
        const char* number;
    } cases[] = {
        {true, "491701234567@s.whatsapp.net", "491609876543@s.whatsapp.net", "491701234567"},
        {false, "491701234567@s.whatsapp.net", "491609876543@s.whatsapp.net", "491609876543"},
        {false, std::nullopt, "a@b@s.whatsapp.net", "a@b"},  // the last "@" counts
        {false, std::nullopt, "@s.whatsapp.net", ""},        // nothing in front of it
        {false, std::nullopt, "491609876543", ""},
        {true, std::nullopt, "491609876543@s.whatsapp.net", ""},
    };
    for (const auto& c : cases) {
        WhatsAppMessage m;
        m.setIsFromMe(c.fromMe);
        m.setZFromJid(c.from);
        m.setZToJid(c.to);
        EXPECT_EQ(m.GetZMessageNumberOrEmpty(), c.number) << c.to.value_or("(absent)");
        EXPECT_EQ(m.Type(), c.fromMe ? "Sent" : "Received");
    }
}

TEST(WhatsAppMessage, ContactAndAttachmentAnswersWithoutAndWithThem) {
    WhatsAppMessage m;
    EXPECT_EQ(m.ContactFullName(), "");
    EXPECT_EQ(m.ContactPhone(), "");
    EXPECT_FALSE(m.HasAttachment());
    auto contact = std::make_shared<WhatsAppContact>();
    contact->setZPartnerName("Anna");
    contact->setPhone("+491701234567");
    m.setWhatsAppContact(contact);
    m.setWhatsAppMessageAttachment(std::make_shared<WhatsAppMessageAttachment>());
    EXPECT_EQ(m.ContactFullName(), "Anna");
    EXPECT_EQ(m.ContactPhone(), "+491701234567");
    EXPECT_TRUE(m.HasAttachment());
}

TEST(WhatsAppMessage, EqualOnlyWhenAllSixTextsArePresentAndEqual) {
    auto make = [] {
        WhatsAppMessage m;
        m.setZText("hi");
        m.set_zmesssageDate("d");
        m.setZFromJid("a@s.whatsapp.net");
        m.setZToJid("b@s.whatsapp.net");
        m.setZStandZAid("3EB0C1-1");
        m.setZPushName("Anna");
        return m;
    };
    EXPECT_TRUE(make().IsEqual(make()));
    auto other = make();
    other.setZPushName(std::nullopt);
    EXPECT_FALSE(make().IsEqual(other));
    EXPECT_FALSE(other.IsEqual(other));
}

TEST(WhatsApp, RoughlyEqualMeansSameTimeText) {
    WhatsApp a, b;
    EXPECT_FALSE(a.isRoughlyEqual(b));  // absent times equal nothing
    a.setMessageDate("2016-05-01 12:00:00");
    b.setMessageDate("2016-05-01 12:00:00");
    a.setZText("one");
    b.setZText("two");
    EXPECT_TRUE(a.isRoughlyEqual(b));
    b.setZText("one");
    b.setMessageDate("2016-05-01 12:00:01");
    EXPECT_FALSE(a.isRoughlyEqual(b));
}

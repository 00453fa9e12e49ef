#include "records/BrimleyAppDelegate.h"
#include "records/CallHistory.h"
#include "records/CallLog.h"
#include "records/Contact.h"

#include <gtest/gtest.h>

namespace {

const std::string kNoBreakSpace = "\u00A0";

std::shared_ptr<Contact> MakeContact(OptString nick, OptString first, OptString last, OptString no1,
                                     OptString no2 = std::nullopt, OptString no3 = std::nullopt) {
    auto c = std::make_shared<Contact>();
    c->setNickName(std::move(nick));
    c->setFirstName(std::move(first));
    c->setLastName(std::move(last));
    c->setContactNo1(std::move(no1));
    c->setContactNo2(std::move(no2));
    c->setContactNo3(std::move(no3));
    return c;
}

}  // namespace

TEST(CallHistory, TypeAndModeFollowFlagOriginAndDuration) {
    struct Case {
        std::int32_t flags;
        bool originated;
        std::int64_t duration;
        const char* type;
        const char* mode;
    } cases[] = {
        {0, false, 30, "Incoming - Answered", "Call"},
        {4, true, 0, "Incoming - Missed call", "Call"},
        {1, false, 0, "Outgoing - Not answered", "Call"},
        {5, false, 75, "Outgoing - Answered", "Call"},
        {8, false, 12, "Blocked call", "Call"},
        {8, true, 12, "Outgoing - FaceTime", "FaceTime"},
        {16, false, 0, "FaceTime", "FaceTime"},
        {21, false, 0, "Outgoing - FaceTime", "FaceTime"},
        {20, true, 9, "Incoming - FaceTime", "FaceTime"},
        {3, false, 9, "Dropped (Flag 3)", "Call"},
        {-7, true, 0, "Dropped (Flag -7)", "Call"},
    };
    for (const auto& c : cases) {
        CallHistory call;
        call.setFlags(c.flags);
        call.setZOriginated(c.originated);
        call.setDuration(c.duration);
        EXPECT_EQ(call.convertCallTypeFlagtoCallTypeString(), c.type) << c.flags;
        EXPECT_EQ(call.convertCallTypeFlagtoCallModeString(), c.mode) << c.flags;
    }
}

TEST(CallHistory, SplitNumberHasNoBreakSpaceBeforeSixthCharacter) {
    EXPECT_EQ(CallHistory::splittedTelNumber("0301234567"), "03012" + kNoBreakSpace + "34567");
    EXPECT_EQ(CallHistory::splittedTelNumber("123456"), "12345" + kNoBreakSpace + "6");
    EXPECT_EQ(CallHistory::splittedTelNumber("12345"), "12345");
    EXPECT_EQ(CallHistory::splittedTelNumber(""), "");
    // Characters, not bytes: the five before the break are "ÄÖÜäö".
    EXPECT_EQ(CallHistory::splittedTelNumber("ÄÖÜäöü"), "ÄÖÜäö" + kNoBreakSpace + "ü");
}

TEST(CallHistory, NameOfContactPrefersNickThenFirstThenLast) {
    EXPECT_EQ(CallHistory::getContactName(*MakeContact("Bobby", "Robert", "Smith", "1")), "Bobby");
    // A present but empty nickname counts as set.
    EXPECT_EQ(CallHistory::getContactName(*MakeContact("", "Robert", "Smith", "1")), "");
    EXPECT_EQ(CallHistory::getContactName(*MakeContact(std::nullopt, std::nullopt, "Smith", "1")),
              "Smith");
    EXPECT_EQ(
        CallHistory::getContactName(*MakeContact(std::nullopt, std::nullopt, std::nullopt, "1")),
        "");
}

TEST(CallHistory, NumberLookupWalksLiveContactsBeforeCarvedOnes) {
    BrimleyAppDelegate state;
    state.ContactContent.append(MakeContact(std::nullopt, "Anna", std::nullopt, "", std::nullopt,
                                            "01511" + kNoBreakSpace + "23456"));
    state.ContactContent.append(MakeContact(std::nullopt, "Ben", std::nullopt, "12345"));
    state.DeletedContact.append(
        MakeContact(std::nullopt, "Carved Anna", std::nullopt, "0151123456"));
    state.DeletedContact.append(MakeContact(std::nullopt, "Dora", std::nullopt, "555"));

    struct Case {
        OptString number;
        const char* name;
    } cases[] = {
        {"0151123456", "Anna"},  // split form of the third number, live list first
        {"12345", "Ben"},        // too short to split: exact only
        {"555", "Dora"},         // found among the carved contacts only
        {"1234", ""},
        // Every contact starts with an empty first number; an empty address names nobody.
        {"", ""},
        {std::nullopt, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CallHistory::getContactNamefromNumber(c.number, state), c.name)
            << c.number.value_or("(absent)");
}

TEST(CallHistory, DisplayRecordsAreNumberedAfterTheDeletedCallsListed) {
    BrimleyAppDelegate state;
    state.ContactContent.append(MakeContact("Mum", "Maria", std::nullopt, "+4930123456"));
    state.AllCallLogContent.append(std::make_shared<CallLog>());  // live calls do not count

    CallHistory call;
    call.setAddress("+4930123456");
    call.setDate("2016-05-01 12:00:00");
    call.setFlags(1);
    call.setDuration((std::int64_t{1} << 32) + 75);  // cut to its low 32 bits

    auto first = call.generateCallLogObject(state);
    EXPECT_EQ(first->SlNo(), 1);
    state.DeletedCallLog.append(first);
    auto second = call.generateCallLogObject(state);
    EXPECT_EQ(second->SlNo(), 2);

    EXPECT_EQ(first->Address(), "+4930123456");
    EXPECT_EQ(first->PhoneNumber(), "+4930123456");
    EXPECT_EQ(first->LocalTime(), "2016-05-01 12:00:00");
    EXPECT_EQ(first->CallType(), "Outgoing - Answered");
    EXPECT_EQ(first->CallMode(), "Call");
    EXPECT_EQ(first->ContactName(), "Mum");
    EXPECT_EQ(first->CallDuration(), 75);
    EXPECT_EQ(first->isChecked(), 0);
}

TEST(CallHistory, EqualityNeedsPresentAddressAndDate) {
    CallHistory a, b;
    EXPECT_FALSE(a.IsEqual(b));
    a.setAddress("1");
    b.setAddress("1");
    a.setDate("d");
    b.setDate("d");
    EXPECT_TRUE(a.IsEqual(b));
    EXPECT_FALSE(a.IsChecked());
    EXPECT_EQ(a.Fullname(), "");
    auto c = std::make_shared<Contact>();
    c->setFullName("Anna Berg");
    a.setContact(c);
    EXPECT_EQ(a.Fullname(), "Anna Berg");
}

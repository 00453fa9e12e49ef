#include "records/BrimleyAppDelegate.h"
#include "records/CallHistory.h"
#include "records/CallLog.h"
#include "records/Contact.h"

#include <gtest/gtest.h>

#include <optional>

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

// The older table's flags say who placed the call (bit 0) and whether it was a FaceTime call
// (bit 4); the newer store says the direction in ZORIGINATED. An incoming call with an answered
// mark goes by its mark, every other call by whether it lasted.
TEST(CallHistory, TypeAndModeFollowWhatTheFlagsMean) {
    struct Case {
        bool callStore;
        std::int32_t flags;
        bool originated;
        std::optional<bool> answered;
        std::int64_t duration;
        const char* type;
        const char* mode;
    } cases[] = {
        {false, 0, false, true, 30, "Incoming - Answered", "Call"},
        {false, 0, false, false, 0, "Incoming - Missed call", "Call"},
        {false, 9, false, true, 0, "Outgoing - Not answered", "Call"},
        {false, 9, false, true, 61, "Outgoing - Answered", "Call"},
        {false, 4, true, std::nullopt, 0, "Incoming - Missed call", "Call"},
        {false, 5, false, std::nullopt, 75, "Outgoing - Answered", "Call"},
        {false, 17, false, true, 184, "Outgoing - FaceTime", "FaceTime"},
        {false, 16, false, false, 0, "Incoming - FaceTime", "FaceTime"},
        {true, 1, true, false, 12, "Outgoing - Answered", "Call"},
        {true, 1, false, std::nullopt, 0, "Incoming - Missed call", "Call"},
        {true, 1, false, true, 0, "Incoming - Answered", "Call"},
        {true, 8, true, false, 12, "Outgoing - FaceTime", "FaceTime"},
        {true, 16, false, true, 9, "Incoming - FaceTime", "FaceTime"},
    };
    for (const auto& c : cases) {
        CallHistory call;
        call.setInCallStore(c.callStore);
        call.setFlags(c.flags);
        call.setZOriginated(c.originated);
        call.setZAnswered(c.answered);
        call.setDuration(c.duration);
        EXPECT_EQ(call.convertCallTypeFlagtoCallTypeString(), c.type) << c.flags;
        EXPECT_EQ(call.convertCallTypeFlagtoCallModeString(), c.mode) << c.flags;
    }
    // Less than a second still lasted.
    EXPECT_EQ(CallSeconds(0.35), 1);
    EXPECT_EQ(CallSeconds(95.5), 95);
    EXPECT_EQ(CallSeconds(0.0), 0);
    EXPECT_EQ(CallSeconds(-3.0), 0);
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

// The run of the older carving path: its sequences by iOS version, the record tests and byte
// readers every routine shares, and the bounded reads of the serial-type helpers.

#include "common/Clock.h"
#include "legacy/Constants.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/DeviceInfo.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

FileBytes View(const std::vector<std::uint8_t>& bytes) {
    return {bytes.data(), bytes.size()};
}

struct LegacyRun {
    BrimleyAppDelegate record;
    DeviceInfo device;
    std::vector<std::string> lines;
    std::unique_ptr<LegacyRecovery> legacy;

    explicit LegacyRun(int iosMajor = 9, int hostVersion = 0, std::stop_token stop = {}) {
        device.setIOSMajorVersion(iosMajor);
        LegacyReporter reporter;
        reporter.updateStatus = [this](std::int32_t code, const std::string& text) {
            lines.push_back(std::to_string(code) + " " + text);
        };
        reporter.UpdateMainView = [this](std::int32_t tab) { lines.push_back("view " + std::to_string(tab)); };
        legacy = std::make_unique<LegacyRecovery>(testsupport::ContextFor(record, device, stop), reporter,
                                                  hostVersion);
    }
};

std::shared_ptr<SMS> Message(const std::string& text, const std::string& address) {
    auto sms = std::make_shared<SMS>();
    sms->setMessage(text);
    sms->setAddress(address);
    return sms;
}

}  // namespace

TEST(LegacyDispatcher, EachVersionRunsItsSequenceWithItsStatusLines) {
    const std::vector<std::string> seven = {
        "3 Recovering Notes...",          "view 1", "3 Recovering CallHistory...",        "view 1",
        "3 Recovering WhatsApp message... ", "view 1", "3 Recovering Messages & iMessages...", "view 1",
        "3 Recovering Calendar... ",      "view 1", "3 Recovering Contacts...",             "view 1"};
    const std::vector<std::string> six = {"3 Recovering Text...",     "3 Recovering Notes...",
                                          "3 Recovering CallHistory...", "3 Recovering Calendar...",
                                          "3 Recovering WhatsApp message...", "3 Recovering Contacts..."};
    const struct {
        int version;
        std::vector<std::string> lines;
    } cases[] = {{9, seven}, {7, seven}, {6, six}, {5, {}}, {4, {}}, {0, {}}};
    for (const auto& c : cases) {
        LegacyRun run(c.version);
        run.legacy->RecoverDeletedDataNonSignatures();
        EXPECT_EQ(run.lines, c.lines) << "iOS " << c.version;
    }
}

TEST(LegacyDispatcher, OnlyTheSelectedTypeIsCarved) {
    const struct {
        int version;
        DataType type;
        std::vector<std::string> lines;
        bool calendarCleared;
    } cases[] = {
        {7, DataType::DataTypeSMS, {"3 Recovering Messages & iMessages...", "view 1"}, false},
        {7, DataType::DataTypeCalendar, {"3 Recovering Calendar... ", "view 1"}, true},
        {6, DataType::DataTypeSMS, {"3 Recovering Text..."}, false},
        {6, DataType::DataTypePhotosVideos, {}, false},
        {7, DataType::DataTypeAll, {}, true},
        {5, DataType::DataTypeSMS, {}, false},
    };
    for (const auto& c : cases) {
        LegacyRun run(c.version);
        // A deleted event listed before: only a calendar routine replaces the list.
        run.record.DeletedCalendar.append(std::make_shared<Calendar>());
        run.legacy->RecoverDeletedDataNonSignatures(c.type);
        if (c.type != DataType::DataTypeAll) {
            EXPECT_EQ(run.lines, c.lines) << "iOS " << c.version;
        }
        EXPECT_EQ(run.record.DeletedCalendar.empty(), c.calendarCleared) << "iOS " << c.version;
    }
}

TEST(LegacyDispatcher, AStoppedScanRunsNoRoutine) {
    std::stop_source stop;
    stop.request_stop();
    LegacyRun run(9, 0, stop.get_token());
    run.legacy->RecoverDeletedDataNonSignatures();
    EXPECT_TRUE(run.lines.empty());
}

TEST(LegacyDatabase, AMissingOrEmptyFileReadsAsNothingAndClearsRecovering) {
    const fs::path dir = fs::temp_directory_path() / ("torvane-legacy-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "empty").close();
    std::ofstream(dir / "full") << "SQLite format 3";
    std::string error;
    EXPECT_TRUE(MappedFile::open((dir / "missing").string(), &error).empty());
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_TRUE(MappedFile::open((dir / "empty").string()).empty());
    EXPECT_TRUE(MappedFile::open(dir.string()).empty());
    const MappedFile full = MappedFile::open((dir / "full").string());
    EXPECT_EQ(full.bytes().text(0, 15), "SQLite format 3");

    LegacyRun run;
    EXPECT_TRUE(run.legacy->readDatabase(DatabaseRole::Messages).empty());
    EXPECT_FALSE(run.legacy->isRecovering.load());
    fs::remove_all(dir);
}

TEST(FileBytes, ReadsAreBoundedByTheEndOfTheData) {
    const std::vector<std::uint8_t> bytes = {1, 2, 3};
    const FileBytes view = View(bytes);
    EXPECT_EQ(view[2], 3);
    EXPECT_EQ(view[3], 0);
    EXPECT_EQ(view[-1], 0);
    EXPECT_TRUE(view.has(1, 2));
    EXPECT_FALSE(view.has(2, 2));
    EXPECT_FALSE(view.has(1, INT64_MAX));
    EXPECT_TRUE(view.text(2, 5).empty());
    EXPECT_TRUE(view.from(4).empty());
}

TEST(Constants, SerialTypesVarintsAndIntegers) {
    const struct {
        std::int32_t type;
        const char* kind;
        const char* length;
    } types[] = {{0, "NULL", "0"},  {1, "INTEGER", "1"}, {5, "INTEGER", "6"}, {6, "INTEGER", "8"},
                 {7, "FLOAT", "8"}, {8, "0", "0"},       {9, "1", "0"},       {10, "RESERVED", "0"},
                 {11, "RESERVED", "0"}, {12, "BLOB", "0"}, {13, "TEXT", "0"}, {19, "TEXT", "3"},
                 {20, "BLOB", "4"}, {-1, "UNKNOWN", "0"}};
    for (const auto& t : types)
        EXPECT_EQ(Constants::getDataType(t.type), Constants::ColumnDescriptor(t.kind, t.length)) << t.type;

    const std::vector<std::uint8_t> b80 = {0x80, 0x05}, b81 = {0x81, 0x05}, b05 = {0x05}, bC8 = {0xC8};
    EXPECT_EQ(Constants::huffman_check(0, View(b80)), 1);
    EXPECT_EQ(Constants::huffman_check(0, View(b81)), 2);
    EXPECT_EQ(Constants::huffman_check(0, View(b05)), 1);
    EXPECT_EQ(Constants::huffman_calc(0, 2, View(b81)), 133);
    EXPECT_EQ(Constants::huffman_calc(0, 1, View(bC8)), 200);
    // A run of continuation bytes up to the end stops there.
    const std::vector<std::uint8_t> tail = {0x00, 0x90, 0x90, 0x90};
    EXPECT_EQ(Constants::huffman_check(1, View(tail)), 3);

    const std::vector<std::uint8_t> b012C = {0x01, 0x2C}, b07 = {0x07};
    EXPECT_EQ(Constants::big_endian(0, 2, View(b012C)), 300);
    EXPECT_EQ(Constants::big_endian(0, 1, View(b07)), 7);
    // Bytes past the end read as 0.
    EXPECT_EQ(Constants::big_endian(1, 2, View(b012C)), 0x2C00);
}

TEST(LegacyReaders, ByteReaders) {
    EXPECT_EQ(LegacyRecovery::GetValue(static_cast<std::int8_t>(0x81), 0x05), 133);
    const std::vector<std::uint8_t> dword = {1, 2, 3, 4};
    EXPECT_EQ(LegacyRecovery::GetDwordFromBuffer(View(dword), 0, 4), 0x01020304u);
    EXPECT_EQ(LegacyRecovery::GetDwordFromBuffer(View(dword), 0, 2), 258u);
    EXPECT_EQ(LegacyRecovery::GetDwordFromBuffer(View(dword), 0, 1), 0u);
    EXPECT_EQ(LegacyRecovery::GetDwordFromBuffer(View(dword), 3, 4), 0x04000000u);

    const std::vector<std::uint8_t> text = {'a', 0, 'b', 0, 0}, zeros = {0, 0}, none = {'a', 0, 'b'};
    EXPECT_EQ(LegacyRecovery::GetTheLengthOfTheStringBytes(View(text), 0), 5);
    EXPECT_EQ(LegacyRecovery::GetTheLengthOfTheStringBytes(View(zeros), 0), 2);
    EXPECT_EQ(LegacyRecovery::GetTheLengthOfTheStringBytes(View(none), 0), 3);
    EXPECT_EQ(LegacyRecovery::GetTheLengthOfTheStringBytes(View(none), 99), 3);

    const std::string twoDigits = "12", plus = "+1234abc";
    EXPECT_FALSE(LegacyRecovery::GetValidPhno(FileBytes(twoDigits), 0, 2));
    EXPECT_EQ(LegacyRecovery::GetValidPhno(FileBytes(plus), 0, 8), "+1234");
    EXPECT_EQ(LegacyRecovery::GetValidPhno(FileBytes(plus), 0, 3), "+12");
}

TEST(LegacyReaders, DatesKeepTheirYearHoweverOldOrNew) {
    Clock::ScopedTimeZone zone("Europe/Berlin");
    // 2026-06-15 12:00:00 UTC.
    Clock::ScopedNow now(Date(sys_days(year(2026) / 6 / 15).time_since_epoch() + hours(12)));
    const auto seconds = [](int y, unsigned m, unsigned d, int h) {
        return duration_cast<std::chrono::seconds>((sys_days(year(y) / m / d) + hours(h)).time_since_epoch())
            .count();
    };
    EXPECT_EQ(LegacyRecovery::GetDateFromInteger(seconds(2006, 3, 4, 10)), "2006-03-04 11:00:00");
    EXPECT_EQ(LegacyRecovery::GetDateFromInteger(seconds(2026, 3, 4, 10)), "2026-03-04 11:00:00");
    EXPECT_EQ(LegacyRecovery::GetDateFromInteger(seconds(2016, 3, 4, 10)), "2016-03-04 11:00:00");
    EXPECT_EQ(LegacyRecovery::GetDateFromInteger(seconds(2030, 7, 1, 10)), "2030-07-01 12:00:00");
}

TEST(LegacyTests, NoteTitlesAreDuplicatesByTheirMiddle) {
    LegacyRun run;
    auto note = std::make_shared<Note>();
    note->setTitle("xxThe shopping list for Saturday morning!!!yy");
    run.record.DeletedNotes.append(note);
    const struct {
        const char* title;
        bool duplicate;
    } cases[] = {
        {"xxThe shopping list for Saturday morning!!!yy", true},
        {"ABThe shopping list for XYZ", true},      // over 21: characters 2 to length - 3
        {"ABThe shopping list for", true},          // 23 characters, the middle is inside
        {"ABshopping list for S", true},            // 21: all but the first two characters
        {"ABshopping list for X", false},
        {"ABshopping list for Xyz", true},          // 23: the last three go too
        {"ABThe ", true},                           // 6 characters: "The "
        {"xxyy", false},                            // 4 or fewer: only the exact title
    };
    for (const auto& c : cases) EXPECT_EQ(run.legacy->isDuplicateNotes(std::string(c.title)), c.duplicate) << c.title;
}

TEST(LegacyTests, ACarvedTextIsAnExistingMessageWhenItHoldsOneAndItsAddressClosely) {
    LegacyRun run;
    run.legacy->listSMS = {Message("", "+49123"), Message("See you at eight", "+4915112345678")};
    const std::string both = "See you at eight+4915112345678";
    const struct {
        std::string text;
        bool normal;
    } cases[] = {
        {both, false},                          // as long as the two together
        {both + "x", true},                     // one longer
        {both + std::string(18, 'x'), true},
        {both + std::string(19, 'x'), false},   // 19 longer
        {"See you at eight", false},            // without the address
    };
    for (const auto& c : cases) EXPECT_EQ(run.legacy->isNormalSMS(c.text), c.normal) << c.text;
    EXPECT_TRUE(run.legacy->isIOS6NormalSMS(std::string("See you at eight"), std::nullopt));
    EXPECT_FALSE(run.legacy->isIOS6NormalSMS(std::string("See you at eight"), std::string("+1")));
}

TEST(LegacyTests, CharacterSetsAndPhoneNumbers) {
    LegacyRun run(9, 12);
    EXPECT_TRUE(run.legacy->isValidString(std::string("Anna Schmidt")));
    EXPECT_FALSE(run.legacy->isValidString(std::string("Anna+Schmidt")));
    EXPECT_TRUE(run.legacy->isValidString(std::string()));
    EXPECT_TRUE(LegacyRecovery::isValidChar(std::string("Where? \"Here\": 5$/10%")));
    EXPECT_FALSE(LegacyRecovery::isValidChar(std::string("café")));
    EXPECT_TRUE(LegacyRecovery::isAsciiValue('q'));
    EXPECT_FALSE(LegacyRecovery::isAsciiValue(' '));
    EXPECT_TRUE(LegacyRecovery::IsValidPritableAsciiCharacter('~'));
    EXPECT_FALSE(LegacyRecovery::IsValidPritableAsciiCharacter(0x7F));
    EXPECT_FALSE(LegacyRecovery::IsValidPritableAsciiCharacter(static_cast<std::int8_t>(0xC3)));

    EXPECT_EQ(run.legacy->GetPhoneNumber("call +1234567 today"), "+1234567");
    EXPECT_EQ(run.legacy->GetPhoneNumber("call +1234567"), "call +1234567");
    EXPECT_EQ(run.legacy->GetPhoneNumber("tel 0049123 x"), "0049123");
    EXPECT_EQ(run.legacy->GetPhoneNumber("1 (555) 123 x"), "1 (555) 123");
    EXPECT_EQ(run.legacy->GetPhoneNumber("no number here"), "no number here");
    LegacyRun newer(9, 17);
    EXPECT_EQ(newer.legacy->GetPhoneNumber("call +1234567 today"), "call +1234567 today");
}

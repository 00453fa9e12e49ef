#pragma once

#include "common/Types.h"
#include "legacy/LegacyBytes.h"
#include "records/DataType.h"
#include "records/ScanContext.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class BrimleyAppDelegate;
class SMS;
class WhatsApp;

// What the older carving path tells the window while it runs: a status line (code and text,
// as the scan's status line takes them) and a switch of the main window's tab; and what it tells
// the scan's progress: the data type whose routine begins (with its status text, none where
// the routine has none) and ends.
struct LegacyReporter {
    std::function<void(std::int32_t code, const std::string& message)> updateStatus;
    std::function<void(std::int32_t tab)> UpdateMainView;
    std::function<void(DataType type, const char* status)> stepBegins;
    std::function<void(DataType type)> stepEnds;
};

// The older carving path: no signature file, one routine per data type and iOS version that
// slides over the whole database file looking for the byte patterns of record headers and
// builds display records directly into the results record's deleted lists.
//
// This class is the run: what every routine shares (the scan being read, the stop token, the
// existing-message cache) and the small record tests and byte readers they all use. The
// routines themselves live in one class per data type (LegacyMessageCarving and its kin), each
// made on a run; RecoverDeletedDataNonSignatures runs them in the order the iOS version asks.
//
// Everything runs on the caller's thread, one routine after another; the results record's lists
// are synchronised, so the window may read them meanwhile. Each routine tests the stop token
// per candidate record and ends promptly once the scan is stopped.
class LegacyRecovery {
public:
    // hostVersion: the host's version value that isValidString and GetPhoneNumber compare
    // with 17 (see getOSXVersion).
    explicit LegacyRecovery(ScanContext context, LegacyReporter reporter = {},
                            std::int32_t hostVersion = 0);
    ~LegacyRecovery();
    LegacyRecovery(const LegacyRecovery&) = delete;
    LegacyRecovery& operator=(const LegacyRecovery&) = delete;

    // Runs the sequence of routines of the device's iOS major version, only the steps of the
    // selected data type (every step for DataTypeAll); the lists of other types stay as they are.
    void RecoverDeletedDataNonSignatures(DataType selected = DataType::DataTypeAll);

    // ---- The run ----
    BrimleyAppDelegate& appDelegate() const { return context_.sink(); }
    const ScanContext& context() const { return context_; }
    const LegacyReporter& reporter() const { return reporter_; }
    std::int32_t iOSMajorVersion() const { return context_.iOSMajorVersion(); }
    std::int32_t hostVersion() const { return hostVersion_; }
    bool stopRequested() const { return context_.cancelled(); }
    // Whether the type's routines may run: false when the backup has their database but none
    // of the tables they read. Then the database is named in the scan's problems
    // (and on the status line) and its routines are not run.
    bool readableByThisPath(DataType type);

    // The whole database file of a role, mapped read-only (or the bytes set with
    // setDatabaseBytes). Empty when the file is missing, unreadable or empty; isRecovering is
    // then cleared.
    class Database {
    public:
        FileBytes bytes() const { return borrowed_ ? *borrowed_ : file_.bytes(); }
        bool empty() const { return bytes().empty(); }

    private:
        friend class LegacyRecovery;
        MappedFile file_;
        std::optional<FileBytes> borrowed_;
    };
    Database readDatabase(DatabaseRole role);
    // Routines read these bytes for the role instead of the backup's file (tests, fuzzing).
    // The bytes must outlive the run.
    void setDatabaseBytes(DatabaseRole role, FileBytes bytes);
    // The number of columns (the row id's alias included) of a table of the role's database, as
    // the file's own schema declares it; none when the file or the table cannot be read, or the
    // role's bytes were set with setDatabaseBytes.
    std::optional<std::int32_t> columnCount(DatabaseRole role, std::string_view table) const;
    // The names of those columns, in the file's order.
    std::optional<std::vector<std::string>> columnNames(DatabaseRole role, std::string_view table) const;
    // Cleared when a routine meets a missing or empty database file.
    std::atomic<bool> isRecovering{true};

    // ---- Existing messages ----
    // The existing messages of the backup's messages database, read once on first use by the
    // normality tests (through a connection of the run's own; the results record is not
    // touched).
    std::vector<std::shared_ptr<SMS>> listSMS;
    bool isIOS6NormalSMS(const OptString& text, const OptString& address);
    bool isNormalSMS(const OptString& text, const OptString& address);
    // Whether a carved text holds one stored message and its address, and is at most 18
    // characters longer than the two together (but not equally long).
    bool isNormalSMS(const OptString& text);

    // ---- Duplicate tests ----
    bool isDuplicateSMS(const OptString& text) const;
    static bool isDuplicateSms(const OptString& text, const OptString& localTime,
                               const std::vector<std::shared_ptr<SMS>>& list);
    static bool isDuplicateWhatsAppmsg(const OptString& text, const OptString& messageDate,
                                       const std::vector<std::shared_ptr<WhatsApp>>& list);
    bool isDuplicateContact(const OptString& firstName) const;
    bool isDuplicateContactName(const OptString& firstName, const OptString& createdDate) const;
    bool isDuplicateNotes(const OptString& title) const;
    bool isDuplicateCalender(const OptString& summary) const;

    // ---- Byte and number readers (bounded by the view) ----
    // The big-endian unsigned value of the length bytes at offset, for length 2, 3 or 4; else 0.
    static std::uint32_t GetDwordFromBuffer(FileBytes bytes, std::int64_t offset, std::int32_t length);
    // ((a AND 127) * 128) + (b AND 127).
    static std::int32_t GetValue(std::int8_t a, std::int8_t b);
    // The offset just past the first pair of adjacent zero bytes at or after start; the end of
    // the data when there is none.
    static std::int64_t GetTheLengthOfTheStringBytes(FileBytes bytes, std::int64_t start);
    // "yyyy-MM-dd HH:mm:ss" in the local time zone, the standard record date text; none when no
    // date can be built.
    static OptString GetDateFromInteger(std::int64_t unixSeconds);

    // ---- Character, string and phone-number tests ----
    static bool IsValidPritableAsciiCharacter(std::int8_t byte);
    static bool isAsciiValue(std::int8_t byte);
    bool isValidString(const OptString& text) const;
    static bool isValidChar(const OptString& text);
    // An empty test: no text holds a phone number here.
    static bool ContainPhoneNumber(const OptString& text, std::pair<std::int64_t, std::int64_t>* range);
    // The leading run of digits and "+" (at most size bytes at offset) when it has 3 bytes or more.
    static OptString GetValidPhno(FileBytes bytes, std::int64_t offset, std::int32_t size);
    std::string GetPhoneNumber(const std::string& text) const;

    // ---- Texts ----
    // Length in UTF-16 units, as texts are counted here.
    static std::int64_t CharacterCount(const std::string& text);
    // The count characters (UTF-16 units) from start; clamped to the text.
    static std::string Characters(const std::string& text, std::int64_t start, std::int64_t count);

private:
    void loadExistingMessages();

    ScanContext context_;
    LegacyReporter reporter_;
    std::int32_t hostVersion_ = 0;
    bool existingMessagesLoaded_ = false;
    std::array<std::optional<FileBytes>, kDatabaseRoleCount> borrowed_{};
};

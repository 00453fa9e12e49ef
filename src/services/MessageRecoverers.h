#pragma once

#include "common/ColumnValue.h"
#include "common/Types.h"
#include "services/CarvedRecordCheck.h"
#include "services/CarvedRowFingerprint.h"
#include "services/ScanRecoverer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

class BrimleyAppDelegate;
class DAOs;
class Message;
class SMS;
class SqliteConnection;

// The recoverers of the messages database's message table. Each carves deleted rows into
// Message records, converts them into the SMS records that the screens show and lists them in
// the shared state record. One object serves one run on one file, on the thread of the message
// service, with read-only connections of its own.

// What the message-table recoverers of every iOS version share: the deleted-message counts, a
// fresh Message per record with its byte fingerprint, and the check that passes over matches
// whose texts were decoded from the wrong place (CarvedRecordCheck).
class MessageTableRecovery : public ScanRecoverer<> {
public:
    // Set the deleted-message counts to n / add one to DeletedSMSCount; each answers the count.
    std::int32_t setRecoveryCount(std::int32_t n);
    std::int32_t incrementRecoveryCount();

protected:
    explicit MessageTableRecovery(ScanContext context) : ScanRecoverer(std::move(context)) {}

    bool acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                      std::int64_t contentShift) override;
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    std::int32_t verifyDataPosition(ByteView) override { return kKeepPosition; }

    CarvedRecordCheck recordCheck_;
    CarvedRowFingerprint fingerprint_;
};

// The message recoverer of iOS 6 and later: tries every pattern of the message table's
// signature. Each new deleted message goes to AllDeletedSMS and DeletedSMS, raises
// DeletedSMSCount and tells the window. RecoveredFiltered keeps every carved message that says
// something (a GUID, a text or a date), copies of live messages included, for the message service
// to attribute; RecoveredData is the scan's DeletedSMS as the run found it.
//
// A message is listed once: a record seen again byte for byte (a page searched by a walk and by
// a sweep) is taken once, with or without a GUID, and a second copy of a GUID already listed or
// live is not listed; nor is a copy of a live row whose GUID bytes were damaged (the text, date
// and handle of a live row, or a live row's GUID but for one character that no GUID holds). A
// record cut short by the end of its area waits until the file is carved
// and is listed only when no whole copy of it was.
class MessagesSQLiteRecovery : public MessageTableRecovery {
public:
    explicit MessagesSQLiteRecovery(ScanContext context);
    ~MessagesSQLiteRecovery() override;

    void DoRecoveryPath(const std::string& path) override;

    // Whether the message is not a deleted one to list: it has the GUID of a live message (the
    // record's AllSMSContent, or the carved file's own message table) or of one listed already.
    // A message without a GUID is neither.
    bool alreadyInDB(const SMS& sms) const;

    // The deleted messages the scan had listed when the last run began (its DeletedSMS then).
    const std::vector<std::shared_ptr<SMS>>& RecoveredData() const { return listedBefore_; }

    const OptString& HandleId() const { return HandleId_; }
    void setHandleId(OptString id) { HandleId_ = std::move(id); }

    // The display text of a carved date column (seconds since 2001, or nanoseconds as iOS 11
    // writes them): local "yyyy-MM-dd HH:mm:ss" for a moment in the past, " " otherwise.
    static std::string CarvedDateText(double value);

protected:
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    void addRecoveredObject() override;

private:
    bool isLiveOrListed(const OptString& guid) const;
    // A message of that GUID is live (the record's AllSMSContent, or the file's message table).
    bool isLive(const OptString& guid) const;
    // The message is a stale copy of a live row whose GUID bytes no longer match (the copy or
    // the live cell damaged): a live row has the same text, date and handle, or the GUID that
    // the copy's has with one character that no GUID holds put right.
    bool isCopyOfLive(const Message& message) const;
    // A message of that GUID is listed as deleted already.
    bool isListed(const OptString& guid) const;
    void list(const std::shared_ptr<Message>& message);
    // Keeps a carved message that says something in RecoveredFiltered, and lists it unless it is
    // a copy of a live message or listed already.
    void keep(const std::shared_ptr<Message>& message);

    std::unique_ptr<DAOs> daos_;
    std::shared_ptr<SqliteConnection> live_;
    CarvedRowSightings sightings_;
    // Records cut short by the end of their area (often an older copy of a row in a page's
    // gap): listed after the carving, and only when no whole copy was listed.
    std::vector<std::shared_ptr<Message>> cut_;
    mutable bool guidLookupFails_ = false;
    // Keys kept as sorted 64-bit hashes: eight bytes per live row of even the largest table.
    // A deleted message whose key hashes as a live one's (a chance of about one in 2^64 per
    // pair) would be taken for live.
    class HashSet {
    public:
        // A key already there when the set was last sealed is not added again.
        void add(std::string_view key);
        // Sorts what was added; contains() needs it.
        void seal();
        bool contains(std::string_view key) const;

    private:
        std::vector<std::uint64_t> hashes_;
        // The sorted front of hashes_, as the last seal() left it.
        std::size_t sealed_ = 0;
    };
    // What the live rows of the table itself hold, read once: through SQLite without its
    // indexes, and from the file's own pages (leaves cut off from the b-tree included). For
    // where SQLite cannot look a GUID up, to confirm that its index knows no such row, and to
    // know a copy of a live row by its content.
    struct StoredRows {
        HashSet guids;
        // The text, date and handle of each live row that has a text and a date.
        HashSet copies;
        // The row ids of the live rows, also as the table's indexes hold them: the table hands
        // out each row id once (AUTOINCREMENT), so a whole cell that carries one of them is a
        // copy of that row, whatever its other bytes say, and where the file lost the row's
        // own leaf (cut short) its index entries still name it.
        std::vector<std::int64_t> rowIds;
        bool holdsRowId(std::int64_t rowId) const;
    };
    const StoredRows& storedRows() const;
    std::string path_;
    mutable std::optional<StoredRows> storedRows_;
    OptString HandleId_;
    std::vector<std::shared_ptr<SMS>> listedBefore_;
};

// The common part of the recoverers of the message tables before iOS 6 (rows with an address
// and flags instead of handles): they take the patterns of one version of the signature, list
// every carved message that the file does not hold live, and afterwards keep in
// RecoveredFiltered the carved messages with a text and a date that the file does not hold.
class OlderMessagesSQLiteRecovery : public MessageTableRecovery {
public:
    ~OlderMessagesSQLiteRecovery() override;

    void DoRecoveryPath(const std::string& path) override;
    // Keeps in RecoveredFiltered the carved messages with a text and a date that the database
    // at path does not hold.
    void CheckIfinDB(const std::string& path);
    // Whether the open database holds a message with the message's text (and its date, when
    // it has one).
    bool CheckMessageInDB(const Message& message) const;

    // The carved messages, in carving order.
    const std::vector<std::shared_ptr<Message>>& carvedMessages() const { return carved_; }

protected:
    enum class DateStyle { IOS5_6, IOS4 };
    OlderMessagesSQLiteRecovery(ScanContext context, std::string version, DateStyle style);

    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    void addRecoveredObject() override;

public:
    // The display text of a carved row's date: Unix seconds for an SMS row, Apple seconds for
    // an iMessage row of iOS 5; "yyyy-MM-dd HH:mm:ss" in local time, "" for no date.
    static std::string DateText(double value, bool madrid);
    // The text of an iMessage row's read or delivery time (Apple seconds); "" for 0 ("not yet").
    static std::string MadridMomentText(double appleSeconds);

private:
    std::string version_;
    DateStyle style_;
    // Of the record being decoded: an iMessage row, and a date column read.
    bool madrid_ = false;
    bool dateMapped_ = false;
    std::unique_ptr<DAOs> daos_;
    std::shared_ptr<SqliteConnection> live_;
    CarvedRowSightings sightings_;
    std::vector<std::shared_ptr<Message>> carved_;
    // Where SQLite cannot answer: the texts and dates of the live rows as the file's own pages
    // hold them, read once.
    std::string path_;
    struct StoredMessages {
        std::set<std::pair<std::string, double>> textsAndDates;
        std::unordered_set<std::string> texts;
    };
    mutable std::optional<StoredMessages> stored_;
};

// The message table of iOS 5 and 6: patterns of version "iOS6".
class MessagesIOS5_6SQLiteRecovery : public OlderMessagesSQLiteRecovery {
public:
    explicit MessagesIOS5_6SQLiteRecovery(ScanContext context)
        : OlderMessagesSQLiteRecovery(std::move(context), "iOS6", DateStyle::IOS5_6) {}
};

// The message table of iOS 4: patterns of version "iOS4".
class MessagesIOS4SQLiteRecovery : public OlderMessagesSQLiteRecovery {
public:
    explicit MessagesIOS4SQLiteRecovery(ScanContext context)
        : OlderMessagesSQLiteRecovery(std::move(context), "iOS4", DateStyle::IOS4) {}
};

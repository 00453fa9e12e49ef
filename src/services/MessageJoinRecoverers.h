#pragma once

#include "carving/AbstractSQLiteRecoveryFullSearch.h"
#include "common/ColumnValue.h"
#include "common/Types.h"
#include "services/CarvedRecordCheck.h"
#include "services/CarvedRowFingerprint.h"
#include "services/ScanRecoverer.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class BrimleyAppDelegate;
class SqliteConnection;

// The recoverers of the messages database's link tables. A carved message names its partner
// only through a handle row id and its GUID; these recoverers carve the rows that tie messages,
// chats and handles together, so that the message service can attribute carved messages.
// Each recoverer serves one run on one file, on the thread of the message service, and opens
// its own read-only connections.

// Deleted rows of the handle table (a partner's address) that the live table no longer holds.
// Searches the free space of each page, like the message recoverer.
class MessageHandleSQLiteRecovery : public ScanRecoverer<> {
public:
    explicit MessageHandleSQLiteRecovery(ScanContext context);

    // Carves the file, then passes on (RecoveredFiltered) the carved handles that are complete,
    // look like handles (a printable address without blanks, a country code and a service that
    // are plain words) and are absent from the file's live handle table. RecoveredData keeps
    // every handle carved.
    void DoRecoveryPath(const std::string& path) override;

    // Whether an address is plain printable ASCII (32 to 126); an empty text is, an absent one
    // is not.
    static bool IsValid(const OptString& text);

protected:
    // Passes over matches whose texts were decoded from the wrong place (CarvedRecordCheck).
    bool acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                      std::int64_t contentShift) override;
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    std::int32_t verifyDataPosition(ByteView) override { return kKeepPosition; }
    void addRecoveredObject() override;

private:
    CarvedRecordCheck recordCheck_;
    CarvedRowFingerprint fingerprint_;
    CarvedRowSightings sightings_;
    std::vector<std::shared_ptr<baseRecoveryObject>> carved_;
};

// The base of the recoverers that search every page of the messages database whole, live cells
// included: the rows they are after are mostly live ones that tie a carved message to its chat.
//
// Their records are short (two or three small columns), and such bytes turn up everywhere in a
// page, so a header that fits a pattern is taken only when the bytes around it describe a whole
// record of a cell: its header-length byte is right, its content lies inside the page, and the
// cell's payload length (with the row id between them in a table cell) comes right before it.
class MessageWholePageRecovery : public ScanRecoverer<AbstractSQLiteRecoveryFullSearch> {
public:
    explicit MessageWholePageRecovery(ScanContext context);

    // Whether the header that info describes is a whole record of a cell (see above).
    static bool IsFramedRecord(ByteView area, const SQLiteTableHeaderInfo& info);
    // Whether an id can be a row id of an AUTOINCREMENT table whose largest id is max (-1:
    // unknown, so any id from 1 on).
    static bool WithinSequence(std::int64_t id, std::int64_t max) {
        return id >= 1 && (max < 0 || id <= max);
    }

protected:
    bool acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                      std::int64_t contentShift) override;

    // Takes the patterns of the messages database's signature of that table from the record's
    // catalogue.
    void setSignature(std::string_view table);
    // Opens the file at path for the recoverers' tests against its live tables.
    void openLiveDatabase(const std::string& path);
    // Whether the live database answers a row to the statement.
    bool liveRowExists(std::string_view sql, const std::vector<ColumnValue>& args) const;
    // Every decoded value goes into the current record's fingerprint.
    void noteValue(const ColumnValue& value) { fingerprint_.add(value); }
    void startRecord() { fingerprint_.clear(); }
    // False for a record byte-for-byte like one taken before in this run.
    bool firstSighting() { return sightings_.firstSighting(fingerprint_); }

private:
    CarvedRowFingerprint fingerprint_;
    CarvedRowSightings sightings_;
    std::shared_ptr<SqliteConnection> live_;
    mutable std::set<std::string> unanswerable_;
};

// The chat_message_join rows: which chat a message belongs to. RecoveredFiltered keeps the links
// of live and deleted messages alike.
class MessageChatMessageJoinSQLiteRecovery : public MessageWholePageRecovery {
public:
    using MessageWholePageRecovery::MessageWholePageRecovery;
    void DoRecoveryPath(const std::string& path) override;
    // The message table's largest row id for the alternative header search: this recoverer
    // opens no connection of its own for it, so -1 (unknown). Its run bounds the row ids by the
    // file's own sequence row instead.
    std::int32_t getMaxMessageRowId() const { return -1; }

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    void addRecoveredObject() override;
};

// The message GUIDs with their row ids, from the records of the unique index on the GUID; those
// of live messages too.
class MessageGuidAndRowIdConnectionSQLiteRecovery : public MessageWholePageRecovery {
public:
    using MessageWholePageRecovery::MessageWholePageRecovery;
    void DoRecoveryPath(const std::string& path) override;
    // The largest row id the message table has handed out, as SQLite reads the sequence row of
    // fullDBPath ("message" in sqlite_sequence, the last such row); -1 when the file does not
    // open or holds no such row. The run bounds the row ids of its links by it.
    std::int32_t getMaxMessageRowId() const;

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    std::int32_t verifyDataPosition(ByteView) override { return kKeepPosition; }
    void addRecoveredObject() override;
};

// The chat GUIDs with their row ids, from the records of the unique index on the GUID; the
// partner's address is the GUID's last part ("SMS;-;+4915112345678").
class MessageChatGuidAndChatIdHandleConnectionSQLiteRecovery : public MessageWholePageRecovery {
public:
    using MessageWholePageRecovery::MessageWholePageRecovery;
    void DoRecoveryPath(const std::string& path) override;

    // The text after the GUID's last ";", when that ";" is not its first character and
    // something follows it; absent otherwise.
    static OptString PartnerOfChatGuid(const OptString& guid);

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    void addRecoveredObject() override;
};

// The chat_handle_join rows: which handles take part in a chat.
class MessageChatHandleJoinSQLiteRecovery : public MessageWholePageRecovery {
public:
    using MessageWholePageRecovery::MessageWholePageRecovery;
    void DoRecoveryPath(const std::string& path) override;
    // As the chat-message join's: no connection of its own for the look-up, so -1 (unknown).
    std::int32_t getMaxMessageRowId() const { return -1; }

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    void addRecoveredObject() override;

private:
    std::int64_t maxHandleRowId_ = -1;
};

#pragma once

#include "legacy/CallLogRecord.h"
#include "legacy/LegacyBytes.h"
#include "records/ScanContext.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class BrimleyAppDelegate;
class DAOs;

// Finds deleted rows of the call store's ZCALLRECORD table (iOS 8) in the raw bytes of the
// backup's CallHistory.storedata, without reading the SQLite page structure: it looks for
// record headers of the table's exact shape (header length 18, the Z_PK column stored as NULL
// since the row id stands in for it), decodes every column by its type, keeps the rows that no
// longer exist in the live table, and lists them as deleted calls.
//
// Row shape looked for, at p (the header-length byte): payload length (1 or 2 bytes) and row
// id (1 or 2 bytes) before it, then 18, 0 (Z_PK), the 16 further serial types, the values.
//
// Every read is bounded by the file: a record whose header or values would run past its end
// gives no record. The scan runs on the caller's thread and ends early once the scan's stop
// token is set.
class CallHistoryRecoveryAlgo {
public:
    // The backup file name of the call store.
    static constexpr const char* kCallStoreName = "5a4935c78a5255723f707230a451d79c540d2741";

    // Reads the backup folder of the context and lists into its results record.
    explicit CallHistoryRecoveryAlgo(ScanContext context);
    ~CallHistoryRecoveryAlgo();
    CallHistoryRecoveryAlgo(const CallHistoryRecoveryAlgo&) = delete;
    CallHistoryRecoveryAlgo& operator=(const CallHistoryRecoveryAlgo&) = delete;

    BrimleyAppDelegate& appDelegate() const { return context_.sink(); }

    // The whole parse: appends the deleted rows found to DeletedCallLog and answers the new
    // DeletedCallLogCount; 0, changing nothing, when the call store is missing or empty.
    std::int32_t fetchCallHistoryFrom_ZCALLRECORD_Table();

    // Maps the call store read-only into lpBuf/leng (leng 0 when there is none).
    void getBufferFromHaxFile();
    // The row id / payload length of the cell whose header-length byte is at p.
    std::int32_t getRowID(std::int64_t p) const;
    std::int32_t getPayLoadLength(std::int64_t p) const;
    // The header pass from the header-length byte at p: every column's serial type. False when
    // the header runs past the end of the data.
    bool fetchHeader(std::int64_t p, CallLogRecord& record, std::int32_t header) const;
    // The value pass from the data start: every column's value. False when a value runs past
    // the end of the data.
    bool fetchRecord(std::int64_t dataStart, CallLogRecord& record, std::int32_t payload) const;

    // Serial type at q → "length", "value" (when the type itself gives it), "headerBytelength".
    void getIntegerHeaderLength(std::int64_t q, CallLogColumn& column) const;
    void getTIMESTAMPHeaderLength(std::int64_t q, CallLogColumn& column) const;
    void getVarCharHeaderLength(std::int64_t q, CallLogColumn& column) const;
    // Value bytes at q → "value", for a column with a length and no value yet.
    void getIntegerValueLength(std::int64_t q, CallLogColumn& column) const;
    void getTIMESTAMPValueLength(std::int64_t q, CallLogColumn& column) const;
    void getVarCharValueLength(std::int64_t q, CallLogColumn& column) const;

    // The call store's bytes and their count.
    FileBytes lpBuf;
    std::uint64_t leng = 0;

private:
    // Whether the live table holds a row with that Z_PK (asked once per row id).
    bool isLiveRow(std::int32_t rowId);

    ScanContext context_;
    MappedFile file_;
    std::unique_ptr<DAOs> daos_;
    std::map<std::int32_t, bool> liveRows_;
};

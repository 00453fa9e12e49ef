#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class CallLog;
class DAOs;
class LegacyRecovery;

// The call-history routines, one per iOS version.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
//
// The routines slide over the raw bytes of the call-history database (the `call` table of
// iOS 4-7) looking for the record header of a row: the row id stored as NULL, then one serial
// type per column — address, date, duration, flags, id, name, country_code, network_code,
// read, assisted, face_time_data, originalAddress — and cut the columns out of the bytes that
// follow. The older routines (iOS 6 and earlier) match a few serial types around the date
// column; the iOS 7 ones read the serial type of every column the file's table has and walk the
// values. A candidate inside a live cell of the file is a live row and is never listed. Reads are
// bounded by the file: a header near its end, or a length running past it, gives no record.
class LegacyCallHistoryCarving {
public:
    explicit LegacyCallHistoryCarving(LegacyRecovery& run) : run_(run) {}

    bool RecoverDeletedCallHistory();
    bool RecoverDeletedNewCallHistory();
    bool RecoverDeletedNewIOS6CallHistory();
    bool RecoverDeletedCallHistory_iOS7_0_4();
    bool RecoverDeletedCallHistory_iOS7_0_2();

    // DeletedCallLog becomes the calls of the list whose CallMode is "Call", DeletedFaceTime
    // those whose CallMode is "FaceTime", each in the list's order; any other call is dropped.
    void splitCallLog(const std::vector<std::shared_ptr<CallLog>>& calls);

private:
    // The columns of the file's call table after its row id (twelve when the schema cannot be
    // read): iOS 4 has seven, iOS 6 twelve, iOS 7 thirteen.
    std::int32_t columnsAfterRowId() const;
    // A query object for the live rows and names, reading through connections of its own.
    std::unique_ptr<DAOs> liveQueries();

    LegacyRecovery& run_;
};

#pragma once

#include "database/DAOs.h"
#include "legacy/LegacyBytes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BrimleyAppDelegate;
class LegacyRecovery;
class SMS;

// The message routines: the iOS 6-and-later routine, the one for iOS 5 and earlier, and the
// iOS 7 iMessage parser that no sequence runs.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
class LegacyMessageCarving {
public:
    explicit LegacyMessageCarving(LegacyRecovery& run);
    ~LegacyMessageCarving();
    LegacyMessageCarving(const LegacyMessageCarving&) = delete;
    LegacyMessageCarving& operator=(const LegacyMessageCarving&) = delete;

    // Looks for the run of five serial types (error, date, date read, date delivered,
    // delivered) of an iOS 6 message record header and cuts the text out by the serial types of
    // the record's GUID and text columns. Replaces DeletedSMS; true when a window matched.
    bool RecoverIOS6DeletedSMS();
    // Looks for the ten-byte header windows of the older message table (they start at the group
    // id's serial type), reads the record header from the address's serial type on, with as
    // many columns as the file's table has, and takes the address, date and text (UTF-8, else
    // ISO-2022-JP) from the values. A window inside a live row, a freed copy of a live row (its
    // address, date and text those of a live message), a text that does not decode and a text
    // that holds a stored message give no record; a record found in several freed copies is
    // listed once. Replaces DeletedSMS and counts what it lists; true when a window matched.
    bool RecoverNewDeletedSMS();
    // Parses whole iOS 7 message record headers (37 columns after the row id) into fuller
    // records and appends them to DeletedSMS; empties DeletediMessage. True when the file held
    // any byte.
    bool RecoverDeletediMessage_iOS7_0_2();

    // One record of the iOS 7 parser, read from dataStart with the record's column lengths and
    // kinds; appended to result unless its GUID is a live one or result holds the same text and
    // time. fileLength, fromData and end are as the parser has them (end is not read).
    void GetValue(std::int64_t dataStart, const std::vector<std::int64_t>& lengths,
                  const std::vector<std::string>& kinds, std::uint64_t fileLength,
                  std::int64_t sumOfLengths, FileBytes fromData, FileBytes bytes, std::int32_t end,
                  std::vector<std::shared_ptr<SMS>>& result);

    // Sorts records into the deleted lists by service: DeletediMessage gets the "iMessage"
    // ones, DeletedSMS the "SMS" ones (both replaced); others are dropped.
    void splitMsg(const std::vector<std::shared_ptr<SMS>>& list);

private:
    // The live-row queries on the backup's messages database, through connections of their own
    // (the results record's handle is not touched); none without a messages database.
    DAOs* daos();
    // Reads the 37 columns from dataStart into sms.
    void readColumns(FileBytes bytes, std::int64_t dataStart, const std::vector<std::int64_t>& lengths,
                     const std::vector<std::string>& kinds, SMS& sms) const;
    // Sets the address of a carved record and appends it unless it is live or a duplicate.
    void keepRecord(std::shared_ptr<SMS> sms, std::vector<std::shared_ptr<SMS>>& result);

    LegacyRecovery& run_;
    std::unique_ptr<DAOs> daos_;
    std::unique_ptr<BrimleyAppDelegate> scratch_;
    RowIdMap liveGuids_;
};

#pragma once

#include "common/ColumnValue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How a column of the call store's ZCALLRECORD table is decoded.
enum CallLogColumnType : std::int32_t {
    kCallLogInteger = 1,
    kCallLogNumber = 2,  // read as an integer, like kCallLogInteger
    kCallLogVarChar = 3,
    kCallLogTimestamp = 4,
};

// One column of a ZCALLRECORD row while the row is parsed.
struct CallLogColumn {
    std::string name;
    std::int32_t type = kCallLogInteger;
    // The byte length of the value in the record's data area.
    std::int32_t length = 0;
    // How many header bytes the column's serial type takes (1 or 2).
    std::int32_t headerBytelength = 1;
    // The serial type the header gives the column.
    std::int32_t serialType = 0;
    // The decoded value: a number or a text; the empty text while it is still to be read.
    ColumnValue value = std::string();

    bool pending() const { return value.text() && value.text()->empty(); }
};

// The fixed column layout of one ZCALLRECORD row, in the table's order; every record gets a
// fresh copy, so no value carries over from one row to the next.
class CallLogRecord {
public:
    CallLogRecord();

    std::vector<CallLogColumn> ZCALLRECORDSchema;

    // The column of that name, or nullptr.
    const CallLogColumn* column(std::string_view name) const;
};

#include "legacy/CallLogRecord.h"

namespace {

struct ColumnOfLayout {
    const char* name;
    CallLogColumnType type;
};

// The columns of ZCALLRECORD in record order: Core Data puts the integer attributes first,
// then the dates and numbers, then the strings, each group in alphabetical order.
constexpr ColumnOfLayout kLayout[] = {
    {"Z_PK", kCallLogInteger},
    {"Z_ENT", kCallLogInteger},
    {"Z_OPT", kCallLogInteger},
    {"ZANSWERED", kCallLogInteger},
    {"ZCALLTYPE", kCallLogInteger},
    {"ZDISCONNECTED_CAUSE", kCallLogInteger},
    {"ZFACE_TIME_DATA", kCallLogInteger},
    {"ZNUMBER_AVAILABILITY", kCallLogInteger},
    {"ZORIGINATED", kCallLogInteger},
    {"ZREAD", kCallLogInteger},
    {"ZDATE", kCallLogTimestamp},
    {"ZDURATION", kCallLogNumber},
    {"ZADDRESS", kCallLogVarChar},
    {"ZDEVICE_ID", kCallLogVarChar},
    {"ZISO_COUNTRY_CODE", kCallLogVarChar},
    {"ZNAME", kCallLogVarChar},
    {"ZUNIQUE_ID", kCallLogVarChar},
};

}  // namespace

CallLogRecord::CallLogRecord() {
    ZCALLRECORDSchema.reserve(std::size(kLayout));
    for (const ColumnOfLayout& column : kLayout) {
        CallLogColumn entry;
        entry.name = column.name;
        entry.type = column.type;
        ZCALLRECORDSchema.push_back(std::move(entry));
    }
}

const CallLogColumn* CallLogRecord::column(std::string_view name) const {
    for (const CallLogColumn& entry : ZCALLRECORDSchema)
        if (entry.name == name) return &entry;
    return nullptr;
}

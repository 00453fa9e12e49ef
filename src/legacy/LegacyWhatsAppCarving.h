#pragma once

#include "legacy/Constants.h"
#include "legacy/LegacyBytes.h"

#include <cstdint>
#include <memory>
#include <vector>

class LegacyRecovery;
class WhatsApp;

// The WhatsApp routine over the chat database file.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
//
// The scan slides over the file looking for the record header of a message row: the serial
// types of its first columns follow a fixed pattern up to the message date. Each candidate's
// 19 columns are cut from the bytes after its header; a candidate whose values would run into
// the next header found is built by GetValueForWhatsApp. Messages keep to the deleted list
// unless their row is live, they lack a text or a sender, or one with the same text and date
// is listed already. The list is kept and added to; the deleted count is not changed.
class LegacyWhatsAppCarving {
public:
    explicit LegacyWhatsAppCarving(LegacyRecovery& run) : run_(run) {}

    // Always false (the caller reads the list).
    bool RecoverDeletedWhatsAppMsg_iOS7_0_2();

    // The column descriptors of one candidate, in column order.
    struct Columns {
        std::vector<std::int64_t> lengths;
        std::vector<Constants::ColumnDescriptor> kinds;
    };
    // Builds the record of a candidate whose values start at dataStart and adds it to deleted
    // when it passes the keep test (see the class comment). Appends at most one record.
    void GetValueForWhatsApp(std::int64_t dataStart, const Columns& columns, FileBytes bytes,
                             std::vector<std::shared_ptr<WhatsApp>>& deleted);

private:
    void keep(const std::shared_ptr<WhatsApp>& message, std::vector<std::shared_ptr<WhatsApp>>& deleted);

    LegacyRecovery& run_;
};

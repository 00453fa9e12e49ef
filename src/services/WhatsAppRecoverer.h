#pragma once

#include "records/BrimleyAppDelegate.h"
#include "services/LiveTableReader.h"
#include "services/ScanRecoverer.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

class WhatsApp;
class WhatsAppMessage;
class WhatsAppObjectGenerator;

// Deleted WhatsApp messages of a chat database (ChatStorage.sqlite): carves rows of ZWAMESSAGE
// into WhatsAppMessage records, converts each to a WhatsApp display record (with the partner's
// name from the chat database) and lists it as a deleted message of the shared state record,
// telling the window of each. One recoverer may carve several files one after the other.
//
// A message is known, and not listed, when a live message (of the shared state record or of the
// carved file itself, whose free space holds stale copies of live rows) or a message listed
// already has the same time text, text, sender and receiver. Distinct messages sent in the same
// second are therefore all listed.
class WhatsAppMessagesSQLiteRecovery : public ScanRecoverer<> {
public:
    explicit WhatsAppMessagesSQLiteRecovery(ScanContext context);
    ~WhatsAppMessagesSQLiteRecovery() override;

    // Takes the patterns, reads the live messages of the file, then carves it; a cancelled run
    // carves nothing.
    void DoRecoveryPath(const std::string& path) override;
    // The message table's patterns; none when the catalogue lacks them.
    void setSignature(const std::string& path);

    // Whether the message is a live one (see the class comment).
    bool alreadyInDB(const WhatsApp& message) const;

    // Keeps in RecoveredFiltered the messages of RecoveredData with a text that no live message
    // of the database at path has with the same sender or receiver, time and stanza id.
    void filterMessages(const std::string& path);
    // For the field "ZStandZAid": where the last "-" of the current record's stanza id stands
    // (in UTF-16 units), less 11; 0 for any other field, without a current record or without
    // a "-".
    std::int32_t verifyData(std::string_view field) const;
    // The same for a given record.
    static std::int32_t verifyData(std::string_view field, const WhatsAppMessage* record);

    // The deleted-message count of the shared state record, set or raised; the new value.
    std::int32_t setRecoveryCount(std::int32_t count);
    std::int32_t incrementRecoveryCount();

    // The position check after a text of the field: after a stanza identifier whose first "-"
    // stands one byte off index 10, decode one byte earlier or later; other texts stay.
    static std::int32_t PositionShift(std::string_view field, ByteView text);

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    std::int32_t verifyDataPosition(ByteView text) override;
    void addRecoveredObject() override;

private:
    // Time text, text, sender, receiver; absent texts as empty ones (an absent sender is the
    // phone, an absent text a media message).
    using MessageKey = std::tuple<std::string, std::string, std::string, std::string>;
    static MessageKey KeyOf(const WhatsApp& message);
    // The same key as one text, for the hashed look-ups of the shared lists.
    static OptString HashKeyOf(const WhatsApp& message);

    std::unique_ptr<WhatsAppObjectGenerator> generator_;
    std::set<MessageKey> liveMessages_;
    // A whole cell that carries a live message's row id is that message.
    LiveRowIds liveRowIds_;
    // The current record holds a text that is no valid UTF-8: its bytes were overwritten.
    bool currentDamaged_ = false;
    // The field FillModel is filling, for the position check.
    std::string field_;
};

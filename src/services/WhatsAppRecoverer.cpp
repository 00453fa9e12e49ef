#include "services/WhatsAppRecoverer.h"

#include "common/DateUtils.h"
#include "common/StringUtils.h"
#include "database/GenerateWhatsAppObject.h"
#include "records/RecordKey.h"
#include "records/WhatsApp.h"
#include "records/WhatsAppMessage.h"
#include "services/LiveTableReader.h"

#include <algorithm>
#include <optional>

WhatsAppMessagesSQLiteRecovery::WhatsAppMessagesSQLiteRecovery(ScanContext context)
    : ScanRecoverer(std::move(context)) {}

WhatsAppMessagesSQLiteRecovery::~WhatsAppMessagesSQLiteRecovery() = default;

WhatsAppMessagesSQLiteRecovery::MessageKey WhatsAppMessagesSQLiteRecovery::KeyOf(
    const WhatsApp& message) {
    return {message.MessageDate().value_or(" "), message.zText().value_or(""),
            message.FromMsgID().value_or(""), message.ToMsgID().value_or("")};
}

OptString WhatsAppMessagesSQLiteRecovery::HashKeyOf(const WhatsApp& message) {
    const auto [date, text, from, to] = KeyOf(message);
    return RecordKey().add(date).add(text).add(from).add(to).take();
}

void WhatsAppMessagesSQLiteRecovery::setSignature(const std::string&) {
    const auto catalogue = context().signatures;
    if (!catalogue || !setPatternsFromSignature("net.whatsapp.WhatsApp", "ChatStorage.sqlite",
                                                "ZWAMESSAGE", catalogue.get()))
        setTablePatterns(std::vector<TablePattern>{});
}

void WhatsAppMessagesSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    setSignature(path);
    if (isCancelled()) return;

    liveMessages_.clear();
    // Where the schema no longer names the table, the rows of its width stand for its rows.
    const LiveTableReader::Layout layout = LiveTableReader::LayoutOf(tablePatterns());
    liveRowIds_.reset(path, "ZWAMESSAGE", layout);
    const LiveTableReader file(path);
    for (const auto& row :
         file.rows("ZWAMESSAGE", {"ZMESSAGEDATE", "ZTEXT", "ZFROMJID", "ZTOJID"}, &layout).rows) {
        const ColumnValue& date = row[0];
        liveMessages_.emplace(
            DateUtils::doubleIOSDateTimeToString(
                date.isNumber() ? std::optional<double>(date.asDouble()) : std::nullopt),
            row[1].toText().value_or(""), row[2].toText().value_or(""),
            row[3].toText().value_or(""));
    }

    generator_ = std::make_unique<WhatsAppObjectGenerator>(context());
    AbstractSqLiteRecovery::DoRecoveryPath(path);
    generator_.reset();
}

bool WhatsAppMessagesSQLiteRecovery::alreadyInDB(const WhatsApp& message) const {
    const MessageKey key = KeyOf(message);
    if (liveMessages_.count(key) != 0) return true;
    return results().AllWhatsAppContent.containsKey(*HashKeyOf(message), &HashKeyOf);
}

std::shared_ptr<baseRecoveryObject> WhatsAppMessagesSQLiteRecovery::GetNewRecoveryObject() {
    currentDamaged_ = false;
    field_.clear();
    return std::make_shared<WhatsAppMessage>();
}

void WhatsAppMessagesSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                               const TablePattern& tablePattern) {
    // The position check looks at the field being filled; an unmapped column is none.
    field_.clear();
    if (object.isNull()) currentDamaged_ = true;
    const std::string* mapped = tablePattern.mappedName(column);
    auto* message = dynamic_cast<WhatsAppMessage*>(currentRecord().get());
    if (!mapped || !message) return;
    markCurrentMapped();
    const std::string& name = *mapped;
    if (name == "ZISFROMME") {
        message->setIsFromMe(object.asInteger() != 0);
    } else if (name == "ZMessageDate") {
        message->setDate(DateUtils::doubleIOSDateTimeToString(
            object.isNumber() ? std::optional<double>(object.asDouble()) : std::nullopt));
        message->setOriginalDate(object.asDouble());
    } else if (name == "ZFromJid") {
        message->setZFromJid(getStringFromValue(object));
    } else if (name == "ZPushName") {
        message->setZPushName(getStringFromValue(object));
    } else if (name == "ZStandZAid") {
        message->setZStandZAid(getStringFromValue(object));
    } else if (name == "ZText") {
        message->setZText(getStringFromValue(object));
    } else if (name == "ZToJid") {
        message->setZToJid(getStringFromValue(object));
    } else {
        return;
    }
    field_ = name;
}

std::int32_t WhatsAppMessagesSQLiteRecovery::verifyDataPosition(ByteView text) {
    return PositionShift(field_, text);
}

std::int32_t WhatsAppMessagesSQLiteRecovery::PositionShift(std::string_view field, ByteView text) {
    if (field != "ZStandZAid") return kKeepPosition;
    const auto dash = std::find(text.begin(), text.end(), '-');
    const std::int32_t at =
        dash == text.end() ? -1 : static_cast<std::int32_t>(dash - text.begin());
    const std::int32_t shift = at - 10;
    return shift >= -1 && shift <= 1 ? shift : kKeepPosition;
}

void WhatsAppMessagesSQLiteRecovery::addRecoveredObject() {
    auto carved = std::dynamic_pointer_cast<WhatsAppMessage>(currentRecord());
    // A record cut short by the end of its area, or overwritten in part (a text that is no valid
    // UTF-8 reaches FillModel as no value), holds wrong values.
    if (!currentWasMapped() || !carved || !generator_ || !currentRecordIsComplete() ||
        currentDamaged_)
        return;
    if (const auto rowId = currentRecordRowId(); rowId && liveRowIds_.holds(*rowId)) return;
    std::shared_ptr<WhatsApp> message = generator_->generateWhatsAppObject(*carved);
    if (alreadyInDB(*message)) return;
    const bool isNew = results().AllDeletedWhatsApp.appendUnlessKey(message, &HashKeyOf);
    if (!isNew) return;
    ++results().DeletedWhatsAppCount;
    results().DeletedWhatsApp.append(message);
    results().updateUIfoundRecoveredData();
}

std::int32_t WhatsAppMessagesSQLiteRecovery::setRecoveryCount(std::int32_t count) {
    results().DeletedWhatsAppCount = count;
    return count;
}

std::int32_t WhatsAppMessagesSQLiteRecovery::incrementRecoveryCount() {
    return ++results().DeletedWhatsAppCount;
}

void WhatsAppMessagesSQLiteRecovery::filterMessages(const std::string& path) {
    KeepRecordsNotLive(*this, path, [](const baseRecoveryObject& record) -> std::optional<LiveStatement> {
        const auto* message = RecordOf<WhatsAppMessage>(record);
        if (!message || StringUtils::IsNullOrEmpty(message->ZText())) return std::nullopt;
        const auto text = [](const OptString& value) {
            return value ? ColumnValue(*value) : ColumnValue();
        };
        return LiveStatement{
            "SELECT Z_PK FROM ZWAMESSAGE WHERE (ZFROMJID IS ? OR ZTOJID IS ?) AND ZTEXT = ? AND "
            "ZMESSAGEDATE = ? AND ZSTANZAID IS ?",
            {text(message->ZFromJid()), text(message->ZToJid()), text(message->ZText()),
             ColumnValue(message->OriginalDate()), text(message->ZStandZAid())}};
    });
}

std::int32_t WhatsAppMessagesSQLiteRecovery::verifyData(std::string_view field) const {
    return verifyData(field, dynamic_cast<const WhatsAppMessage*>(currentRecord().get()));
}

std::int32_t WhatsAppMessagesSQLiteRecovery::verifyData(std::string_view field,
                                                        const WhatsAppMessage* message) {
    if (field != "ZStandZAid" || !message) return 0;
    const std::int64_t at = StringUtils::indexOf(message->ZStandZAid(), std::string("-"));
    if (at == StringUtils::kNotFound) return 0;
    return static_cast<std::int32_t>(at - 11);
}

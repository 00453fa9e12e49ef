// WhatsApp queries (the chat database ChatStorage.sqlite) and Skype queries (a Skype main.db
// that the Skype screen opens on the state record's handle).

#include "common/DateUtils.h"
#include "database/DAOs.h"
#include "database/QueryDates.h"
#include "records/Skype.h"
#include "records/WhatsApp.h"

namespace {

// A group address "<number>-<number>@g.us" as the user address of its first number.
OptString UserAddressOfGroup(OptString address) {
    if (!address) return address;
    const auto dash = address->find('-');
    if (dash == std::string::npos) return address;
    return address->substr(0, dash) + WhatsAppUserSuffix;
}

// "+" and the number in front of the first "@"; absent for an address without "@".
OptString PhoneOfAddress(const OptString& address) {
    if (!address) return std::nullopt;
    const auto at = address->find('@');
    if (at == std::string::npos) return std::nullopt;
    return "+" + address->substr(0, at);
}

std::string WithoutUserSuffix(std::string address) {
    const std::string suffix = WhatsAppUserSuffix;
    for (auto at = address.find(suffix); at != std::string::npos; at = address.find(suffix, at))
        address.erase(at, suffix.size());
    return address;
}

}  // namespace

OptString DAOs::WhatsAppPartnerPhone(const OptString& from, const OptString& to) {
    return PhoneOfAddress(UserAddressOfGroup(from && !from->empty() ? from : to));
}

RecordList<WhatsApp> DAOs::GetWhatsAppLog() {
    RecordList<WhatsApp> result;
    if (auto connection = boundConnection()) {
        // The partner's name as the message's chat session keeps it, where the store has
        // sessions.
        const bool sessions = connection->isOpen() &&
                              connection->hasColumn("ZWAMESSAGE", "ZCHATSESSION") &&
                              connection->hasColumn("ZWACHATSESSION", "ZPARTNERNAME");
        auto rows = connection->executeQuery(
            sessions ? "SELECT m.*, s.ZPARTNERNAME AS SESSION_PARTNER_NAME FROM ZWAMESSAGE m "
                       "LEFT JOIN ZWACHATSESSION s ON s.Z_PK = m.ZCHATSESSION "
                       "ORDER BY m.ZMESSAGEDATE ASC"
                     : "SELECT * FROM ZWAMESSAGE ORDER BY ZMESSAGEDATE ASC");
        while (rows.next()) {
            auto message = std::make_shared<WhatsApp>();
            OptString from = rows.stringForColumn("ZFROMJID");
            if (!from) {
                // Sent from the phone: the receiver stands in the sender's place.
                message->setIsSent(true);
                from = rows.stringForColumn("ZTOJID");
            }
            from = UserAddressOfGroup(std::move(from));
            message->setMessageDate(DisplayTextOfDate(AppleDateOfColumn(rows, "ZMESSAGEDATE")));
            message->setZText(rows.stringForColumn("ZTEXT").value_or(""));
            // Some stores keep the partner's name with the message; where the row has none,
            // its chat session's name is the partner's.
            OptString name = rows.stringForColumn("ZPARTNERNAME");
            if ((!name || name->empty()) && sessions) {
                if (OptString partner = rows.stringForColumn("SESSION_PARTNER_NAME"))
                    name = std::move(partner);
            }
            message->setContactName(std::move(name));
            message->setPhoneNo(PhoneOfAddress(from));
            message->setFromMsgID(std::move(from));
            result.push_back(std::move(message));
        }
    }
    state().WhatsAppCount = static_cast<std::int32_t>(result.size());
    return result;
}

RecordList<WhatsApp> DAOs::GetWhatsAppContacts() {
    RecordList<WhatsApp> result;
    if (auto connection = boundConnection()) {
        auto rows = connection->executeQuery(
            "SELECT ZFROMJID, ZPUSHNAME FROM ZWAMESSAGE WHERE ZFROMJID <>'' GROUP BY ZFROMJID");
        while (rows.next()) {
            auto contact = std::make_shared<WhatsApp>();
            OptString name = rows.stringForColumn("ZPUSHNAME");
            if (!name || name->empty())
                name = WithoutUserSuffix(rows.stringForColumn("ZFROMJID").value_or(""));
            contact->setFromMsgID(std::move(name));
            result.push_back(std::move(contact));
        }
    }
    state().WhatsAppCount = static_cast<std::int32_t>(result.size());
    return result;
}

OptString DAOs::GetWhatsAppContactName(const OptString& jid) {
    auto connection = whatsApp_.get(databasePath(DatabaseRole::WhatsApp));
    auto rows = connection->executeQuery(
        "SELECT ZPARTNERNAME as CONTACTNAME FROM ZWACHATSESSION WHERE ZCONTACTJID = ?",
        {jid ? ColumnValue(*jid) : ColumnValue::Null()});
    if (rows.next()) return rows.stringForColumn("CONTACTNAME");
    return std::string();
}

RecordList<WhatsApp> DAOs::GetWhatsApp(const OptString& idOrPushName) {
    RecordList<WhatsApp> result;
    if (auto connection = boundConnection()) {
        const ColumnValue key = idOrPushName ? ColumnValue(*idOrPushName) : ColumnValue::Null();
        auto rows = connection->executeQuery(
            "SELECT ZMESSAGEDATE,ZFROMJID,ZTOJID,ZTEXT FROM ZWAMESSAGE WHERE ZTEXT <>'' AND "
            "(ZFROMJID = ? OR ZPUSHNAME = ?)",
            {key, key});
        while (rows.next()) {
            auto message = std::make_shared<WhatsApp>();
            message->setFromMsgID(rows.stringForColumn("ZFROMJID"));
            message->setToMsgID(rows.stringForColumn("ZTOJID"));
            message->setZText(rows.stringForColumn("ZTEXT"));
            message->setMessageDate(DisplayTextOfDate(AppleDateOfColumn(rows, "ZMESSAGEDATE")));
            message->setIsSent(!message->FromMsgID());
            message->setIsChecked(0);
            state().AllWhatsAppContent.append(message);
            result.push_back(std::move(message));
        }
    }
    state().WhatsAppCount = static_cast<std::int32_t>(result.size());
    return result;
}

RowIdMap DAOs::GetAllWhatsAppRowID() {
    RowIdMap map;
    auto rows =
        openPrivate(DatabaseRole::WhatsApp)->executeQuery("SELECT Z_PK as ROWID  FROM ZWAMESSAGE");
    while (rows.next())
        if (auto rowId = rows.stringForColumn("ROWID")) map[*rowId] = *rowId;
    return map;
}

namespace {

// The connection of the state record's handle as it is now: the Skype screen opens the chosen
// Skype database there.
std::shared_ptr<SqliteConnection> SharedConnection(const BrimleyAppDelegate& state) {
    auto handle = state.dbUtils.get();
    return handle ? handle->sharedDB() : nullptr;
}

}  // namespace

RecordList<Skype> DAOs::getSkypeContacts() {
    RecordList<Skype> result;
    auto connection = SharedConnection(state());
    if (!connection) return result;
    auto rows = connection->executeQuery(
        "SELECT id,fullname,skypename FROM Contacts WHERE fullname<>'' AND  isblocked is null "
        "ORDER BY fullname");
    while (rows.next()) {
        auto contact = std::make_shared<Skype>();
        contact->setDisplayName(rows.stringForColumn("fullname"));
        contact->setSkypeID(rows.intForColumn("id"));
        contact->setSkypeName(rows.stringForColumn("skypename"));
        result.push_back(std::move(contact));
    }
    return result;
}

RecordList<Skype> DAOs::getDialogsPartner(const OptString& dialogPartner) {
    RecordList<Skype> result;
    auto connection = SharedConnection(state());
    if (!connection) return result;
    // The message's moment is read as its Unix seconds and shown in local time, like every
    // other date text.
    auto rows = connection->executeQuery(
        "SELECT Contacts.id AS id, Contacts.fullname AS fullname, messages.author as skypename, "
        "messages.timestamp as timestamp, messages.body_xml AS body_xml "
        "FROM messages INNER JOIN Contacts ON Contacts.skypename = messages.author WHERE messages.body_xml is not "
        "null AND messages.dialog_partner = ? ORDER BY messages.timestamp",
        {dialogPartner ? ColumnValue(*dialogPartner) : ColumnValue::Null()});
    while (rows.next()) {
        auto message = std::make_shared<Skype>();
        message->setDisplayName(rows.stringForColumn("fullname"));
        message->setBody(rows.stringForColumn("body_xml"));
        message->setSkypeName(rows.stringForColumn("skypename"));
        if (!rows.valueForColumn("timestamp").isNull())
            message->setTime(
                DateUtils::ConvertFromUnixTimestampToString(rows.doubleForColumn("timestamp")));
        result.push_back(std::move(message));
    }
    return result;
}

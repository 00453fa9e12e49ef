#include "services/MessageServices.h"

#include "common/DateUtils.h"
#include "common/PhoneAndEmailUtils.h"
#include "common/StringUtils.h"
#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"
#include "records/ContactData.h"
#include "records/ConversationContact.h"
#include "records/DeviceInfo.h"
#include "records/Message.h"
#include "records/MessageTableRecords.h"
#include "records/SMS.h"
#include "services/MessageJoinRecoverers.h"
#include "services/MessageRecoverers.h"
#include "services/OlderMessageServices.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <span>
#include <string_view>
#include <tuple>
#include <unordered_map>

namespace {

// The kind of address a handle or a carved message names: the partner lists keep them apart.
void AddAddress(ConversationContact& contact, const OptString& address) {
    if (!address) return;
    if (iPhoneNumberUtils::IsPhoneNumber(address)) {
        auto number = std::make_shared<ContactPhoneNumber>();
        number->setPhoneNumber(address);
        contact.PhoneNumbers().push_back(std::move(number));
    } else if (EmailUtils::IsEmailAddress(address)) {
        contact.Emails().push_back(*address);
    } else {
        contact.Names().push_back(*address);
    }
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The names of the people of the address book that the shared state record holds (the live
// contacts, and the deleted ones that the contacts service carved), found by a phone number or
// an e-mail address of theirs.
// The partners that a run gives its carved messages. Messages of one address, handle and name
// get the same partner, made once: a large database carves hundreds of thousands of messages
// but has few partners, and a partner made per message would cost more than the message.
class CarvedPartners {
public:
    // The partner with that address as its one phone number and handle id, the handle as its
    // row id and the name, when there is one, as its name.
    std::shared_ptr<ConversationContact> partnerFor(const std::string& address,
                                                    std::int32_t handleId, const OptString& name) {
        auto& partner = partners_[Key{address, handleId, name}];
        if (partner) return partner;
        partner = std::make_shared<ConversationContact>();
        auto number = std::make_shared<ContactPhoneNumber>();
        number->setPhoneNumber(address);
        partner->PhoneNumbers().push_back(std::move(number));
        partner->setPhoneNumberHandleId(address);
        partner->RowIds().push_back(handleId);
        if (name) partner->Names().push_back(*name);
        return partner;
    }

private:
    using Key = std::tuple<std::string, std::int32_t, OptString>;
    std::map<Key, std::shared_ptr<ConversationContact>> partners_;
};

class PartnerNames {
public:
    explicit PartnerNames(const BrimleyAppDelegate& record) {
        for (const auto* list :
             {&record.AllContactsContent, &record.ContactContent, &record.AllDeletedContacts})
            for (auto& contact : list->snapshot()) contacts_.push_back(std::move(contact));
    }

    // The name of the first contact with that address; none when nobody has it.
    OptString nameFor(const OptString& address) {
        if (StringUtils::IsNullOrEmpty(address) || contacts_.empty()) return std::nullopt;
        const auto cached = cache_.find(*address);
        if (cached != cache_.end()) return cached->second;
        OptString name;
        const bool phone = iPhoneNumberUtils::IsPhoneNumber(address);
        for (const auto& contact : contacts_) {
            if (phone ? hasNumber(*contact, address) : hasEmail(*contact, *address)) {
                name = NameOf(*contact);
                if (name) break;
            }
        }
        cache_.emplace(*address, name);
        return name;
    }

    // The name a contact is shown by: its first, middle and last names, else its display name,
    // organisation or full name.
    static OptString NameOf(const Contact& contact) {
        std::string joined;
        for (const OptString& part :
             {contact.FirstName(), contact.MiddleName(), contact.LastName()}) {
            if (StringUtils::IsNullOrEmpty(part)) continue;
            if (!joined.empty()) joined += ' ';
            joined += *part;
        }
        if (!joined.empty()) return joined;
        for (const OptString* other :
             {&contact.DisplayName(), &contact.Organization(), &contact.FullName()})
            if (!StringUtils::IsNullOrEmpty(*other)) return *other;
        return std::nullopt;
    }

private:
    // Phone numbers are compared loosely (with or without country code), which makes a short
    // piece of a number equal to any number ending in it: only numbers of seven digits or more
    // take part.
    static bool sameNumber(const OptString& candidate, const OptString& number) {
        if (!candidate) return false;
        const auto digits = std::count_if(candidate->begin(), candidate->end(),
                                          [](unsigned char c) { return std::isdigit(c); });
        return digits >= 7 && iPhoneNumberUtils::AreEqual(candidate, number);
    }

    static bool hasNumber(const Contact& contact, const OptString& number) {
        for (const OptString& slot :
             {contact.ContactNo1(), contact.ContactNo2(), contact.ContactNo3(),
              contact.ContactNo4(), contact.ContactNo5(), contact.ContactNo6()})
            if (sameNumber(slot, number)) return true;
        for (const auto& entry : contact.ContactNumbers())
            if (entry && sameNumber(entry->Number(), number)) return true;
        // A carved full-text row lists its numbers split at every blank, so a number written
        // with blanks spans several parts.
        if (contact.C15Phone()) {
            std::vector<std::string> parts;
            std::string part;
            for (char c : *contact.C15Phone() + ' ') {
                if (c != ' ') {
                    part += c;
                } else if (!part.empty()) {
                    parts.push_back(std::move(part));
                    part.clear();
                }
            }
            for (std::size_t first = 0; first < parts.size(); ++first) {
                std::string joined;
                for (std::size_t last = first; last < parts.size() && last < first + 4; ++last)
                    if (sameNumber(joined += parts[last], number)) return true;
            }
        }
        return false;
    }

    static bool hasEmail(const Contact& contact, const std::string& email) {
        const std::string wanted = Lower(email);
        auto same = [&](const OptString& text) { return text && Lower(*text) == wanted; };
        for (const OptString& slot :
             {contact.EmailAddress1(), contact.EmailAddress2(), contact.EmailAddress3()})
            if (same(slot)) return true;
        for (const auto& entry : contact.ContactEmailAddresses())
            if (entry && same(entry->Email())) return true;
        return false;
    }

    std::vector<std::shared_ptr<Contact>> contacts_;
    std::unordered_map<std::string, OptString> cache_;
};

// Records of one kind by a key, each key's records in carving order.
template <class Key, class Record>
using Index = std::map<Key, std::vector<std::shared_ptr<Record>>>;

template <class Record, class KeyOf>
auto IndexBy(const std::vector<std::shared_ptr<baseRecoveryObject>>& records, KeyOf keyOf) {
    Index<decltype(keyOf(std::declval<const Record&>())), Record> index;
    for (const auto& record : records)
        if (auto typed = std::dynamic_pointer_cast<Record>(record))
            index[keyOf(*typed)].push_back(typed);
    return index;
}

template <class Key, class Record>
const std::vector<std::shared_ptr<Record>>& Find(const Index<Key, Record>& index, const Key& key) {
    static const std::vector<std::shared_ptr<Record>> none;
    const auto it = index.find(key);
    return it == index.end() ? none : it->second;
}

// The links of one kind that the attribution follows, as number pairs: for a key, the values of
// its links in carving order. The link recoverers find a link for every live message too, so a
// large database gives millions of them: sixteen bytes each here, not a record and a tree node.
class Links {
public:
    // Of the records of that kind with a key; absent keys are left out.
    template <class Record, class KeyOf, class ValueOf>
    static Links Of(const std::vector<std::shared_ptr<baseRecoveryObject>>& records, KeyOf keyOf,
                    ValueOf valueOf) {
        Links links;
        for (const auto& record : records)
            if (const auto* typed = dynamic_cast<const Record*>(record.get()))
                if (const std::optional<std::uint64_t> key = keyOf(*typed))
                    links.pairs_.emplace_back(*key, valueOf(*typed));
        std::stable_sort(links.pairs_.begin(), links.pairs_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        links.pairs_.shrink_to_fit();
        return links;
    }
    // The values linked to the key, in carving order.
    std::span<const std::pair<std::uint64_t, std::int64_t>> find(std::uint64_t key) const {
        const auto range = std::equal_range(
            pairs_.begin(), pairs_.end(), std::pair<std::uint64_t, std::int64_t>(key, 0),
            [](const auto& a, const auto& b) { return a.first < b.first; });
        return {range.first, range.second};
    }

private:
    std::vector<std::pair<std::uint64_t, std::int64_t>> pairs_;
};

// A GUID's key in Links: a 64-bit hash of its text. A carved GUID that hashes as another one
// (about one in 2^64 per pair) would follow that one's links.
std::uint64_t GuidKey(std::string_view guid) {
    return std::hash<std::string_view>{}(guid);
}

// A handle id written as decimal text, read as a signed 32-bit number; none for other texts.
std::optional<std::int32_t> HandleIdOf(const OptString& text) {
    if (!text || text->empty() || text->size() > 11) return std::nullopt;
    try {
        std::size_t used = 0;
        const long long value = std::stoll(*text, &used);
        if (used != text->size() || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
        return static_cast<std::int32_t>(value);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

// ---- MessageServices ----

MessageServices::MessageServices() {
    _SqliteDbName = kSqliteDbName;
}

MessageServices::~MessageServices() {
    releaseRecoveredMessages();
}

void MessageServices::releaseRecoveredMessages() {
    // A partner lists its messages and each message names its partner; the partner lets go
    // of its list, so that neither keeps the other alive.
    for (const auto& message : recoveredMessages_)
        if (const auto& partner = message->ConversationContact()) partner->Messages().clear();
    recoveredMessages_.clear();
}

void MessageServices::releaseResults() {
    abstractServices::releaseResults();
    releaseRecoveredMessages();
    recoveredMessages_.shrink_to_fit();
}

std::unique_ptr<MessageServices> MessageServices::initwithDevice(const DeviceInfo&) {
    // Which layout a backup's messages database has is known only once its file is there: the
    // service chooses at each run.
    return std::make_unique<messageServicesForBackup>();
}

void MessageServices::RecoverFromDevice(const ScanContext& context) {
    RecoverFromIOSBackup(context);
}

bool MessageServices::databaseOpen() {
    if (!dbUtils) return false;
    if (dbUtils->sharedDB() && dbUtils->sharedDB()->isOpen()) return true;
    return dbUtils->openDatabase();
}

bool MessageServices::ensureOpen(const ScanContext& context) {
    if (dbUtils && dbUtils->sharedDB() && dbUtils->sharedDB()->isOpen()) return true;
    return openOwnDatabase(ConnectionStringfromDevice(context));
}

std::vector<std::shared_ptr<MessageChat>> MessageServices::MessageChatsInDB() {
    std::vector<std::shared_ptr<MessageChat>> chats;
    if (!databaseOpen()) return chats;
    auto row = dbUtils->sharedDB()->executeQuery(
        "SELECT ROWID, chat_identifier, account_id from chat order by chat_identifier");
    while (row.next()) {
        auto chat = std::make_shared<MessageChat>();
        chat->setRowId(row.longLongIntForColumn("ROWID"));
        chat->setChatIdentifier(row.stringForColumn("chat_identifier"));
        chat->setAccountId(row.stringForColumn("account_id"));
        chats.push_back(std::move(chat));
    }
    return chats;
}

std::vector<std::shared_ptr<MessageHandle>> MessageServices::GetMesssageHandlesFromMessageChatInDB(
    const MessageChat& chat) {
    std::vector<std::shared_ptr<MessageHandle>> handles;
    if (!databaseOpen()) return handles;
    auto row = dbUtils->sharedDB()->executeQuery(
        "SELECT h.ROWID, h.id, h.country, h.service from chat_handle_join chathandlejoin inner "
        "join handle h "
        "on h.ROWID = chathandlejoin.handle_id where chathandlejoin.chat_id = ?",
        {ColumnValue(chat.RowId())});
    while (row.next()) {
        auto handle = std::make_shared<MessageHandle>();
        handle->setRowId(row.longLongIntForColumn("ROWID"));
        handle->setId(row.stringForColumn("id"));
        handle->setCountry(row.stringForColumn("country"));
        handle->setService(row.stringForColumn("service"));
        handles.push_back(std::move(handle));
    }
    return handles;
}

std::vector<std::int64_t> MessageServices::groupIdsInDB() {
    std::vector<std::int64_t> ids;
    if (!databaseOpen()) return ids;
    auto row = dbUtils->sharedDB()->executeQuery(
        "SELECT distinct(group_id) AS group_id from group_member order by group_id");
    while (row.next()) ids.push_back(row.longLongIntForColumn("group_id"));
    return ids;
}

std::vector<std::shared_ptr<ConversationContact>> MessageServices::GroupContactsInDB() {
    std::vector<std::shared_ptr<ConversationContact>> contacts;
    for (const std::int64_t id : groupIdsInDB()) {
        auto contact = std::make_shared<ConversationContact>();
        contact->setGroupId(id);
        auto row = dbUtils->sharedDB()->executeQuery(
            "SELECT address, country FROM group_member WHERE group_id = ?", {ColumnValue(id)});
        while (row.next()) {
            const OptString address = row.stringForColumn("address");
            if (EmailUtils::IsEmailAddress(address)) contact->Emails().push_back(*address);
        }
        contacts.push_back(std::move(contact));
    }
    return contacts;
}

std::unique_ptr<AbstractSqLiteRecovery> MessageServices::GetRecoveryObject(const ScanContext&) {
    return nullptr;
}

void MessageServices::RecoverDeletedMessages(const ScanContext& context) {
    releaseRecoveredMessages();
    auto carver = GetRecoveryObject(context);
    if (!carver || context.cancelled()) return;
    carver->setStopToken(context.stop);
    carver->DoRecoveryPath(ConnectionFileFullPath(context));
    for (const auto& record : carver->RecoveredFiltered()) {
        auto message = std::dynamic_pointer_cast<Message>(record);
        if (!message) continue;
        auto contact = std::make_shared<ConversationContact>();
        AddAddress(*contact, message->Address());
        message->setConversationContact(contact);
        message->setIsVisible(true);
        message->setIsActivated(true);
        contact->Messages().insert(contact->Messages().begin(), message);
        contact->setContainsDeletedMessage(true);
        ++recovered;
        recoveredMessages_.push_back(std::move(message));
    }
}

void MessageServices::LoadConversationMessages(const std::shared_ptr<ConversationContact>& contact,
                                               const ScanContext& context) {
    if (!contact || !ensureOpen(context)) return;
    // The date is formatted here rather than by SQLite, so that it follows the application's
    // time zone; these rows count Unix seconds.
    auto row = dbUtils->sharedDB()->executeQuery(
        "SELECT message.ROWID AS MSG_ROW_ID, message.address AS MSG_ADDRESS, message.text, "
        "message.flags, "
        "message.group_id, message.country AS MSG_COUNTRY, message.[date] AS MSG_DATE FROM message "
        "where message.group_id=? order by message.[date] desc, message.ROWID",
        {ColumnValue(contact->GroupId())});
    while (row.next()) {
        auto message = std::make_shared<Message>();
        message->setRowId(row.longLongIntForColumn("MSG_ROW_ID"));
        message->setAddress(row.stringForColumn("MSG_ADDRESS"));
        message->setText(row.stringForColumn("text"));
        message->setFlags(row.intForColumn("flags"));
        message->setCountry(row.stringForColumn("MSG_COUNTRY"));
        if (!row.valueForColumn("MSG_DATE").isNull())
            message->setDate(DateUtils::LongToString(row.doubleForColumn("MSG_DATE")));
        message->setRecovered(false);
        // The contact lists the message; a link back would keep both alive for good.
        contact->Messages().push_back(std::move(message));
        ++retrieved;
    }
}

// ---- iOS 6 and later ----

messageServicesIOS7_8::messageServicesIOS7_8() = default;

messageServicesIOS7_8::~messageServicesIOS7_8() = default;

void messageServicesIOS7_8::RecoverFromIOSBackup(const ScanContext& context) {
    retrieved = 0;
    recovered = 0;
    // Without the file every query and every recoverer would find nothing, one by one (the
    // scan names the missing file once).
    if (!ConnectionString(context)) return;
    openOwnDatabase(ConnectionStringfromDevice(context));

    // The partners of the live chats: one per chat, listed once per handle of the chat.
    for (const auto& chat : MessageChatsInDB()) {
        if (context.cancelled()) break;
        chat->setHandles(GetMesssageHandlesFromMessageChatInDB(*chat));
        auto contact = std::make_shared<ConversationContact>();
        contact->setChatId(chat->RowId());
        for (const auto& handle : chat->Handles()) {
            AddAddress(*contact, handle->Id());
            ConversationContacts_.push_back(contact);
        }
    }

    if (!context.cancelled()) {
        MessageHandleSQLiteRecovery handles(context);
        handles.DoRecoveryPath(ConnectionFileFullPath(context));
    }
    if (!context.cancelled()) RecoverDeletedMessages(context);
    // The service keeps no file of the backup open between runs.
    dbUtils.reset();
}

void messageServicesIOS7_8::RecoverDeletedMessages(const ScanContext& context) {
    releaseRecoveredMessages();
    const std::string path = ConnectionFileFullPath(context);
    BrimleyAppDelegate& record = context.sink();
    auto carve = [&](AbstractSqLiteRecovery& recoverer)
        -> const std::vector<std::shared_ptr<baseRecoveryObject>>& {
        if (!context.cancelled()) recoverer.DoRecoveryPath(path);
        return recoverer.RecoveredFiltered();
    };
    // Each carver lives for its own step only: what it keeps to tell records apart (the
    // sightings, the live guids) goes before the attribution, and only the records stay.
    // The GUIDs' and the messages' links, kept as number pairs (Links).
    const auto guids = [&] {
        MessageGuidAndRowIdConnectionSQLiteRecovery carver(context);
        return Links::Of<MessageGuidRowId>(
            carve(carver),
            [](const MessageGuidRowId& g) -> std::optional<std::uint64_t> {
                const OptString guid = g.Guid();
                if (!guid) return std::nullopt;
                return GuidKey(*guid);
            },
            [](const MessageGuidRowId& g) { return g.RowId(); });
    }();
    const auto chats = [&] {
        MessageChatGuidAndChatIdHandleConnectionSQLiteRecovery carver(context);
        return IndexBy<MessageChatGuidAndChatIdHandleConnection>(
            carve(carver),
            [](const MessageChatGuidAndChatIdHandleConnection& c) { return c.RowId(); });
    }();
    const auto chatHandles = [&] {
        MessageChatHandleJoinSQLiteRecovery carver(context);
        return IndexBy<ChatHandleJoin>(
            carve(carver), [](const ChatHandleJoin& h) { return HandleIdOf(h.HandleId()); });
    }();
    const auto chatMessages = [&] {
        MessageChatMessageJoinSQLiteRecovery carver(context);
        return Links::Of<ChatMessageJoin>(
            carve(carver),
            [](const ChatMessageJoin& j) {
                return std::optional(static_cast<std::uint64_t>(j.MessageId()));
            },
            [](const ChatMessageJoin& j) { return j.ChatId(); });
    }();

    record.unKnownCount = 0;
    const auto carved = [&] {
        MessagesSQLiteRecovery carver(context);
        carve(carver);
        return std::move(carver.RecoveredFiltered());
    }();

    PartnerNames names(record);
    const auto live = SqliteConnection::OpenReadOnly(path);
    auto liveHandleAddress = [&](std::int64_t handleId) -> OptString {
        if (handleId == 0 || !live->isOpen()) return std::nullopt;
        auto row =
            live->executeQuery("SELECT id FROM handle WHERE ROWID = ?", {ColumnValue(handleId)});
        return row.next() ? row.stringForColumn("id") : std::nullopt;
    };

    CarvedPartners partners;
    std::int32_t unknown = 1;
    for (const auto& carvedRecord : carved) {
        auto message = std::dynamic_pointer_cast<Message>(carvedRecord);
        if (!message) continue;
        recoveredMessages_.push_back(message);
        if (auto known = FindConversationContactFromHandleId(std::to_string(message->HandleId()))) {
            known->setContainsDeletedMessage(true);
            message->setConversationContact(known);
            continue;
        }

        // Through the chat the handle takes part in; the last link wins.
        OptString address = " ";
        bool found = false;
        const auto handleId = static_cast<std::int32_t>(message->HandleId());
        for (const auto& link : Find(chatHandles, std::optional<std::int32_t>(handleId))) {
            if (static_cast<std::int64_t>(handleId) != message->HandleId()) break;
            for (const auto& chat : Find(chats, link->ChatId())) {
                address = chat->Id();
                found = true;
            }
        }
        // Else through the chat the message belongs to; the first link wins.
        if (!found && message->Guid()) {
            for (const auto& [key, rowId] : guids.find(GuidKey(*message->Guid()))) {
                if (found) break;
                if (rowId < 1) continue;
                for (const auto& [messageId, chatId] :
                     chatMessages.find(static_cast<std::uint64_t>(rowId))) {
                    const auto& chatsOfLink = Find(chats, chatId);
                    if (chatsOfLink.empty()) continue;
                    address = chatsOfLink.front()->Id();
                    found = true;
                    break;
                }
            }
        }
        if (!address || address->empty()) address = "Unknown " + std::to_string(unknown++);

        // The partner's name, from the address the links gave or the handle's own address.
        OptString name;
        if (found && !StringUtils::IsNullOrEmpty(address) && *address != " ")
            name = names.nameFor(address);
        if (!name) name = names.nameFor(liveHandleAddress(message->HandleId()));
        if (name) message->setContactFullName(name);
        message->setConversationContact(partners.partnerFor(*address, handleId, name));
    }
}

std::shared_ptr<ConversationContact> messageServicesIOS7_8::FindConversationContactFromHandleId(
    const std::string& handleId) const {
    for (const auto& contact : ConversationContacts_)
        for (const std::int64_t rowId : contact->RowIds())
            if (std::to_string(rowId) == handleId) return contact;
    return nullptr;
}

std::shared_ptr<Contact> messageServicesIOS7_8::findContactFromHandleId(
    const BrimleyAppDelegate& record, std::int32_t handleId) {
    auto bySerialNumber = [&](const Contact& contact) { return contact.SlNo() == handleId; };
    if (auto live = record.ContactContent.findFirst(bySerialNumber)) return live;
    return record.DeletedContact.findFirst(bySerialNumber);
}

void messageServicesIOS7_8::updatePhoneNumbersInMessages(BrimleyAppDelegate& record) {
    for (const auto& sms : record.DeletedSMS.snapshot())
        if (const auto contact = findContactFromHandleId(record, sms->RowID()))
            sms->setAddress(contact->ContactNo2());
}

void messageServicesIOS7_8::updateSMSAddresses(const ScanContext& context) {
    DAOs daos(context);
    for (const auto& sms : context.sink().DeletedSMS.snapshot()) {
        if (context.cancelled()) return;
        if (!sms->Message()) continue;
        OptString number = daos.GetPhoneNumberForHID(sms->handleID(), std::nullopt);
        daos.GetPhoneNumberForID(sms->handleID(), number);
        sms->setAddress(StringUtils::IsNullOrEmpty(number) ? std::string("Unknown") : *number);
    }
}

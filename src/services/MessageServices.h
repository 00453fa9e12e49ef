#pragma once

#include "services/abstractServices.h"

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

class AbstractSqLiteRecovery;
class Contact;
class ConversationContact;
class Message;
class MessageChat;
class MessageHandle;

// The base of the message services: the messages database of the backup (HomeDomain
// "Library/SMS/sms.db") and the queries that every message service shares. The operations for
// the group layout before iOS 6 serve the services of OlderMessageServices.h.
//
// A service runs on its own thread with its own read-only connections; what it recovers goes
// to the shared state record through the recoverers. RecoveredMessages() keeps the last run's
// carved messages with the partners the service attributed them to.
class MessageServices : public abstractServices {
public:
    static constexpr const char* kSqliteDbName = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";

    MessageServices();
    ~MessageServices() override;

    // The message service for a device: messageServicesForBackup (OlderMessageServices.h), the
    // service of iOS 6 and later that reads a backup whose messages database has the group
    // layout of the earlier releases with their services.
    static std::unique_ptr<MessageServices> initwithDevice(const DeviceInfo& device);

    // Recovers from the device's backup.
    void RecoverFromDevice(const ScanContext& context) override;

    // ---- iOS 6 and later ----
    // The live chats, by chat identifier; none when the database does not open.
    std::vector<std::shared_ptr<MessageChat>> MessageChatsInDB();
    // The live handles taking part in a chat.
    std::vector<std::shared_ptr<MessageHandle>> GetMesssageHandlesFromMessageChatInDB(
        const MessageChat& chat);

    // ---- The group layout before iOS 6 ----
    // The group ids of the group members, in order.
    std::vector<std::int64_t> groupIdsInDB();
    // One conversation partner per group, with the members' e-mail addresses.
    std::vector<std::shared_ptr<ConversationContact>> GroupContactsInDB();
    // The recoverer of the service's messages; none in this class.
    virtual std::unique_ptr<AbstractSqLiteRecovery> GetRecoveryObject(const ScanContext& context);
    // Carves the deleted messages with GetRecoveryObject and gives each a partner of its own,
    // made from its address.
    virtual void RecoverDeletedMessages(const ScanContext& context);
    // Reads the messages of the contact's group into its Messages (newest first); each counts
    // in retrieved. The messages do not link back to the contact.
    virtual void LoadConversationMessages(const std::shared_ptr<ConversationContact>& contact,
                                          const ScanContext& context);

    void releaseResults() override;

    // The messages the last run carved, in carving order, each with its partner.
    const std::vector<std::shared_ptr<Message>>& RecoveredMessages() const {
        return recoveredMessages_;
    }

protected:
    // Opens dbUtils on the service's database when it is not open yet; whether it is open.
    bool ensureOpen(const ScanContext& context);
    // Whether dbUtils is set and open, opening it when it is not yet; the queries ask it first.
    bool databaseOpen();
    // Drops the last run's messages and the links between them and their partners.
    void releaseRecoveredMessages();

    std::vector<std::shared_ptr<Message>> recoveredMessages_;
};

// The message service of iOS 6 and later (the application makes its subclass
// messageServicesForBackup, which also reads the older layouts). A run reads the
// live chats into conversation partners, carves deleted handles, carves the messages and the
// link rows (chat-handle and chat-message joins, message and chat GUIDs), and attributes each
// carved message to a partner through those links. Partners found in the address book's lists
// of the shared state record (live contacts and those the contacts service carved) lend the
// carved message their name.
class messageServicesIOS7_8 : public MessageServices {
public:
    messageServicesIOS7_8();
    ~messageServicesIOS7_8() override;

    void RecoverFromIOSBackup(const ScanContext& context) override;
    // The carving and attribution step of a run.
    void RecoverDeletedMessages(const ScanContext& context) override;

    // The first conversation partner one of whose handle row ids reads as the text.
    std::shared_ptr<ConversationContact> FindConversationContactFromHandleId(
        const std::string& handleId) const;
    // The first live contact (ContactContent), else deleted contact (DeletedContact), of that
    // serial number in the record.
    static std::shared_ptr<Contact> findContactFromHandleId(const BrimleyAppDelegate& record,
                                                            std::int32_t handleId);

    // Gives each deleted message of the record whose row id is the serial number of a contact
    // (findContactFromHandleId) that contact's second number as its address. The address is
    // replaced whole, so the screens and the export may read it meanwhile.
    static void updatePhoneNumbersInMessages(BrimleyAppDelegate& record);
    // Gives each deleted message with a text the address of its handle in the scan's messages
    // database, or "Unknown" when the handle has none (or there is no such handle). The address
    // is replaced whole, as above.
    static void updateSMSAddresses(const ScanContext& context);

    // The partners of the live chats, gathered over every run of the service.
    const std::vector<std::shared_ptr<ConversationContact>>& ConversationContacts() const {
        return ConversationContacts_;
    }

private:
    std::vector<std::shared_ptr<ConversationContact>> ConversationContacts_;
};

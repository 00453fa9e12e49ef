#pragma once

#include "services/WhatsAppRecoverer.h"
#include "services/abstractServices.h"

#include <cstdint>
#include <memory>
#include <stop_token>
#include <vector>

class WhatsAppContact;
class WhatsAppMessageAttachment;

// Deleted WhatsApp messages: one recoverer carves the chat database under both backup names it
// may have, the app's own folder first, then the app group's; the recoverer lists each deleted
// message in the shared state record and tells the window of it.
class WhatsAppService : public abstractServices {
public:
    // AppDomain-net.whatsapp.WhatsApp-Documents/ChatStorage.sqlite.
    static constexpr const char* WhatsAppSqliteDbName = "1b6b187a1b60b9ae8b720c79e2c67f472bab09c0";
    // AppDomainGroup-group.net.whatsapp.WhatsApp.shared-ChatStorage.sqlite.
    static constexpr const char* WhatsAppSqliteDbName2 = "7c7fba66680ef796b916b067077cc246adacf01d";

    WhatsAppService();
    ~WhatsAppService() override;

    void RecoverFromDevice(const ScanContext& context) override;
    // doRecovery, then AdditionalFiltering.
    void RecoverFromIOSBackup(const ScanContext& context) override;
    void releaseResults() override;

    // Carves both chat database names, in that order.
    void doRecovery(const ScanContext& context);
    // Gives each message the recoverer kept that lacks its sender or its receiver a partner made
    // from the user address it has: that address, and "+" with the number in front of the
    // user-address suffix when the suffix follows at least one character.
    void AdditionalFiltering();

    WhatsAppMessagesSQLiteRecovery& whatsAppRecovery() { return *whatsAppRecovery_; }

    // ---- Existing chats ----
    // The chat database under the name of the app's older backups
    // (AppDomain-net.whatsapp.WhatsApp-Documents/ChatStorage.sqlite of its early releases).
    static constexpr const char* WhatsAppWallPaperSqliteDbName =
        "a36c3f9bdbfc04d4322ad81ea527a168bb17c4b9";
    // getWhatisExistingWallPaperPath.
    void getWhatisExisting(const ScanContext& context);
    // Reads the existing chats of that database: one partner per chat session (its user id and
    // name, and its profile picture's backup file when the backup holds one), kept in
    // ExistingContacts(); then every message to or from the partner, in row order, into the
    // service's model, each with its partner and its media item, each counting in retrieved.
    // A missing database reads nothing.
    void getWhatisExistingWallPaperPath(const ScanContext& context);
    // The media item of the message with that row id in the database read last (none without
    // one): its size, duration, and the media and thumbnail paths as the database records them
    // and as the backup files that hold them.
    std::shared_ptr<WhatsAppMessageAttachment> RetrieveWhatsAppMessageAttachments(
        const ScanContext& context, std::int64_t withKey);
    // The partners of the existing chats read so far.
    const std::vector<std::shared_ptr<WhatsAppContact>>& ExistingContacts() const {
        return existingContacts_;
    }

private:
    std::vector<std::shared_ptr<WhatsAppContact>> existingContacts_;
    std::unique_ptr<WhatsAppMessagesSQLiteRecovery> whatsAppRecovery_;
};

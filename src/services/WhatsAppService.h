#pragma once

#include "services/WhatsAppRecoverer.h"
#include "services/abstractServices.h"

#include <memory>
#include <stop_token>

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

    // Carves both chat database names, in that order.
    void doRecovery(const ScanContext& context);
    // Gives each message the recoverer kept that lacks its sender or its receiver a partner made
    // from the user address it has: that address, and "+" with the number in front of the
    // user-address suffix when the suffix follows at least one character.
    void AdditionalFiltering();

    WhatsAppMessagesSQLiteRecovery& whatsAppRecovery() { return *whatsAppRecovery_; }

private:
    std::unique_ptr<WhatsAppMessagesSQLiteRecovery> whatsAppRecovery_;
};

#pragma once

#include "services/MessageServices.h"

#include <memory>
#include <stop_token>

// The message services of the group layout before iOS 6, in which messages belong to numbered
// groups instead of chats. The application makes neither (initwithDevice always gives the
// service of iOS 6 and later); they are kept for backups of those releases.

// iOS 5 and 6: carves the deleted messages first, then reads the groups.
class messageServicesIOS5_6 : public MessageServices {
public:
    using MessageServices::MessageServices;

    void RecoverFromIOSBackup(const ScanContext& context) override;
    std::unique_ptr<AbstractSqLiteRecovery> GetRecoveryObject(const ScanContext& context) override;
};

// iOS 4: reads the groups and carves nothing.
class messageServicesIOS4 : public MessageServices {
public:
    using MessageServices::MessageServices;

    void RecoverFromIOSBackup(const ScanContext& context) override;
    std::unique_ptr<AbstractSqLiteRecovery> GetRecoveryObject(const ScanContext& context) override;
    // Carves nothing.
    void RecoverDeletedMessages(const ScanContext&) override {}
};

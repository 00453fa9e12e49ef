#pragma once

#include "database/MessageLayout.h"
#include "services/MessageServices.h"

#include <memory>
#include <stop_token>

// The message services of the group layout before iOS 6, in which messages belong to numbered
// groups instead of chats. The application runs them through messageServicesForBackup, for the
// backups whose messages database has that layout.

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

// The message service the application makes (MessageServices::initwithDevice). Each run reads
// the backup's messages database in the layout the file has (MessageLayoutOf: its own tables,
// else the backup's iOS version): the chats of iOS 6 and later as messageServicesIOS7_8 does,
// the groups of iOS 5 with messageServicesIOS5_6, those of iOS 4 with messageServicesIOS4 and
// the iOS 4 message recoverer. The counts of a run are those of the service that ran it.
class messageServicesForBackup : public messageServicesIOS7_8 {
public:
    messageServicesForBackup();
    ~messageServicesForBackup() override;

    void RecoverFromIOSBackup(const ScanContext& context) override;
    void releaseResults() override;

    // The layout the last run read; chats before the first run.
    MessageLayout lastLayout() const { return lastLayout_; }

private:
    std::unique_ptr<messageServicesIOS5_6> iOS5_;
    std::unique_ptr<messageServicesIOS4> iOS4_;
    MessageLayout lastLayout_ = MessageLayout::Chats;
};

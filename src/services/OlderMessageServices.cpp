#include "services/OlderMessageServices.h"

#include "database/SqliteConnection.h"
#include "services/MessageRecoverers.h"

void messageServicesIOS5_6::RecoverFromIOSBackup(const ScanContext& context) {
    RecoverDeletedMessages(context);
    if (context.cancelled()) return;
    openOwnDatabase(ConnectionStringfromDevice(context));
    // The groups' partners are gathered as the layout has them; nothing else reads them.
    GroupContactsInDB();
    dbUtils.reset();
}

std::unique_ptr<AbstractSqLiteRecovery> messageServicesIOS5_6::GetRecoveryObject(
    const ScanContext& context) {
    return std::make_unique<MessagesIOS5_6SQLiteRecovery>(context);
}

void messageServicesIOS4::RecoverFromIOSBackup(const ScanContext& context) {
    openOwnDatabase(ConnectionStringfromDevice(context));
    GroupContactsInDB();
    dbUtils.reset();
    RecoverDeletedMessages(context);
}

std::unique_ptr<AbstractSqLiteRecovery> messageServicesIOS4::GetRecoveryObject(
    const ScanContext& context) {
    return std::make_unique<MessagesIOS4SQLiteRecovery>(context);
}

messageServicesForBackup::messageServicesForBackup() = default;

messageServicesForBackup::~messageServicesForBackup() = default;

void messageServicesForBackup::RecoverFromIOSBackup(const ScanContext& context) {
    const OptString path = ConnectionString(context);
    const std::shared_ptr<SqliteConnection> database =
        path ? SqliteConnection::OpenReadOnly(*path) : nullptr;
    lastLayout_ = MessageLayoutOf(database.get(), context.iOSMajorVersion());
    switch (lastLayout_) {
        case MessageLayout::Chats:
            messageServicesIOS7_8::RecoverFromIOSBackup(context);
            return;
        case MessageLayout::GroupsIOS5:
            if (!iOS5_) iOS5_ = std::make_unique<messageServicesIOS5_6>();
            iOS5_->RecoverFromIOSBackup(context);
            retrieved = iOS5_->retrieved.load();
            recovered = iOS5_->recovered.load();
            return;
        case MessageLayout::GroupsIOS4:
            if (!iOS4_) iOS4_ = std::make_unique<messageServicesIOS4>();
            iOS4_->retrieved = 0;
            iOS4_->recovered = 0;
            iOS4_->RecoverFromIOSBackup(context);
            // That service reads the groups only; its message recoverer carves the deleted
            // messages of the layout.
            if (!context.cancelled()) iOS4_->MessageServices::RecoverDeletedMessages(context);
            retrieved = iOS4_->retrieved.load();
            recovered = iOS4_->recovered.load();
            return;
    }
}

void messageServicesForBackup::releaseResults() {
    messageServicesIOS7_8::releaseResults();
    if (iOS5_) iOS5_->releaseResults();
    if (iOS4_) iOS4_->releaseResults();
}

#include "services/OlderMessageServices.h"

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

#include "services/OlderMessageServices.h"

#include "services/MessageRecoverers.h"

void messageServicesIOS5_6::RecoverFromIOSBackup(const DeviceInfo& device, std::stop_token stop) {
    RecoverDeletedMessages(device, stop);
    if (stop.stop_requested()) return;
    openOwnDatabase(ConnectionStringfromDevice(device));
    // The groups' partners are gathered as the layout has them; nothing else reads them.
    GroupContactsInDB();
    dbUtils.reset();
}

std::unique_ptr<AbstractSqLiteRecovery> messageServicesIOS5_6::GetRecoveryObject() {
    return std::make_unique<MessagesIOS5_6SQLiteRecovery>(appDel());
}

void messageServicesIOS4::RecoverFromIOSBackup(const DeviceInfo& device, std::stop_token stop) {
    openOwnDatabase(ConnectionStringfromDevice(device));
    GroupContactsInDB();
    dbUtils.reset();
    RecoverDeletedMessages(device, stop);
}

std::unique_ptr<AbstractSqLiteRecovery> messageServicesIOS4::GetRecoveryObject() {
    return std::make_unique<MessagesIOS4SQLiteRecovery>(appDel());
}

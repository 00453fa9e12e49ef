#include "services/WhatsAppService.h"

#include "records/BrimleyAppDelegate.h"
#include "records/WhatsApp.h"
#include "records/WhatsAppMessage.h"

#include <string>

namespace {

// A partner known only by its user address.
std::shared_ptr<WhatsAppContact> ContactOfAddress(const OptString& address) {
    auto contact = std::make_shared<WhatsAppContact>();
    contact->setZContactJID(address);
    if (address && !address->empty()) {
        const std::size_t at = address->rfind(WhatsAppUserSuffix);
        if (at != std::string::npos && at > 0) contact->setPhone("+" + address->substr(0, at));
    }
    contact->setZContactProfileBitmapImage(std::string());
    return contact;
}

bool IsNullOrEmpty(const OptString& text) {
    return !text || text->empty();
}

}  // namespace

WhatsAppService::WhatsAppService()
    : whatsAppRecovery_(std::make_unique<WhatsAppMessagesSQLiteRecovery>(ScanContext{})) {
    _SqliteDbName = WhatsAppSqliteDbName;
}

WhatsAppService::~WhatsAppService() = default;

void WhatsAppService::RecoverFromDevice(const ScanContext& context) {
    RecoverFromIOSBackup(context);
}

void WhatsAppService::RecoverFromIOSBackup(const ScanContext& context) {
    doRecovery(context);
    AdditionalFiltering();
}

void WhatsAppService::doRecovery(const ScanContext& context) {
    // The recoverer serves every run; each gives it the scan it serves.
    whatsAppRecovery_->setContext(context);
    for (const char* name : {WhatsAppSqliteDbName, WhatsAppSqliteDbName2}) {
        if (context.cancelled()) return;
        _SqliteDbName = name;
        whatsAppRecovery_->DoRecoveryPath(ConnectionFileFullPath(context));
    }
}

void WhatsAppService::AdditionalFiltering() {
    for (const auto& record : whatsAppRecovery_->RecoveredFiltered()) {
        auto* message = dynamic_cast<WhatsAppMessage*>(record.get());
        if (!message) continue;
        if (IsNullOrEmpty(message->ZFromJid()))
            message->setWhatsAppContact(ContactOfAddress(message->ZToJid()));
        else if (IsNullOrEmpty(message->ZToJid()))
            message->setWhatsAppContact(ContactOfAddress(message->ZFromJid()));
    }
}

#include "database/GenerateWhatsAppObject.h"

#include "records/WhatsApp.h"
#include "records/WhatsAppMessage.h"

WhatsAppObjectGenerator::WhatsAppObjectGenerator(const ScanContext& context)
    : daos_(std::shared_ptr<FMDBUtils>(), context) {}

std::shared_ptr<WhatsApp> WhatsAppObjectGenerator::generateWhatsAppObject(
    const WhatsAppMessage& message) {
    auto record = std::make_shared<WhatsApp>();
    record->setMessageDate(message.Date());
    record->setFromMsgID(message.ZFromJid());
    record->setToMsgID(message.ZToJid());
    record->setZText(message.ZText());

    const OptString& from = message.ZFromJid();
    // An empty sender is the phone itself; otherwise a message that carries the sender's push
    // name was received.
    if (from && from->empty())
        record->setIsSent(true);
    else
        record->setIsSent(!message.ZPushName().has_value());

    OptString name = daos_.GetWhatsAppContactName(from ? from : message.ZToJid());
    record->setContactName(name ? std::move(name) : OptString(" "));
    record->setIshavingName(record->ContactName() && !record->ContactName()->empty());
    record->setPhoneNo(DAOs::WhatsAppPartnerPhone(from, message.ZToJid()));
    record->setIsChecked(0);
    return record;
}

std::shared_ptr<WhatsApp> generateWhatsAppObject(const WhatsAppMessage& message,
                                                 const ScanContext& context) {
    return WhatsAppObjectGenerator(context).generateWhatsAppObject(message);
}

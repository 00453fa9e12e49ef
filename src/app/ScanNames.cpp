#include "app/ScanNames.h"

#include "database/PartnerNames.h"
#include "records/BrimleyAppDelegate.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/Note.h"
#include "records/ScanContext.h"
#include "records/WhatsApp.h"

void NameScanResults(BrimleyAppDelegate& record, const ScanContext& context) {
    for (const auto& contact : record.ContactContent.snapshot())
        if (contact) contact->setContactNo1Number();
    for (const auto* notes : {&record.DeletedNotes, &record.NotesContent})
        for (const auto& note : notes->snapshot())
            if (note) note->setShortTitle();
    // A call gets one name everywhere: the full name of the person who holds its number, in
    // whatever form the address book stores it; without one, the name it has, else its number.
    const bool anyCall = !record.DeletedCallLog.empty() || !record.CallLogContent.empty();
    const ContactFullNames people(
        anyCall ? context.locate(record.ADDRESSBOOK_DATABASE.get()).value_or(std::string())
                : std::string());
    for (const auto* calls : {&record.DeletedCallLog, &record.CallLogContent})
        for (const auto& call : calls->snapshot()) {
            if (!call) continue;
            if (std::string name = people.nameFor(call->Address()); !name.empty())
                call->setContactName(std::move(name));
            call->fillContactName();
        }
    if (record.WhatsAppContent.empty() && record.DeletedWhatsApp.empty()) return;
    const WhatsAppPartnerNames names(context.locate(record.WHATSAPP_DATABASE.get()).value_or(std::string()));
    for (const auto* messages : {&record.WhatsAppContent, &record.DeletedWhatsApp})
        for (const auto& message : messages->snapshot())
            if (message) names.name(*message);
}

#pragma once

#include "database/DAOs.h"
#include "records/BrimleyAppDelegate.h"

#include <memory>

class WhatsApp;
class WhatsAppMessage;

// Turns carved WhatsApp messages into the display records that join the deleted-messages
// list, each with its partner's name from the backup's chat database.
//
// The names are read through the generator's own query object, which opens the chat database
// of the scan's backup on first use, so a carving thread shares no handle with other threads.
class WhatsAppObjectGenerator {
public:
    explicit WhatsAppObjectGenerator(const ScanContext& context);

    std::shared_ptr<WhatsApp> generateWhatsAppObject(const WhatsAppMessage& message);

private:
    DAOs daos_;
};

// One message converted with a generator of its own.
std::shared_ptr<WhatsApp> generateWhatsAppObject(const WhatsAppMessage& message,
                                                 const ScanContext& context);

#pragma once

#include "common/Types.h"

#include <memory>
#include <string>
#include <vector>

class Calendar;
class Note;
class SMS;
class Skype;
class WhatsApp;

// The detail pages of the screens as HTML. Every text a record holds is HTML-escaped, so a
// message with markup in it shows the markup as text.
namespace ChatPages {

// The chat page of the messages screen: a bubble per message in the given order, received
// messages grey on the left, every other message green on the right.
std::string SmsConversation(const std::vector<std::shared_ptr<SMS>>& messages);
// The chat page of the WhatsApp screen, over the chat background picture at `background`
// (a file path): received messages on the left, the owner's on the right.
std::string WhatsAppConversation(const std::vector<std::shared_ptr<WhatsApp>>& messages,
                                 const std::string& background);
// A Skype dialog: one block per run of messages of one account; `ownAccount`'s blocks are
// drawn as the owner's.
std::string SkypeConversation(const std::vector<std::shared_ptr<Skype>>& messages,
                              const std::string& ownAccount);
// The detail page of an event (its title and note) and of a note (its title and text).
std::string CalendarPage(const Calendar& event);
std::string NotePage(const Note& note);

}  // namespace ChatPages

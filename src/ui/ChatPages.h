#pragma once

#include "common/Types.h"
#include "ui/ScreenText.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

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

// Puts a chat's messages in time order by their date texts (ScreenText::DateSortKey), oldest
// first; a message whose date does not read as one comes after the dated ones, in the order it
// had. `deleted` holds one flag per message (or nothing) and moves along with them.
template <class T, class DateOf>
void InTimeOrder(std::vector<std::shared_ptr<T>>& messages, std::vector<char>& deleted, DateOf dateOf);

// The chat page of the messages screen: a bubble per message in the given order, received
// messages grey on the left, every other message green on the right. A message flagged in
// `deleted` (one flag per message, or none at all) is drawn in the colour of deleted rows.
std::string SmsConversation(const std::vector<std::shared_ptr<SMS>>& messages,
                            const std::vector<char>& deleted = {});
// The chat page of the WhatsApp screen, over the chat background picture at `background`
// (a file path): received messages on the left, the owner's on the right; deleted ones marked
// as on the messages page.
std::string WhatsAppConversation(const std::vector<std::shared_ptr<WhatsApp>>& messages,
                                 const std::string& background, const std::vector<char>& deleted = {});
// A Skype dialog: one block per run of messages of one account; `ownAccount`'s blocks are
// drawn as the owner's.
std::string SkypeConversation(const std::vector<std::shared_ptr<Skype>>& messages,
                              const std::string& ownAccount);
// The detail page of an event: its title, location, start, end and note. A deleted record's
// page begins with the deleted mark.
std::string CalendarPage(const Calendar& event, bool deleted = false);
// A note's page shows its title on a line of its own and its text below it; a text that begins
// with the title (the note stores keep the title as the text's first line) shows without it.
std::string NotePage(const Note& note, bool deleted = false);
// The note's text as its page shows it: without the title it begins with.
OptString NoteText(const Note& note);
// The mark a detail page of a deleted record begins with: the word in the deleted records' red.
std::string DeletedMarkRow();

template <class T, class DateOf>
void InTimeOrder(std::vector<std::shared_ptr<T>>& messages, std::vector<char>& deleted, DateOf dateOf) {
    constexpr std::int64_t kUndated = std::numeric_limits<std::int64_t>::max();
    std::vector<std::pair<std::int64_t, std::size_t>> order;
    order.reserve(messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const auto key = messages[i] ? ScreenText::DateSortKey(dateOf(*messages[i])) : std::nullopt;
        order.emplace_back(key.value_or(kUndated), i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::shared_ptr<T>> sorted;
    std::vector<char> flags;
    sorted.reserve(messages.size());
    for (const auto& [key, i] : order) {
        sorted.push_back(std::move(messages[i]));
        if (i < deleted.size()) flags.push_back(deleted[i]);
    }
    messages = std::move(sorted);
    if (!deleted.empty()) deleted = std::move(flags);
}

}  // namespace ChatPages

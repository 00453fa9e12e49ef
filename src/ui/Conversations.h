#pragma once

#include "common/Types.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class Contact;
class SMS;

// The three forms in which the messages screen compares phone numbers and addresses.
namespace NumberForms {
// " ", "-" and "+" removed; of a result of 10 characters or more only the last 10 are kept
// (characters counted in UTF-16 code units).
std::string cleaned(std::string_view text);
// " ", "-", "+" and the no-break space removed; nothing cut.
std::string standardised(std::string_view text);
// " " and "-" removed.
std::string tickForm(std::string_view text);
}  // namespace NumberForms

// One row of the messages screen: a conversation with one address, or an empty row.
struct ConversationRow {
    // The first name of the contact matched to the address; empty when none matched.
    std::string name;
    // The first e-mail address of that contact; absent when none matched (or it has none).
    OptString email;
    // The address exactly as the messages store it; empty for the empty rows.
    std::string contact;
    // The row's tick box.
    bool check = false;
    // Every message of the row is a deleted one.
    bool deleted = false;
    // The chat's row id, in the rows listed by chat (ChatTable::myDisplay).
    std::optional<std::int64_t> chatRow;
};

// What the messages screen knows of the messages and contacts, built once each time the lists
// change, so that a search, a filter change and the rows it shows walk prepared data only:
// each message's lower-case text and address forms, the distinct addresses with the contact
// that names each, and the conversations (messages grouped by standardised address).
//
// The messages are the existing ones followed by the deleted ones; a selection ("the working
// list") is a flag per message.
class ConversationIndex {
public:
    ConversationIndex() = default;
    ConversationIndex(std::vector<std::shared_ptr<SMS>> existing,
                      std::vector<std::shared_ptr<SMS>> deleted,
                      const std::vector<std::shared_ptr<Contact>>& contacts);

    std::size_t size() const { return messages_.size(); }
    std::size_t existingCount() const { return existing_; }
    const std::shared_ptr<SMS>& message(std::size_t i) const { return messages_[i].record; }
    bool isDeleted(std::size_t i) const { return i >= existing_; }

    // The working list of a filter: every message, or the deleted ones alone.
    std::vector<char> workingList(bool showAll) const;
    // The messages of a segment of the existing/deleted filter: 0 all, 1 the existing ones, 2
    // the deleted ones.
    std::vector<char> segmentList(int segment) const;
    // The working list narrowed to the messages that hold the lower-case search text in what
    // their row and page show: their text, their address, the cleaned form of their address,
    // or the name or e-mail address of the contact that names the address (each in lower case).
    std::vector<char> search(const std::vector<char>& working, std::string_view lowerText) const;
    // Whether a message holds the lower-case text as the search tests it.
    bool matches(std::size_t i, std::string_view lowerText) const;
    // The lower-case text of a message, if it has one.
    std::optional<std::string_view> lowerText(std::size_t i) const;

    // The rows of a working list: one per distinct address of its messages (in the order the
    // addresses first appear), then one empty row per message whose address is absent or empty.
    std::vector<ConversationRow> rows(const std::vector<char>& working) const;
    // The messages of the working list whose standardised address equals the row's, in list
    // order (existing messages before deleted ones); `deleted`, when given, gets one flag per
    // message.
    std::vector<std::shared_ptr<SMS>> conversation(const ConversationRow& row, const std::vector<char>& working,
                                                   std::vector<char>* deleted = nullptr) const;

    // Which messages a tick of the filter segment reaches: 0 all, 1 the existing ones, 2 the
    // deleted ones, other values none.
    bool tickReaches(std::size_t i, int segment) const;
    // Ticks (or unticks) every message the segment reaches whose address, in its tick form,
    // equals the row's address in tick form.
    void tickAddress(const std::string& contact, int segment, bool ticked) const;
    // Ticks every message the segment reaches.
    void tickAll(int segment, bool ticked) const;
    // Whether every message of the row's address that the segment reaches is ticked (and
    // there is at least one).
    bool addressTicked(const std::string& contact, int segment) const;

    // Whether the index still stands for these lists (the same records, in number and at the
    // ends).
    bool describes(const std::vector<std::shared_ptr<SMS>>& existing,
                   const std::vector<std::shared_ptr<SMS>>& deleted, std::size_t contacts) const;

private:
    static constexpr std::uint32_t kNone = 0xffffffffu;
    struct Entry {
        std::shared_ptr<SMS> record;
        // The message's text in lower case: a run of lowerTexts_; none when it has no text.
        std::uint32_t textStart = 0;
        std::uint32_t textLength = 0;
        bool hasText = false;
        bool emptyAddress = false;       // absent or empty: one more empty row
        std::uint32_t address = kNone;   // distinct stored address
        std::uint32_t group = kNone;     // standardised address
        std::uint32_t tickGroup = kNone; // address in tick form
    };
    struct Address {
        std::string text;
        std::string name;
        OptString email;
        // The address, its cleaned form, and the contact's name and e-mail address in lower
        // case, as the search tests them.
        std::string lower;
        std::string lowerCleaned;
        std::string lowerName;
        std::string lowerEmail;
        std::uint32_t group = kNone;
        std::uint32_t tickGroup = kNone;
    };

    // Whether the address, or the contact that names it, holds the lower-case text.
    static bool addressHolds(const Address& a, std::string_view lowerText);
    std::uint32_t groupOf(const std::string& contact) const;
    std::uint32_t tickGroupOf(const std::string& contact) const;

    std::vector<Entry> messages_;
    std::string lowerTexts_;
    std::size_t existing_ = 0;
    std::size_t contactCount_ = 0;
    std::vector<Address> addresses_;
    std::unordered_map<std::string, std::uint32_t> groups_;      // standardised address
    std::unordered_map<std::string, std::uint32_t> tickGroups_;  // tick form
    std::vector<std::vector<std::uint32_t>> tickMembers_;        // messages by tick group
};

#include "ui/Conversations.h"

#include "records/Contact.h"
#include "records/SMS.h"
#include "ui/ScreenText.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <unordered_map>

namespace NumberForms {

namespace {

std::string Without(std::string_view text, std::initializer_list<std::string_view> removed) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        bool skipped = false;
        for (std::string_view r : removed)
            if (text.substr(i, r.size()) == r) {
                i += r.size();
                skipped = true;
                break;
            }
        if (!skipped) result += text[i++];
    }
    return result;
}

}  // namespace

std::string cleaned(std::string_view text) {
    std::string result = Without(text, {" ", "-", "+"});
    const bool ascii = std::all_of(result.begin(), result.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return result.size() >= 10 ? result.substr(result.size() - 10) : result;
    const icu::UnicodeString units = icu::UnicodeString::fromUTF8(result);
    if (units.length() < 10) return result;
    std::string last;
    units.tempSubString(units.length() - 10).toUTF8String(last);
    return last;
}

std::string standardised(std::string_view text) {
    return Without(text, {" ", "-", "+", "\u00a0"});
}

std::string tickForm(std::string_view text) {
    return Without(text, {" ", "-"});
}

}  // namespace NumberForms

ConversationIndex::ConversationIndex(std::vector<std::shared_ptr<SMS>> existing,
                                     std::vector<std::shared_ptr<SMS>> deleted,
                                     const std::vector<std::shared_ptr<Contact>>& contacts)
    : existing_(existing.size()), contactCount_(contacts.size()) {
    // The contact that names an address: the first in list order for which one of the
    // twelve comparisons holds. The forms of every contact go into two maps once, each form
    // keeping the first contact that has it.
    std::unordered_map<std::string, std::size_t> byCleaned, byStandardised;
    for (std::size_t k = 0; k < contacts.size(); ++k) {
        const Contact& c = *contacts[k];
        const OptString numbers[] = {c.ContactNo1(), c.ContactNo2(), c.ContactNo3(),
                                     c.ContactNo4(), c.ContactNo5(), c.ContactNo6()};
        for (std::size_t n = 0; n < 6; ++n) {
            if (!numbers[n]) continue;
            const std::string& number = *numbers[n];
            byCleaned.emplace(NumberForms::cleaned(number), k);
            if (n < 3) {
                const std::string s = NumberForms::standardised(number);
                byCleaned.emplace(s, k);
                byStandardised.emplace(s, k);
            }
        }
    }
    const auto nameContact = [&](const std::string& address) -> const Contact* {
        std::size_t best = contacts.size();
        if (auto it = byCleaned.find(NumberForms::cleaned(address)); it != byCleaned.end())
            best = std::min(best, it->second);
        if (auto it = byStandardised.find(NumberForms::standardised(address)); it != byStandardised.end())
            best = std::min(best, it->second);
        return best < contacts.size() ? contacts[best].get() : nullptr;
    };

    std::unordered_map<std::string, std::uint32_t> addressIds;
    const auto group = [](std::unordered_map<std::string, std::uint32_t>& groups, std::string key) {
        return groups.emplace(std::move(key), static_cast<std::uint32_t>(groups.size())).first->second;
    };
    messages_.reserve(existing.size() + deleted.size());
    for (auto* list : {&existing, &deleted}) {
        for (auto& record : *list) {
            if (!record) continue;
            Entry entry;
            if (const OptString& text = record->Message()) {
                entry.hasText = true;
                entry.textStart = static_cast<std::uint32_t>(lowerTexts_.size());
                lowerTexts_ += ScreenText::Lower(*text);
                entry.textLength = static_cast<std::uint32_t>(lowerTexts_.size() - entry.textStart);
            }
            const OptString address = record->Address();
            if (address) {
                auto [it, added] = addressIds.try_emplace(*address, static_cast<std::uint32_t>(addresses_.size()));
                if (added) {
                    Address a;
                    a.text = *address;
                    if (const Contact* c = nameContact(*address)) {
                        a.name = c->FirstName().value_or(std::string());
                        a.email = c->EmailAddress1();
                    }
                    a.lower = ScreenText::Lower(*address);
                    a.lowerCleaned = ScreenText::Lower(NumberForms::cleaned(*address));
                    a.lowerName = ScreenText::Lower(a.name);
                    a.lowerEmail = ScreenText::Lower(a.email.value_or(std::string()));
                    a.group = group(groups_, NumberForms::standardised(*address));
                    a.tickGroup = group(tickGroups_, NumberForms::tickForm(*address));
                    addresses_.push_back(std::move(a));
                }
                entry.address = it->second;
                entry.group = addresses_[it->second].group;
                entry.tickGroup = addresses_[it->second].tickGroup;
            }
            entry.emptyAddress = !address || address->empty();
            entry.record = std::move(record);
            messages_.push_back(std::move(entry));
        }
        if (list == &existing) existing_ = messages_.size();
    }
    tickMembers_.resize(tickGroups_.size());
    for (std::size_t i = 0; i < messages_.size(); ++i)
        if (messages_[i].tickGroup != kNone)
            tickMembers_[messages_[i].tickGroup].push_back(static_cast<std::uint32_t>(i));
}

std::vector<char> ConversationIndex::workingList(bool showAll) const {
    return segmentList(showAll ? 0 : 2);
}

std::vector<char> ConversationIndex::segmentList(int segment) const {
    std::vector<char> working(messages_.size(), 0);
    for (std::size_t i = 0; i < messages_.size(); ++i) working[i] = tickReaches(i, segment) ? 1 : 0;
    return working;
}

std::optional<std::string_view> ConversationIndex::lowerText(std::size_t i) const {
    const Entry& e = messages_[i];
    if (!e.hasText) return std::nullopt;
    return std::string_view(lowerTexts_).substr(e.textStart, e.textLength);
}

bool ConversationIndex::matches(std::size_t i, std::string_view text) const {
    const Entry& e = messages_[i];
    if (e.hasText && lowerText(i)->find(text) != std::string_view::npos) return true;
    return e.address != kNone && addressHolds(addresses_[e.address], text);
}

bool ConversationIndex::addressHolds(const Address& a, std::string_view text) {
    for (const std::string* field : {&a.lower, &a.lowerCleaned, &a.lowerName, &a.lowerEmail})
        if (field->find(text) != std::string::npos) return true;
    return false;
}

std::vector<char> ConversationIndex::search(const std::vector<char>& working, std::string_view text) const {
    // Each address is tested once; each message then only by its text.
    std::vector<char> addressMatches(addresses_.size(), 0);
    for (std::size_t a = 0; a < addresses_.size(); ++a) addressMatches[a] = addressHolds(addresses_[a], text);
    std::vector<char> found(messages_.size(), 0);
    const std::string_view all(lowerTexts_);
    for (std::size_t i = 0; i < messages_.size() && i < working.size(); ++i) {
        if (!working[i]) continue;
        const Entry& e = messages_[i];
        found[i] = (e.address != kNone && addressMatches[e.address]) ||
                   (e.hasText && all.substr(e.textStart, e.textLength).find(text) != std::string_view::npos);
    }
    return found;
}

std::vector<ConversationRow> ConversationIndex::rows(const std::vector<char>& working) const {
    std::vector<ConversationRow> rows;
    std::vector<std::uint32_t> rowOf(addresses_.size(), kNone);
    std::vector<char> emptyRows;  // per empty row: whether its message is a deleted one
    for (std::size_t i = 0; i < messages_.size() && i < working.size(); ++i) {
        if (!working[i]) continue;
        const Entry& e = messages_[i];
        if (e.emptyAddress) emptyRows.push_back(isDeleted(i));
        if (e.address == kNone) continue;
        if (rowOf[e.address] == kNone) {
            rowOf[e.address] = static_cast<std::uint32_t>(rows.size());
            const Address& a = addresses_[e.address];
            ConversationRow row;
            row.name = a.name;
            row.email = a.email;
            row.contact = a.text;
            row.deleted = true;
            rows.push_back(std::move(row));
        }
        if (!isDeleted(i)) rows[rowOf[e.address]].deleted = false;
    }
    for (char deleted : emptyRows) {
        ConversationRow row;
        row.email = std::string();
        row.deleted = deleted != 0;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::uint32_t ConversationIndex::groupOf(const std::string& contact) const {
    const auto it = groups_.find(NumberForms::standardised(contact));
    return it == groups_.end() ? kNone : it->second;
}

std::uint32_t ConversationIndex::tickGroupOf(const std::string& contact) const {
    const auto it = tickGroups_.find(NumberForms::tickForm(contact));
    return it == tickGroups_.end() ? kNone : it->second;
}

std::vector<std::shared_ptr<SMS>> ConversationIndex::conversation(const ConversationRow& row,
                                                                  const std::vector<char>& working,
                                                                  std::vector<char>* deleted) const {
    std::vector<std::shared_ptr<SMS>> messages;
    if (deleted) deleted->clear();
    const std::uint32_t group = groupOf(row.contact);
    if (group == kNone) return messages;
    for (std::size_t i = 0; i < messages_.size() && i < working.size(); ++i)
        if (working[i] && messages_[i].group == group) {
            messages.push_back(messages_[i].record);
            if (deleted) deleted->push_back(isDeleted(i) ? 1 : 0);
        }
    return messages;
}

bool ConversationIndex::tickReaches(std::size_t i, int segment) const {
    switch (segment) {
        case 0: return true;
        case 1: return i < existing_;
        case 2: return i >= existing_;
        default: return false;
    }
}

void ConversationIndex::tickAddress(const std::string& contact, int segment, bool ticked) const {
    const std::uint32_t group = tickGroupOf(contact);
    if (group == kNone) return;
    for (std::uint32_t i : tickMembers_[group])
        if (tickReaches(i, segment)) messages_[i].record->setIsChecked(ticked ? 1 : 0);
}

void ConversationIndex::tickAll(int segment, bool ticked) const {
    for (std::size_t i = 0; i < messages_.size(); ++i)
        if (tickReaches(i, segment)) messages_[i].record->setIsChecked(ticked ? 1 : 0);
}

bool ConversationIndex::addressTicked(const std::string& contact, int segment) const {
    const std::uint32_t group = tickGroupOf(contact);
    if (group == kNone) return false;
    bool any = false;
    for (std::uint32_t i : tickMembers_[group]) {
        if (!tickReaches(i, segment)) continue;
        if (messages_[i].record->isChecked() != 1) return false;
        any = true;
    }
    return any;
}

bool ConversationIndex::describes(const std::vector<std::shared_ptr<SMS>>& existing,
                                  const std::vector<std::shared_ptr<SMS>>& deleted,
                                  std::size_t contacts) const {
    if (existing.size() != existing_ || existing.size() + deleted.size() != messages_.size() ||
        contacts != contactCount_)
        return false;
    const auto same = [&](std::size_t i, const std::shared_ptr<SMS>& record) {
        return messages_[i].record == record;
    };
    if (!existing.empty() && (!same(0, existing.front()) || !same(existing_ - 1, existing.back())))
        return false;
    if (!deleted.empty() && (!same(existing_, deleted.front()) || !same(messages_.size() - 1, deleted.back())))
        return false;
    return true;
}

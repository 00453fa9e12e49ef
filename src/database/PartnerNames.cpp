#include "database/PartnerNames.h"

#include "common/PhoneAndEmailUtils.h"
#include "database/SqliteConnection.h"
#include "records/WhatsApp.h"

#include <algorithm>
#include <numeric>

namespace {

// The number as the address-book query compares it: ")", "+", "-", blanks and "(" removed,
// ASCII letters in lower case.
std::string Reduced(std::string_view text) {
    std::string reduced;
    reduced.reserve(text.size());
    for (char c : text) {
        if (c == '(' || c == ')' || c == '-' || c == ' ' || c == '+') continue;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        reduced += c;
    }
    return reduced;
}

constexpr std::size_t kTailDigits = 7;
// A number shorter than this matches only a number of the same digits: a local number without
// its area code names nobody for sure.
constexpr std::size_t kSuffixDigits = 8;

std::string TailOf(const std::string& digits) {
    return digits.size() <= kTailDigits ? digits : digits.substr(digits.size() - kTailDigits);
}

}  // namespace

AddressBookNames::AddressBookNames(const std::string& databasePath) {
    if (databasePath.empty()) return;
    auto connection = SqliteConnection::OpenReadOnly(databasePath);
    if (!connection->isOpen()) return;
    auto result = connection->executeQuery(
        "SELECT ABMultiValue.value AS value, ABPerson.First as Name FROM ABMultiValue INNER JOIN ABPerson ON "
        "ABMultiValue.record_id = ABPerson.ROWID");
    if (!result) return;
    std::vector<std::pair<OptString, OptString>> rows;
    while (result.next()) rows.emplace_back(result.stringForColumn("value"), result.stringForColumn("Name"));
    build(rows);
}

AddressBookNames AddressBookNames::FromRows(const std::vector<std::pair<OptString, OptString>>& rows) {
    AddressBookNames names;
    names.build(rows);
    return names;
}

void AddressBookNames::build(const std::vector<std::pair<OptString, OptString>>& rows) {
    open_ = true;
    std::vector<std::pair<std::string, std::uint32_t>> entries;
    for (std::uint32_t row = 0; row < rows.size(); ++row) {
        names_.push_back(rows[row].second.value_or(std::string()));
        if (!rows[row].first) continue;  // a NULL value matches nothing
        std::string key = Reduced(*rows[row].first);
        std::reverse(key.begin(), key.end());
        entries.emplace_back(std::move(key), row);
    }
    std::sort(entries.begin(), entries.end());
    reversed_.reserve(entries.size());
    rowOf_.reserve(entries.size());
    for (auto& [key, row] : entries) {
        reversed_.push_back(std::move(key));
        rowOf_.push_back(row);
    }
    // A sparse table answers "the last row among these entries" in constant time.
    rangeMax_.push_back(rowOf_);
    for (std::size_t width = 2; width <= rowOf_.size(); width *= 2) {
        const auto& previous = rangeMax_.back();
        std::vector<std::uint32_t> level(rowOf_.size() - width + 1);
        for (std::size_t i = 0; i < level.size(); ++i)
            level[i] = std::max(previous[i], previous[i + width / 2]);
        rangeMax_.push_back(std::move(level));
    }
}

std::string AddressBookNames::nameFor(const OptString& address) const {
    if (!address || address->empty()) return "Unknown";
    std::string key = Reduced(*address);
    if (key.empty()) return std::string();
    std::reverse(key.begin(), key.end());
    // The entries that begin with the key form one run of the sorted list.
    const auto first = std::lower_bound(reversed_.begin(), reversed_.end(), key);
    const auto last = std::partition_point(first, reversed_.end(), [&](const std::string& entry) {
        return entry.compare(0, key.size(), key) == 0;
    });
    if (first == last) return std::string();
    const std::size_t from = static_cast<std::size_t>(first - reversed_.begin());
    const std::size_t count = static_cast<std::size_t>(last - first);
    std::size_t level = 0;
    while ((std::size_t{2} << level) <= count) ++level;
    const std::size_t width = std::size_t{1} << level;
    const std::uint32_t row =
        std::max(rangeMax_[level][from], rangeMax_[level][from + count - width]);
    return names_[row];
}

WhatsAppPartnerNames::WhatsAppPartnerNames(const std::string& databasePath) {
    if (databasePath.empty()) return;
    auto connection = SqliteConnection::OpenReadOnly(databasePath);
    if (!connection->isOpen()) return;
    auto result = connection->executeQuery("SELECT ZCONTACTJID, ZPARTNERNAME FROM ZWACHATSESSION");
    std::vector<std::pair<OptString, OptString>> rows;
    while (result.next())
        rows.emplace_back(result.stringForColumn("ZCONTACTJID"), result.stringForColumn("ZPARTNERNAME"));
    *this = FromRows(rows);
}

WhatsAppPartnerNames WhatsAppPartnerNames::FromRows(
    const std::vector<std::pair<OptString, OptString>>& rows) {
    WhatsAppPartnerNames names;
    for (const auto& [id, name] : rows)
        if (id) names.names_.emplace(*id, name);  // the first session of an id answers
    return names;
}

OptString WhatsAppPartnerNames::nameFor(const OptString& userId) const {
    if (!userId) return std::string();
    const auto found = names_.find(*userId);
    return found == names_.end() ? OptString(std::string()) : found->second;
}

std::string WhatsAppPartnerNames::name(WhatsApp& message) const {
    OptString name = nameFor(message.FromMsgID());
    if (!name || name->empty()) name = nameFor(message.ToMsgID()).value_or(std::string());
    if (name->empty())
        name = message.updatePhoneNo([](OptString& phone) {
            if (!phone) phone = std::string();
        });
    if (name->empty()) name = "Unknown";
    message.setContactName(name);
    return *name;
}

ContactFullNames::ContactFullNames(const std::string& databasePath) {
    if (databasePath.empty()) return;
    auto connection = SqliteConnection::OpenReadOnly(databasePath);
    if (!connection->isOpen()) return;
    // Property 3: the phone numbers.
    auto result = connection->executeQuery(
        "SELECT m.value AS number, p.First AS First, p.Middle AS Middle, p.Last AS Last, p.Organization AS "
        "Organization, p.Nickname AS Nickname FROM "
        "ABMultiValue m INNER JOIN ABPerson p ON m.record_id = p.ROWID WHERE m.property = 3 "
        "ORDER BY p.ROWID, m.UID");
    while (result.next())
        add({result.stringForColumn("number"), result.stringForColumn("First"),
             result.stringForColumn("Middle"), result.stringForColumn("Last"),
             result.stringForColumn("Organization"), result.stringForColumn("Nickname")});
}

ContactFullNames ContactFullNames::FromRows(const std::vector<Row>& rows) {
    ContactFullNames names;
    for (const Row& row : rows) names.add(row);
    return names;
}

void ContactFullNames::add(const Row& row) {
    if (!row.number) return;
    std::string digits = iPhoneNumberUtils::NumberKey(*row.number);
    if (digits.empty()) return;
    std::string name;
    for (const OptString& part : {row.first, row.middle, row.last})
        if (part && !part->empty()) name += (name.empty() ? "" : " ") + *part;
    for (const OptString& other : {row.organization, row.nickname})
        if (name.empty() && other) name = *other;
    if (name.empty()) return;
    byTail_.emplace(TailOf(digits), numbers_.size());
    numbers_.emplace_back(std::move(digits), std::move(name));
}

std::string ContactFullNames::nameFor(const OptString& number) const {
    if (!number) return {};
    const std::string digits = iPhoneNumberUtils::NumberKey(*number);
    if (digits.empty()) return {};
    std::size_t best = numbers_.size();
    const auto [from, to] = byTail_.equal_range(TailOf(digits));
    for (auto it = from; it != to; ++it) {
        const bool same =
            iPhoneNumberUtils::SameNumberKey(numbers_[it->second].first, digits, kSuffixDigits);
        if (same) best = std::min(best, it->second);
    }
    return best < numbers_.size() ? numbers_[best].second : std::string();
}

#pragma once

#include "common/Types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class WhatsApp;

// The names the call screens give the other party of a call, read once from the backup's
// address book so that naming every address of a long call list asks the database nothing.
// Answers what DAOs::GetNameForAddress answers for the same address book:
//   - "Unknown" for an absent or empty address;
//   - the empty text for an address of nothing but separators, or when no number matches;
//   - else the first name of the last address-book row (in the query's row order) one of whose
//     values, with ")", "+", "-", blanks and "(" removed, ends with the address reduced the
//     same way, compared without regard to ASCII case (as SQLite's LIKE compares).
// A book that cannot be read names nobody (every look-up then answers the empty text, except
// "Unknown" for an empty address). Immutable once made: any thread may look up.
class AddressBookNames {
public:
    AddressBookNames() = default;
    // Reads the address-book database at the path (a backup's file, opened read-only).
    explicit AddressBookNames(const std::string& databasePath);
    // For tests and tools: the (value, first name) rows in query order.
    static AddressBookNames FromRows(const std::vector<std::pair<OptString, OptString>>& rows);

    std::string nameFor(const OptString& address) const;
    bool isOpen() const { return open_; }
    std::size_t rows() const { return reversed_.size(); }

private:
    void build(const std::vector<std::pair<OptString, OptString>>& rows);

    bool open_ = false;
    // Each value reduced, lower-cased (ASCII) and reversed, sorted; an address then matches a
    // contiguous run of them (those its reversed form begins).
    std::vector<std::string> reversed_;
    // The row number (query order) of each sorted entry, and the names by row number.
    std::vector<std::uint32_t> rowOf_;
    std::vector<std::string> names_;
    // rangeMax_[k][i]: the largest row number among entries i .. i + 2^k - 1.
    std::vector<std::vector<std::uint32_t>> rangeMax_;
};

// AddressBookNames read on the first look-up, so that a list with no call to name reads no
// address book. Names a list of calls from one read of the book: a query per call compares
// every number of the book with every call, which takes minutes for tens of thousands of
// each. Not shared between threads.
class LazyAddressBookNames {
public:
    explicit LazyAddressBookNames(std::string databasePath) : path_(std::move(databasePath)) {}
    std::string nameFor(const OptString& address) {
        if (!names_) names_.emplace(path_);
        return names_->nameFor(address);
    }

private:
    std::string path_;
    std::optional<AddressBookNames> names_;
};

// The full names of the address book's people by their phone numbers, read once: the one name
// that a call gets in every list, its detail and the export. A number matches a stored number in
// any of its forms: the same digits after any leading zeros, or the one of eight digits or more
// ending the other (a national and an international form, with or without blanks). Where
// several people hold a number, the person of the first row (lowest row id) names it. A full
// name is the first, middle and last names; without them the organisation, else the nickname.
// Immutable once made: any thread may look up.
class ContactFullNames {
public:
    struct Row {
        OptString number, first, middle, last, organization, nickname;
    };
    ContactFullNames() = default;
    // Reads the phone numbers of the address-book database at the path (opened read-only).
    explicit ContactFullNames(const std::string& databasePath);
    // For tests: rows in person order.
    static ContactFullNames FromRows(const std::vector<Row>& rows);

    // The full name for the number, or the empty text when no person holds it.
    std::string nameFor(const OptString& number) const;
    bool empty() const { return numbers_.empty(); }

private:
    void add(const Row& row);

    // Digits without leading zeros, and the full name, in row order.
    std::vector<std::pair<std::string, std::string>> numbers_;
    // Positions in numbers_ by the last seven digits (all of them for shorter numbers).
    std::unordered_multimap<std::string, std::size_t> byTail_;
};

// The partner names of the WhatsApp chat database (ZWACHATSESSION), read once: what
// DAOs::GetWhatsAppContactName answers for a user id, without a query per message.
class WhatsAppPartnerNames {
public:
    WhatsAppPartnerNames() = default;
    explicit WhatsAppPartnerNames(const std::string& databasePath);
    // For tests: (ZCONTACTJID, ZPARTNERNAME) rows in table order.
    static WhatsAppPartnerNames FromRows(const std::vector<std::pair<OptString, OptString>>& rows);

    // The partner name of the first session of that user id (absent when that name is NULL),
    // or the empty text when no session has that id or the id is absent.
    OptString nameFor(const OptString& userId) const;
    // Names one message in the record itself, as the WhatsApp chats are named: the partner
    // name of its sender, else of its receiver; without one, its PhoneNo (an absent PhoneNo
    // becoming the empty text), else "Unknown". Writes ContactName (and PhoneNo when absent
    // and no name was found) and answers the name.
    std::string name(WhatsApp& message) const;

private:
    std::unordered_map<std::string, OptString> names_;
};

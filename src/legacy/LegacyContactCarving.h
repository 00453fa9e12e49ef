#pragma once

#include "legacy/LegacyBytes.h"

#include <cstdint>
#include <string>
#include <vector>

class LegacyRecovery;

// The contact routines over the address book file.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
class LegacyContactCarving {
public:
    explicit LegacyContactCarving(LegacyRecovery& run) : run_(run) {}

    // iOS 4 and 5: finds the run of serial types that follows a person record's creation date,
    // reads the record's header around it (as many columns as the file's person table has) and
    // lists the names, organization and dates of every deleted person; a live row is never listed.
    bool RecoverDeletedContacts();
    bool RecoverDeletedNewIOS6Contacts();
    bool RecoverDeletedNewIOS6Contacts_Future();
    bool DeletediOS7Contacts();

    // Decodes the person record whose data starts at dataStart (columns described by their
    // lengths, as decimal texts, and their kinds) as DeletediOS7Contacts does, without the
    // creation date, and lists it unless a listed contact has its name and date. Neither
    // numbered nor counted. Nothing happens unless the first column is text and the data lies
    // inside the file.
    void GetValue(std::int64_t dataStart, const std::vector<std::string>& lengths,
                  const std::vector<std::string>& kinds, std::int64_t fileLength, std::int64_t dataLength,
                  FileBytes bytes);

private:
    LegacyRecovery& run_;
};

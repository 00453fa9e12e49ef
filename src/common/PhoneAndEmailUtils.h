#pragma once

#include "common/Types.h"

#include <memory>
#include <string>
#include <vector>

// Tests by which the message services tell a phone-number handle from an e-mail handle, and
// loose phone-number equality.
class iPhoneNumberUtils {
public:
    static bool StartWithPlusSign(const OptString& text);
    // Digits, "+", "-" and white space only; false for an absent or empty text.
    static bool IsPhoneNumber(const OptString& text);
    // Loose equality: the same number with or without country code, blanks, "(0)" or trunk zero.
    // A first number of fewer than four characters (after that cleaning) must match exactly.
    static bool AreEqual(const OptString& number, const OptString& number2);

    // The whole phone numbers of an address book's search text, which lists every number of a
    // person, each possibly in several forms, all separated by blanks. Where the phone added
    // forms after a number as entered (with country code or international prefix, with trunk
    // zero, digits only, its last seven or more digits), the number is what precedes its
    // first added form: the fewest groups whose digits end that form. Elsewhere a blank inside a
    // number ("+49 151 2121 4377") does not end it; a new number starts with "+", with "0" after
    // seven digits (ten of an international number), with "(" or a group of seven digits after
    // seven, where the digits would pass fifteen, or after a number of ten digits (eleven
    // starting with 1) without "+" or trunk zero, or of eleven after "+1". Forms of a number
    // listed before (the same digits after any leading zeros, or of seven digits or more
    // ending the other's) are left out. Each number keeps the text of its first form.
    static std::vector<std::string> SplitWholeNumbers(const std::string& text);

    // The digits that tell one number from another: without "(0)" and leading zeros (a trunk or
    // an international prefix), so that a number's national, international and digits-only
    // forms agree on their tail.
    static std::string NumberKey(const std::string& text);
    // Whether two keys are forms of one number: equal, or the shorter, of `shortestTail` digits
    // or more, ending the longer.
    static bool SameNumberKey(const std::string& key, const std::string& other,
                              std::size_t shortestTail = 7);
};

class EmailUtils {
public:
    // name@domain with one or more dotted labels of at least two word characters after the
    // domain's first label; false for an absent or empty text.
    static bool IsEmailAddress(const OptString& text);
};

class Contact;

// Contact lookups for the conversation views. There are no contact lists to search on this
// path, so every lookup finds nothing; callers skip their contact enrichment then.
class contactsHelper {
public:
    static std::shared_ptr<Contact> FindContactFromConversationContactsListByPhoneNumber(
        const OptString& phoneNumber);
    static std::shared_ptr<Contact> FindContactFromConversationContactsListByName(
        const OptString& name);
    static std::shared_ptr<Contact> FindContactFromContactsListByPhoneNumber(
        const OptString& phoneNumber);
    static std::shared_ptr<Contact> FindContactFromConversationContactsListByEmailAddress(
        const OptString& emailAddress);
    static std::shared_ptr<Contact> FindContactFromContactsListByEmailAddress(
        const OptString& emailAddress);
    static std::shared_ptr<Contact> FindContactFromContactsListByName(const OptString& name);
};

#include "common/PhoneAndEmailUtils.h"

#include "common/StringUtils.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// A pattern compiled once and shared: an ICU RegexPattern is safe to use from several threads,
// each search makes its own matcher.
const icu::RegexPattern& Compile(const char* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    icu::RegexPattern* compiled =
        icu::RegexPattern::compile(icu::UnicodeString(pattern, -1, US_INV), 0, status);
    if (U_FAILURE(status) || !compiled) {
        std::fprintf(stderr, "PhoneAndEmailUtils: bad pattern %s: %s\n", pattern,
                     u_errorName(status));
        std::abort();
    }
    return *compiled;  // lives for the whole process
}

bool Finds(const icu::RegexPattern& pattern, const OptString& text) {
    if (StringUtils::IsNullOrEmpty(text)) return false;
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(*text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(input, status));
    if (U_FAILURE(status) || !matcher) return false;
    const bool found = matcher->find(status);
    return U_SUCCESS(status) && found;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool iPhoneNumberUtils::StartWithPlusSign(const OptString& text) {
    return text && !text->empty() && text->front() == '+';
}

bool iPhoneNumberUtils::IsPhoneNumber(const OptString& text) {
    static const icu::RegexPattern& pattern = Compile("^[0-9\\+\\-\\s]*$");
    return Finds(pattern, text);
}

bool iPhoneNumberUtils::AreEqual(const OptString& number, const OptString& number2) {
    const std::string first = StringUtils::RemoveSpacesAndPhoneBracketZeros(number);
    const std::string second = StringUtils::RemoveSpacesAndPhoneBracketZeros(number2);
    // Too short to tell a prefix from a different number.
    if (icu::UnicodeString::fromUTF8(first).length() < 4) return SameText(number, number2);
    // Nothing left of the other number is no match, not a suffix of everything.
    if (second.empty()) return false;
    return first.size() >= second.size() ? EndsWith(first, second) : EndsWith(second, first);
}

bool EmailUtils::IsEmailAddress(const OptString& text) {
    static const icu::RegexPattern& pattern =
        Compile("^([\\w\\.\\-]+)@([\\w\\-]+)((\\.(\\w){2,})+)$");
    return Finds(pattern, text);
}

std::shared_ptr<Contact> contactsHelper::FindContactFromConversationContactsListByPhoneNumber(
    const OptString&) {
    return nullptr;
}
std::shared_ptr<Contact> contactsHelper::FindContactFromConversationContactsListByName(
    const OptString&) {
    return nullptr;
}
std::shared_ptr<Contact> contactsHelper::FindContactFromContactsListByPhoneNumber(
    const OptString&) {
    return nullptr;
}
std::shared_ptr<Contact> contactsHelper::FindContactFromConversationContactsListByEmailAddress(
    const OptString&) {
    return nullptr;
}
std::shared_ptr<Contact> contactsHelper::FindContactFromContactsListByEmailAddress(
    const OptString&) {
    return nullptr;
}
std::shared_ptr<Contact> contactsHelper::FindContactFromContactsListByName(const OptString&) {
    return nullptr;
}

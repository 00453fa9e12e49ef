#include "common/PhoneAndEmailUtils.h"

#include "common/StringUtils.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <algorithm>
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

namespace {

// The digits of a number's text, "(0)" (a trunk zero written after a country code) left out.
std::string DigitsOf(const std::string& text) {
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "(0)") == 0) {
            i += 2;
            continue;
        }
        if (text[i] >= '0' && text[i] <= '9') digits.push_back(text[i]);
    }
    return digits;
}


// Whether a number ending in these digits is complete: ten digits of a number written without
// "+" or trunk zero, or eleven when they start with the country code 1; eleven after "+1".
bool Complete(const std::string& number, const std::string& digits) {
    if (number.empty()) return false;
    if (number.front() == '+')
        return number.compare(0, 2, "+1") == 0 && digits.size() >= 11;
    if (number.front() == '0') return false;
    return digits.size() == 10 || (digits.size() >= 11 && digits.front() == '1');
}

}  // namespace

std::string iPhoneNumberUtils::NumberKey(const std::string& text) {
    std::string digits = DigitsOf(text);
    digits.erase(0, digits.find_first_not_of('0') == std::string::npos
                        ? digits.size()
                        : digits.find_first_not_of('0'));
    return digits;
}

bool iPhoneNumberUtils::SameNumberKey(const std::string& key, const std::string& other,
                                      std::size_t shortestTail) {
    if (key.empty() || other.empty()) return key == other;
    if (key == other) return true;
    if (key.size() < shortestTail || other.size() < shortestTail) return false;
    return key.size() >= other.size() ? EndsWith(key, other) : EndsWith(other, key);
}

namespace {

constexpr std::size_t kLongestNumber = 15;  // digits of an international number at most
constexpr std::size_t kShortestNumber = 7;

// Splits a run of blank-separated groups without the phone's added forms into numbers, by how
// numbers are written (see SplitWholeNumbers).
void SplitWrittenNumbers(const std::vector<std::string>& tokens, std::size_t from,
                         std::size_t to, std::vector<std::string>& forms) {
    std::string current;
    std::string digits;
    for (std::size_t t = from; t < to; ++t) {
        const std::string& token = tokens[t];
        const std::string tokenDigits = DigitsOf(token);
        // A group of an international number may start with 0 ("+44 20 7946 0958").
        const std::size_t trunkAfter = current.starts_with('+') ? 10 : kShortestNumber;
        const bool starts =
            !current.empty() &&
            (token.front() == '+' || (token.front() == '0' && digits.size() >= trunkAfter) ||
             (digits.size() >= kShortestNumber &&
              (token.front() == '(' || tokenDigits.size() >= kShortestNumber)) ||
             digits.size() + tokenDigits.size() > kLongestNumber ||
             (!tokenDigits.empty() && Complete(current, digits)));
        if (starts) {
            forms.push_back(current);
            current.clear();
            digits.clear();
        }
        if (!current.empty()) current.push_back(' ');
        current += token;
        digits += tokenDigits;
    }
    if (!current.empty()) forms.push_back(current);
}

// A form the phone adds after a number as entered: digits only, "+" before them at most.
bool IsAddedForm(const std::string& token) {
    const std::size_t first = token.starts_with('+') ? 1 : 0;
    return token.size() > first &&
           std::all_of(token.begin() + static_cast<std::ptrdiff_t>(first), token.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Whether an added form of `key` is that number with an international prefix, a country code
// or a trunk zero before it ("+8618305949080" of "183 0594 9080").
bool LongerFormOf(const std::string& form, const std::string& key) {
    constexpr std::size_t kShortestEntered = 5;
    constexpr std::size_t kLongestPrefix = 5;  // "011" and a country code, without its zero
    return key.size() >= kShortestEntered && form.size() >= key.size() &&
           form.size() - key.size() <= kLongestPrefix && EndsWith(form, key);
}

}  // namespace

std::vector<std::string> iPhoneNumberUtils::SplitWholeNumbers(const std::string& text) {
    std::vector<std::string> tokens;
    for (std::size_t from = 0; from <= text.size();) {
        std::size_t blank = text.find(' ', from);
        if (blank == std::string::npos) blank = text.size();
        if (blank > from) tokens.push_back(text.substr(from, blank - from));
        from = blank + 1;
    }
    // The phone writes each number as entered, groups and all, followed by the forms it adds
    // (with country code and international prefixes, with trunk zero, digits only, the last
    // digits): a number as entered is known for certain by the added form that follows it. The
    // number is then the fewest groups from its start whose digits end that form.
    constexpr std::size_t kMostGroups = 8;
    const auto enteredAt = [&](std::size_t at) -> std::size_t {
        std::string digits;
        for (std::size_t last = at; last < tokens.size() && last < at + kMostGroups; ++last) {
            digits += DigitsOf(tokens[last]);
            if (digits.size() > kLongestNumber) return 0;
            if (last + 1 < tokens.size() && IsAddedForm(tokens[last + 1]) &&
                LongerFormOf(NumberKey(tokens[last + 1]), NumberKey(digits)))
                return last - at + 1;
        }
        return 0;
    };
    std::vector<std::string> forms;
    std::size_t unsplit = 0;  // the start of the groups no added form told apart yet
    for (std::size_t at = 0; at < tokens.size();) {
        const std::size_t groups = enteredAt(at);
        if (groups == 0) {
            ++at;
            continue;
        }
        SplitWrittenNumbers(tokens, unsplit, at, forms);
        std::string entered = tokens[at];
        for (std::size_t g = at + 1; g < at + groups; ++g) entered += ' ' + tokens[g];
        forms.push_back(entered);
        // Its added forms: longer ones, and its last digits (seven or more).
        const std::string key = NumberKey(entered);
        at += groups;
        while (at < tokens.size() && IsAddedForm(tokens[at])) {
            const std::string form = NumberKey(tokens[at]);
            if (form != key && !LongerFormOf(form, key) &&
                !(form.size() >= kShortestNumber && EndsWith(key, form)))
                break;
            ++at;
        }
        unsplit = at;
    }
    SplitWrittenNumbers(tokens, unsplit, tokens.size(), forms);

    std::vector<std::string> numbers;
    std::vector<std::string> keys;
    for (const std::string& form : forms) {
        const std::string key = NumberKey(form);
        bool known = false;
        for (const std::string& other : keys) known = known || SameNumberKey(key, other);
        if (known && !key.empty()) continue;
        numbers.push_back(form);
        keys.push_back(key);
    }
    return numbers;
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

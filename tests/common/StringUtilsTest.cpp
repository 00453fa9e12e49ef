#include "common/ApplicationDetailsUtil.h"
#include "common/NSStringUtils.h"
#include "common/PhoneAndEmailUtils.h"
#include "common/StringUtils.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cctype>
#include <climits>
#include <thread>
#include <vector>

namespace {

const OptString kAbsent = std::nullopt;

TEST(StringUtils, IsNullOrEmptyTellsAbsentAndEmptyFromBlanks) {
    EXPECT_TRUE(StringUtils::IsNullOrEmpty(kAbsent));
    EXPECT_TRUE(StringUtils::IsNullOrEmpty(std::string()));
    EXPECT_FALSE(StringUtils::IsNullOrEmpty(std::string(" ")));
    EXPECT_FALSE(StringUtils::IsNullOrEmpty(std::string("x")));
    EXPECT_EQ(StringUtils::NullToEmpty(kAbsent), "");
    EXPECT_EQ(StringUtils::NullToEmpty(std::string(" a ")), " a ");
}

TEST(StringUtils, FormatAbMultiValueLabel) {
    const struct {
        OptString label;
        std::string expected;
    } cases[] = {
        {kAbsent, "Other"},
        {"", "Other"},
        {"_$!<Mobile>!$_", "Mobile"},
        {"_$!<HomeFAX>!$_", "HomeFAX"},
        {"Work", "Work"},
        {" ", " "},
        {"_$!<>!$_", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StringUtils::FormatAbMultiValueLabel(c.label), c.expected)
            << c.label.value_or("<absent>");
}

TEST(StringUtils, RemoveSpacesAndPhoneBracketZeros) {
    const struct {
        OptString number;
        std::string expected;
    } cases[] = {
        {kAbsent, ""},
        {"", ""},
        {"   ", ""},
        {"+49 (0)30 1234567", "+49301234567"},
        {"030 1234567", "301234567"},
        {"0049 30 1234567", "049301234567"},  // one leading zero only
        {"0", ""},
        {"(0)", ""},
        {"12\t34", "12\t34"},  // only blanks go
    };
    for (const auto& c : cases)
        EXPECT_EQ(StringUtils::RemoveSpacesAndPhoneBracketZeros(c.number), c.expected)
            << c.number.value_or("<absent>");
    EXPECT_EQ(StringUtils::RemoveSpaces(" a b  c\t"), "abc\t");
}

TEST(StringUtils, BytesToStringUsesWholeUnitsOf1024) {
    const struct {
        std::int64_t bytes;
        OptString expected;
    } cases[] = {
        {-5, "-5B"},
        {INT64_MIN, "-9223372036854775808B"},
        {0, "0B"},
        {1023, "1023B"},
        {1024, "1KB"},
        {1048575, "1023KB"},
        {1048576, "1MB"},
        {1073741823, "1023MB"},
        {1073741824, "1GB"},
        {1099511599999, "1023GB"},
        {1099511600000, std::nullopt},
        {INT64_MAX, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StringUtils::BytesToString(c.bytes), c.expected) << c.bytes;
}

TEST(StringUtils, ClearUrlShortensForDisplay) {
    const struct {
        OptString url;
        OptString expected;
    } cases[] = {
        {kAbsent, std::nullopt},
        {"http://www.example.com/path/page.html", "www.example.com"},
        {"https://a.example.org/x?y=1", "a.example.org"},
        {"http://a.example.org?y=1", "a.example.org"},
        {"http://short.io", "http://short.io"},  // short and without a path: unchanged
        {"abcdefghijklmnopqrst", "abcdefghijklmno"},
        {"https://www.example-site.com", "www.example-sit"},
        // Fifteen UTF-16 units, not bytes.
        {"\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac"
         "\u20ac\u20ac",
         "\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac"
         "\u20ac"},
        // A character of two units straddling the cut is left out whole.
        {"aaaaaaaaaaaaaa\U0001F600bb", "aaaaaaaaaaaaaa"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StringUtils::ClearUrl(c.url), c.expected) << c.url.value_or("<absent>");
}

TEST(StringUtils, HexFormatting) {
    EXPECT_EQ(NSDataToHex({}), "");
    EXPECT_EQ(NSDataToHex({0x00, 0x0f, 0xa5, 0xff}), "000FA5FF");
    EXPECT_EQ(StringUtils::ByteArrayToString({0x01, 0xab}), "01AB");
    const std::string digits = "0123456789ABCDEF";
    for (unsigned v = 0; v < 16; ++v) EXPECT_EQ(itoh(v), digits[v]);

    // One UTF-16 unit each, surrogate pairs as two units.
    EXPECT_EQ(StringUtils::stringToHex(""), "");
    EXPECT_EQ(StringUtils::stringToHex("AB\n"), "41420a");
    EXPECT_EQ(StringUtils::stringToHex("\u20ac"), "20ac");
    EXPECT_EQ(StringUtils::stringToHex("\U0001F600"), "d83dde00");
}

TEST(StringUtils, GetStringFromObjectGivesColumnValuesAsText) {
    EXPECT_EQ(StringUtils::getStringFromObject(ColumnValue::Null()), std::nullopt);
    EXPECT_EQ(StringUtils::getStringFromObject(ColumnValue("abc")), "abc");
    EXPECT_EQ(StringUtils::getStringFromObject(ColumnValue("")), "");
    EXPECT_EQ(StringUtils::getStringFromObject(ColumnValue(std::int64_t{-42})), "-42");
    EXPECT_EQ(StringUtils::getStringFromObject(ColumnValue(1.5)), "1.5");
    EXPECT_EQ(StringUtils::getStringFromObject(ColumnValue(3.0)), "3");
}

TEST(StringUtils, IndexOfFindsTheLastOccurrenceInUtf16Units) {
    const struct {
        OptString text;
        OptString part;
        std::int64_t expected;
    } cases[] = {
        {"a@b@c", "@", 3},
        {"aaa", "aa", 1},
        {"abc", "abc", 0},
        {"\u20ac\u20ac@x", "@", 2},  // bytes would say 6
        {"\U0001F600@", "@", 2},
        {"abc", "x", StringUtils::kNotFound},
        {"abc", "", StringUtils::kNotFound},
        {"abc", kAbsent, StringUtils::kNotFound},
        {kAbsent, "a", StringUtils::kNotFound},
        {"", "a", StringUtils::kNotFound},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StringUtils::indexOf(c.text, c.part), c.expected)
            << c.text.value_or("<absent>") << " / " << c.part.value_or("<absent>");
    EXPECT_EQ(StringUtils::kNotFound, INT64_MAX);
}

TEST(NSStringUtils, TrimAndIsEmpty) {
    const struct {
        OptString text;
        OptString trimmed;
        bool empty;
    } cases[] = {
        {kAbsent, std::nullopt, false},
        {"", "", true},
        {" \t\r\n", "", true},
        {"  a b \n\t", "a b", false},
        {"\u00a0x\u3000\u2028", "x", false},  // Unicode spaces and line separators
        {"x", "x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NSStringUtils::Trim(c.text), c.trimmed) << c.text.value_or("<absent>");
        EXPECT_EQ(NSStringUtils::isEmpty(c.text), c.empty) << c.text.value_or("<absent>");
    }
}

TEST(NSStringUtils, EncodeAsURIComponentEscapesAllButAlphanumericsDashAndUnderscore) {
    EXPECT_EQ(NSStringUtils::encodeAsURIComponent("aZ09-_"), "aZ09-_");
    EXPECT_EQ(NSStringUtils::encodeAsURIComponent("a.b~c d/\u00e9"), "a%2Eb%7Ec%20d%2F%C3%A9");
    EXPECT_EQ(NSStringUtils::encodeAsURIComponent(""), "");
}

TEST(NSStringUtils, Base64Encode) {
    const struct {
        OptString text;
        std::string expected;
    } cases[] = {
        {kAbsent, ""},
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foobar", "Zm9vYmFy"},
        {"\u00e9?>", "w6k/Pg=="},
    };
    for (const auto& c : cases) EXPECT_EQ(NSStringUtils::base64encode(c.text), c.expected);
}

TEST(NSStringUtils, DecodeBase64ReadsWholeGroupsWithEitherLastCharacter) {
    struct Case {
        OptString text;
        OptString decoded;
    };
    const Case cases[] = {
        {std::string("SGFsbG8gV2VsdA=="), std::string("Hallo Welt")},
        {std::string("SGFsbG8gV2VsdA==xy"), std::string("Hallo Welt")},  // a cut-off group
        {std::string("w7w-"), std::string("\xC3\xBC?")},  // "-" is the 64th character
        {std::string("w7w/"), std::string("\xC3\xBC?")},
        {std::string("abc"), std::string("")},
        {std::string(""), std::string("")},
        {std::string("/w=="), std::nullopt},  // 0xFF is no UTF-8
        {std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.value_or("<absent>"));
        EXPECT_EQ(NSStringUtils::decodeBase64(c.text), c.decoded);
    }
}

TEST(NSStringUtils, LocalizedStringKnowsTheApplicationsOwnKeys) {
    EXPECT_EQ(NSStringUtils::localizedString("CFBundleName"), "Torvane");
    EXPECT_EQ(NSStringUtils::localizedString("CFBundleDisplayName"), "Torvane");
    EXPECT_EQ(NSStringUtils::localizedString("CFBundleShortVersionString"),
              ApplicationDetailsUtil::getApplicationVersion());
    EXPECT_EQ(NSStringUtils::localizedString("CFBundleVersion"),
              ApplicationDetailsUtil::getBuildNumber());
    EXPECT_FALSE(NSStringUtils::localizedString("NSHumanReadableCopyright"));
    EXPECT_FALSE(NSStringUtils::localizedString(""));
}

TEST(NSStringUtils, HtmlEscapes) {
    EXPECT_EQ(NSStringUtils::escapeHTML("<a href=\"x\">&</a>"),
              "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;", "<a href=\"x\">&</a>"},
        {"&amp;lt;", "&lt;"},  // one pass only
        {"a & b &nbsp; &", "a & b &nbsp; &"},
        {"&lt", "&lt"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NSStringUtils::unescapeHTML(c.text), c.expected) << c.text;
}

TEST(NSStringUtils, FilterType) {
    const std::string digits = "0123456789";
    EXPECT_TRUE(NSStringUtils::filterType("123", digits, "1a2b3", 3, 10));
    EXPECT_FALSE(
        NSStringUtils::filterType("123", digits, "1a2b3", 10, 10));  // length must stay below
    EXPECT_FALSE(NSStringUtils::filterType("12", digits, "123", 2, 10));
    EXPECT_TRUE(NSStringUtils::filterType("\u00e9\u00e9", "\u00e9", "x\u00e9y\u00e9", 2, 3));
}

TEST(NSStringUtils, GenerateUUIDGivesFreshCanonicalUpperCaseIds) {
    const OptString first = NSStringUtils::generateUUID();
    const OptString second = NSStringUtils::generateUUID();
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    ASSERT_EQ(first->size(), 36u);
    for (std::size_t i = 0; i < first->size(); ++i) {
        const char c = (*first)[i];
        if (i == 8 || i == 13 || i == 18 || i == 23)
            EXPECT_EQ(c, '-');
        else
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F'))
                << *first;
    }
    EXPECT_EQ((*first)[14], '4');
}

TEST(iPhoneNumberUtils, StartWithPlusSign) {
    EXPECT_TRUE(iPhoneNumberUtils::StartWithPlusSign(std::string("+4930")));
    EXPECT_FALSE(iPhoneNumberUtils::StartWithPlusSign(std::string("4930+")));
    EXPECT_FALSE(iPhoneNumberUtils::StartWithPlusSign(std::string("")));
    EXPECT_FALSE(iPhoneNumberUtils::StartWithPlusSign(kAbsent));
}

TEST(iPhoneNumberUtils, IsPhoneNumber) {
    const struct {
        OptString text;
        bool expected;
    } cases[] = {
        {"+49 30-123 456", true},
        {"12345", true},
        {"+1\t555\n1234", true},
        {" ", true},
        {"123a", false},
        {"(030) 123", false},
        {"\u0661\u0662\u0663", false},  // digits of other scripts are not [0-9]
        {"john@example.com", false},
        {"", false},
        {kAbsent, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(iPhoneNumberUtils::IsPhoneNumber(c.text), c.expected)
            << c.text.value_or("<absent>");
}

TEST(iPhoneNumberUtils, AreEqualIsLooseAboutPrefixesAndFormatting) {
    const struct {
        OptString a;
        OptString b;
        bool expected;
    } cases[] = {
        {"030 1234567", "+49 (0)30 1234567", true},
        {"+49 (0)30 1234567", "030 1234567", true},
        {"+49 30 1234567", "0301234567", true},
        {"5551234", "5551234", true},
        {"5551234", "5551235", false},
        {"1234", "91234", true},
        // A short first number is compared exactly, before cleaning.
        {"112", "112", true},
        {"112", "0112", false},
        {"0112", "112", false},
        {"1 12", "112", false},
        // Nothing left of the second number is not a match.
        {"12345", "", false},
        {"12345", " (0) ", false},
        {"12345", kAbsent, false},
        {kAbsent, kAbsent, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(iPhoneNumberUtils::AreEqual(c.a, c.b), c.expected)
            << c.a.value_or("<absent>") << " vs " << c.b.value_or("<absent>");
}

TEST(EmailUtils, IsEmailAddress) {
    const struct {
        OptString text;
        bool expected;
    } cases[] = {
        {"john.doe@example.com", true},
        {"first-last_1@my-host.de", true},
        {"a@b.co", true},
        {"a@b.info", true},  // long top-level domains are addresses
        {"a@b.email", true},
        {"a@sub.example.co.uk", true},
        {"a@b", false},
        {"a@b.c", false},
        {"a@b.co.x", false},
        {"a@b.com.", false},
        {"a@.com", false},
        {"@b.com", false},
        {"a@b@c.com", false},
        {"a b@c.com", false},
        {"+4930123456", false},
        {"", false},
        {kAbsent, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EmailUtils::IsEmailAddress(c.text), c.expected) << c.text.value_or("<absent>");
}

TEST(EmailUtils, PatternsServeSeveralThreadsAtOnce) {
    std::atomic<int> wrong{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&wrong] {
                for (int i = 0; i < 200; ++i) {
                    if (!EmailUtils::IsEmailAddress(std::string("user") + std::to_string(i) +
                                                    "@example.com"))
                        ++wrong;
                    if (!iPhoneNumberUtils::IsPhoneNumber("+49 " + std::to_string(i))) ++wrong;
                    if (EmailUtils::IsEmailAddress(std::to_string(i))) ++wrong;
                }
            });
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(contactsHelper, LookupsFindNothing) {
    const OptString key = std::string("+49301234567");
    EXPECT_EQ(contactsHelper::FindContactFromConversationContactsListByPhoneNumber(key), nullptr);
    EXPECT_EQ(contactsHelper::FindContactFromConversationContactsListByName(key), nullptr);
    EXPECT_EQ(contactsHelper::FindContactFromContactsListByPhoneNumber(key), nullptr);
    EXPECT_EQ(contactsHelper::FindContactFromConversationContactsListByEmailAddress(key), nullptr);
    EXPECT_EQ(contactsHelper::FindContactFromContactsListByEmailAddress(key), nullptr);
    EXPECT_EQ(contactsHelper::FindContactFromContactsListByName(key), nullptr);
}

}  // namespace

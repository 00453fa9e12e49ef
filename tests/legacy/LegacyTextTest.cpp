// The decoding of texts taken from raw record bytes.

#include "legacy/LegacyText.h"

#include <gtest/gtest.h>

#include <string>

TEST(LegacyText, Iso2022JpDecodesOrReplacesOrRefusesByMode) {
    // "日本" in ISO-2022-JP: ESC $ B, two JIS X 0208 pairs, ESC ( B.
    const std::string japanese = "\x1B$BF|K\\\x1B(B";
    const std::string broken = "ok \x1B$B\xFF\xFE";
    struct Case {
        std::string bytes;
        OptString noText, replaced;
    };
    const Case cases[] = {
        {"plain text", "plain text", "plain text"},
        {japanese, "日本", "日本"},
        {"", "", ""},
        {broken, std::nullopt, std::nullopt},  // replaced: checked below
    };
    Iso2022JpText strict;
    Iso2022JpText lenient(Iso2022JpText::OnBadBytes::Replace);
    for (const Case& c : cases) {
        EXPECT_EQ(strict.decode(c.bytes), c.noText) << c.bytes;
        if (c.replaced) {
            EXPECT_EQ(lenient.decode(c.bytes), c.replaced) << c.bytes;
        }
    }
    const OptString replaced = lenient.decode(broken);
    ASSERT_TRUE(replaced);
    EXPECT_NE(replaced->find("\xEF\xBF\xBD"), std::string::npos);
    // The converter is reset between texts: a text left in the two-byte set does not carry over.
    EXPECT_EQ(strict.decode("\x1B$BF|"), "日");
    EXPECT_EQ(strict.decode("ab"), "ab");
}

TEST(LegacyText, AsciiAndUtf8Checks) {
    EXPECT_EQ(DecodeAscii("abc 123"), "abc 123");
    EXPECT_EQ(DecodeAscii("caf\xC3\xA9"), std::nullopt);
    const std::pair<std::string, bool> utf8[] = {
        {"", true},           {"caf\xC3\xA9", true},   {"\xF0\x9F\x98\x8D", true},
        {"\xC0\xAF", false},  {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false},
        {"\xE6\x97", false},  {"\x80", false},
    };
    for (const auto& [text, valid] : utf8) EXPECT_EQ(IsValidUtf8(text), valid) << text;
}

#include "common/Base64.h"
#include "common/Gzip.h"
#include "common/SHA1Util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
    return bytes;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

}  // namespace

// ---- SHA-1 backup names ----

TEST(SHA1Util, HashesUtf8BytesAsLowerCaseHex) {
    struct Case {
        std::string text;
        const char* hash;
    };
    const Case cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"HomeDomain-Library/SMS/sms.db", "3d0d7e5fb2ce288813306e4d4636395e047a3d28"},
        {"HomeDomain-Library/AddressBook/AddressBook.sqlitedb",
         "31bb7ba8914766d4ba40d6dfb6113c8b614be442"},
        {"HomeDomain-Library/CallHistory/call_history.db",
         "ff1324e6b949111b2fb449ecddb50c89c3699a78"},
        {"HomeDomain-Library/Notes/notes.sqlite", "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c"},
        {"HomeDomain-Library/Calendar/Calendar.sqlitedb",
         "2041457d5fe04d39d0ab481178355df6781e6858"},
        {"CameraRollDomain-Media/DCIM/100APPLE/IMG_0001.JPG",
         "343e26971dfe9c395c425c0ccf799df63ae6261e"},
        {"Grüße, 東京", "be4317d3f65b81a6f98bf8962629bfbad30a3ed8"},
        // Hashed as a C string: nothing from the first zero byte on counts.
        {std::string("abc\0def", 7), "a9993e364706816aba3e25717850c26c9cd0d89d"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SHA1Util::SHA1HashStringForUTF8String(c.text), c.hash) << c.text;
    }
}

// ---- Base64 ----

TEST(Base64, EncodesAndDecodesTheStandardVectors) {
    struct Case {
        const char* plain;
        const char* encoded;
    };
    const Case cases[] = {
        {"f", "Zg=="},        {"fo", "Zm8="},        {"foo", "Zm9v"},        {"abc", "YWJj"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plain);
        EXPECT_EQ(Base64::base64EncodedString(bytesOf(c.plain)), c.encoded);
        EXPECT_EQ(Base64::base64EncodedString(std::string_view(c.plain)), c.encoded);
        EXPECT_EQ(Base64::dataWithBase64EncodedString(std::string(c.encoded)), bytesOf(c.plain));
        EXPECT_EQ(Base64::stringWithBase64EncodedString(std::string(c.encoded)), c.plain);
        EXPECT_EQ(Base64::base64DecodedString(c.encoded), c.plain);
        EXPECT_EQ(Base64::base64DecodedData(c.encoded), bytesOf(c.plain));
    }
}

TEST(Base64, NothingToEncodeGivesNone) {
    EXPECT_FALSE(Base64::base64EncodedString(Bytes{}).has_value());
    EXPECT_FALSE(Base64::base64EncodedString(std::string_view("")).has_value());
    EXPECT_FALSE(Base64::base64EncodedStringWithWrapWidth(Bytes{}, 76).has_value());
}

TEST(Base64, EveryByteValueSurvivesARoundTripAtAnyWidth) {
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    for (unsigned width : {0u, 4u, 10u, 64u, 76u, 1000u}) {
        const OptString text = Base64::base64EncodedStringWithWrapWidth(all, width);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(Base64::dataWithBase64EncodedString(text), all) << "width " << width;
    }
}

TEST(Base64, WrapsIntoWholeGroupsOfFourWithoutATrailingLineEnd) {
    const Bytes data = randomBytes(75, 7);  // 100 characters of Base64
    const std::string oneLine = *Base64::base64EncodedString(data);
    ASSERT_EQ(oneLine.size(), 100u);

    struct Case {
        unsigned width;
        std::vector<std::size_t> lineLengths;
    };
    const Case cases[] = {
        {0, {100}},
        {100, {100}},
        {250, {100}},
        {99, {96, 4}},
        {10, {8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 4}},
        {76, {76, 24}},
        {64, {64, 36}},
        {4, std::vector<std::size_t>(25, 4)},
        // Widths below one group still give whole groups rather than empty lines.
        {1, std::vector<std::size_t>(25, 4)},
        {3, std::vector<std::size_t>(25, 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        const OptString wrapped = Base64::base64EncodedStringWithWrapWidth(data, c.width);
        ASSERT_TRUE(wrapped.has_value());
        const std::vector<std::string> lines = splitLines(*wrapped);
        std::vector<std::size_t> lengths;
        std::string joined;
        for (const std::string& line : lines) {
            lengths.push_back(line.size());
            joined += line;
        }
        EXPECT_EQ(lengths, c.lineLengths);
        EXPECT_EQ(joined, oneLine);
    }
}

TEST(Base64, StringFormWrapsItsUtf8Bytes) {
    const std::string text = "Grüße aus dem Süden, 東京 und zurück";
    const OptString wrapped = Base64::base64EncodedStringWithWrapWidth(text, 8);
    ASSERT_TRUE(wrapped.has_value());
    EXPECT_NE(wrapped->find("\r\n"), std::string::npos);
    EXPECT_EQ(Base64::base64DecodedString(*wrapped), text);
}

TEST(Base64, DecodingSkipsLineBreaksBlanksAndOtherForeignCharacters) {
    const Bytes expected = bytesOf("foobar");
    for (const char* text :
         {"Zm9vYmFy", "Zm9v\r\nYmFy", "Zm9v\nYmFy\n", " Z m 9 v\tY m F y ", "Zm9v*YmFy!"}) {
        EXPECT_EQ(Base64::dataWithBase64EncodedString(std::string(text)), expected) << text;
    }
    EXPECT_EQ(Base64::dataWithBase64EncodedString(std::string("Zg\r\n==")), bytesOf("f"));
}

TEST(Base64, TextsThatDoNotDecodeGiveNone) {
    EXPECT_FALSE(Base64::dataWithBase64EncodedString(std::nullopt).has_value());
    EXPECT_FALSE(Base64::stringWithBase64EncodedString(std::nullopt).has_value());
    for (const char* text : {
             "",           // empty
             "!!!! \r\n",  // nothing left after skipping
             "Zg=",        // incomplete group
             "Zm8",        // missing padding
             "Z",          // a lone character
             "=",          // padding alone
             "====",       // a group of padding only
             "Z===",       // padding too early in its group
             "Zg=A",       // data after padding
             "Zg==Zg==",   // a group after a padded one
             "Zm9v=",      // padding starting a group
         }) {
        EXPECT_FALSE(Base64::dataWithBase64EncodedString(std::string(text)).has_value()) << text;
        EXPECT_FALSE(Base64::base64DecodedString(text).has_value()) << text;
    }
}

TEST(Base64, StringDecodingRequiresValidUtf8) {
    struct Case {
        const char* encoded;
        OptString expected;
    };
    const Case cases[] = {
        {"w5w=", std::string("Ü")}, {"AA==", std::string(1, '\0')},  // a zero byte is valid UTF-8
        {"/w==", std::nullopt},                                      // 0xFF
        {"wg==", std::nullopt},  // a lead byte without its continuation
        {"7aCA", std::nullopt},  // an encoded surrogate
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Base64::stringWithBase64EncodedString(std::string(c.encoded)), c.expected)
            << c.encoded;
    }
    // The bytes themselves are still there for whoever wants them.
    EXPECT_EQ(Base64::base64DecodedData("/w=="), (Bytes{0xFF}));
}

// ---- gzip ----

TEST(GZIP, RecognisesTheGzipMagicNumber) {
    struct Case {
        Bytes data;
        bool gzipped;
    };
    const Case cases[] = {
        {{}, false},           {{0x1F}, false},
        {{0x1F, 0x8B}, true},  {{0x1F, 0x8B, 0x08, 0x00}, true},
        {{0x8B, 0x1F}, false}, {{0x78, 0x9C, 0x01}, false},  // a zlib stream
    };
    for (const Case& c : cases) EXPECT_EQ(GZIP::isGzippedData(c.data), c.gzipped) << c.data.size();
}

TEST(GZIP, CompressedDataComesBackWhole) {
    Bytes mixed = randomBytes(50000, 3);
    const Bytes zeros(5 * 1024 * 1024, 0);  // tiny compressed, so the output buffer must grow often
    mixed.insert(mixed.end(), zeros.begin(), zeros.begin() + 50000);
    const Bytes inputs[] = {bytesOf("hello, world"), Bytes{0x00}, randomBytes(300000, 1), zeros,
                            mixed};
    for (const Bytes& input : inputs) {
        SCOPED_TRACE(input.size());
        const std::optional<Bytes> packed = GZIP::gzippedData(input);
        ASSERT_TRUE(packed.has_value());
        EXPECT_TRUE(GZIP::isGzippedData(*packed));
        EXPECT_EQ(GZIP::gunzippedData(*packed), input);
    }
}

TEST(GZIP, LevelIsAFractionOfTheStrongest) {
    const Bytes input(200000, 'a');
    // zlib marks the strongest level with extra flags 2 and the fastest (0 and 1) with 4.
    struct Case {
        float level;
        int extraFlags;
    };
    const Case cases[] = {
        {-1.0f, 0}, {-0.25f, 0}, {-std::numeric_limits<float>::infinity(), 0}, {0.0f, 4}, {0.1f, 4},
        {0.5f, 0},  {0.2f, 0},   // 1.8 rounds to 2, not down to 1
        {0.95f, 2},              // 8.55 rounds to 9
        {1.0f, 2},  {1.05f, 2},  // 9.45 rounds to 9
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        const std::optional<Bytes> packed = GZIP::gzippedDataWithCompressionLevel(input, c.level);
        ASSERT_TRUE(packed.has_value());
        ASSERT_GT(packed->size(), 9u);
        EXPECT_EQ((*packed)[8], c.extraFlags);
        EXPECT_EQ(GZIP::gunzippedData(*packed), input);
    }
    // Level 0 only stores; the strongest level packs a run of one letter into almost nothing.
    EXPECT_GT(GZIP::gzippedDataWithCompressionLevel(input, 0.0f)->size(), input.size());
    EXPECT_LT(GZIP::gzippedDataWithCompressionLevel(input, 1.0f)->size(), input.size() / 100);
}

TEST(GZIP, LevelAboveTheStrongestOrNotANumberGivesNone) {
    const Bytes input = bytesOf("some text to pack");
    for (float level : {1.06f, 1.2f, 2.0f, std::numeric_limits<float>::infinity(),
                        std::numeric_limits<float>::quiet_NaN()}) {
        EXPECT_FALSE(GZIP::gzippedDataWithCompressionLevel(input, level).has_value()) << level;
    }
}

TEST(GZIP, EmptyOrAlreadyGzippedDataIsNotPackedAgain) {
    EXPECT_EQ(GZIP::gzippedData(Bytes{}), Bytes{});
    const Bytes packed = *GZIP::gzippedData(bytesOf("once is enough"));
    EXPECT_EQ(GZIP::gzippedData(packed), packed);
    EXPECT_EQ(GZIP::gzippedDataWithCompressionLevel(packed, 1.0f), packed);
}

TEST(GZIP, DataThatIsNotGzipComesBackUnchanged) {
    const Bytes inputs[] = {Bytes{}, Bytes{0x1F}, bytesOf("plain text"),
                            Bytes{0x78, 0x9C, 0x4B, 0x04, 0x00}};
    for (const Bytes& input : inputs) EXPECT_EQ(GZIP::gunzippedData(input), input) << input.size();
}

TEST(GZIP, DamagedOrTruncatedStreamsGiveNone) {
    const Bytes input = randomBytes(20000, 9);
    const Bytes packed = *GZIP::gzippedData(input);
    struct Case {
        const char* what;
        Bytes data;
    };
    std::vector<Case> cases;
    cases.push_back({"header only", Bytes(packed.begin(), packed.begin() + 10)});
    cases.push_back({"cut in half",
                     Bytes(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2))});
    cases.push_back({"trailer cut short", Bytes(packed.begin(), packed.end() - 1)});
    cases.push_back({"trailer missing", Bytes(packed.begin(), packed.end() - 8)});
    Bytes badChecksum = packed;
    badChecksum[packed.size() - 8] ^= 0x01;
    cases.push_back({"wrong checksum", badChecksum});
    Bytes badLength = packed;
    badLength[packed.size() - 1] ^= 0x01;
    cases.push_back({"wrong length", badLength});
    Bytes badMethod = packed;
    badMethod[2] = 0x07;
    cases.push_back({"unknown method", badMethod});
    Bytes flipped = packed;
    flipped[packed.size() / 2] ^= 0xFF;
    cases.push_back({"damaged body", flipped});
    for (const Case& c : cases) EXPECT_FALSE(GZIP::gunzippedData(c.data).has_value()) << c.what;
}

TEST(GZIP, OutputBeyondTheLimitIsRefused) {
    const Bytes input(1024 * 1024, 0);
    const Bytes packed = *GZIP::gzippedData(input);
    ASSERT_LT(packed.size(), 8192u);
    EXPECT_EQ(GZIP::gunzippedData(packed, input.size()), input);
    EXPECT_FALSE(GZIP::gunzippedData(packed, input.size() - 1).has_value());
    EXPECT_FALSE(GZIP::gunzippedData(packed, 64 * 1024).has_value());
    EXPECT_FALSE(GZIP::gunzippedData(packed, 0).has_value());
}

TEST(GZIP, ConsecutiveMembersAreAllDecodedAndTrailingBytesIgnored) {
    Bytes twoMembers = *GZIP::gzippedData(bytesOf("first part, "));
    const Bytes second = *GZIP::gzippedData(bytesOf("second part"));
    twoMembers.insert(twoMembers.end(), second.begin(), second.end());
    EXPECT_EQ(GZIP::gunzippedData(twoMembers), bytesOf("first part, second part"));

    Bytes padded = *GZIP::gzippedData(bytesOf("content"));
    padded.insert(padded.end(), {0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(GZIP::gunzippedData(padded), bytesOf("content"));
}

TEST(GZipUtil, DecodesNothing) {
    const Bytes packed = *GZIP::gzippedData(bytesOf("anything"));
    EXPECT_FALSE(GZipUtil().GunzippedData(packed).has_value());
    EXPECT_FALSE(GZipUtil().GunzippedData(Bytes{}).has_value());
}

// The engine's small helpers: the nine-byte varint window and its neighbours, the header and
// GUID estimates, the sequence read through the file's own pages, and reachability.

#include "CarvingTestSupport.h"
#include "carving/AbstractSqLiteRecovery.h"
#include "carving/SQLiteSignature.h"
#include "carving/SQLiteUtils.h"
#include "carving/SqLiteTableSignatures.h"
#include "carving/SqLiteTableSignaturesParser.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <optional>
#include <string>

using carvingtest::TestRecoverer;
using testsupport::FixtureDatabase;
using testsupport::TempDir;

namespace {

ByteView View(const Bytes& b) { return ByteView(b.data(), b.size()); }

// A TCP listener on 127.0.0.1 (an ephemeral port) that accepts nothing itself: the kernel
// completes connections to its backlog.
class LoopbackListener {
public:
    LoopbackListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ADD_FAILURE() << "no loopback listener";
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace

TEST(VarintWindow, NeedsNineBytesFromTheIndex) {
    const Bytes nine = {0x81, 0x00, 0, 0, 0, 0, 0, 0, 0};
    auto v = SQLiteUtils::convertVarintToIntfromByteArray(View(nine), 0);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->value, 128);
    EXPECT_EQ(v->position, 2);
    // The varint would end inside the data, but the window of nine does not fit.
    EXPECT_FALSE(SQLiteUtils::convertVarintToIntfromByteArray(View(nine), 1));
    EXPECT_FALSE(SQLiteUtils::convertVarintToIntfromByteArray(View(nine), -1));
    const Bytes ten = {0x55, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    v = SQLiteUtils::convertVarintToIntfromByteArray(View(ten), 1);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->value, -1);  // the ninth byte gives all eight bits
    EXPECT_EQ(v->position, 9);
    // Without an index: the varint at the start, however short the data.
    v = SQLiteUtils::convertVarintToIntfromByteArray(View(Bytes{0x82, 0x01}));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->value, 257);
    EXPECT_FALSE(SQLiteUtils::convertVarintToIntfromByteArray(View(Bytes{0x82})));
}

TEST(VarintWindow, DecodeVarintStopsWhereTheBytesEnd) {
    const std::uint8_t bytes[] = {0x81, 0x82, 0x03, 0x7F};
    EXPECT_EQ(decodeVarint(bytes, 4), (1u << 14) | (2u << 7) | 3u);
    EXPECT_EQ(decodeVarint(bytes, 2), (1u << 7) | 2u);  // what the two bytes gave
    EXPECT_EQ(decodeVarint(bytes, 0), 0u);
    EXPECT_EQ(decodeVarint(bytes, 256), 0u);  // a one-byte count: 256 is none
    EXPECT_EQ(decodeVarint(bytes, 257), 1u);
    EXPECT_EQ(decodeVarint(nullptr, 3), 0u);
}

TEST(ByteHelpers, BitsAndSixteenBitValues) {
    EXPECT_NE(SQLiteUtils::isBitSet(0x05, 0), 0);
    EXPECT_EQ(SQLiteUtils::isBitSet(0x05, 1), 0);
    EXPECT_EQ(SQLiteUtils::isBitSet(0x80, 7), static_cast<std::int8_t>(0x80));
    EXPECT_EQ(SQLiteUtils::isBitSet(0xFF, 8), 0);
    EXPECT_EQ(SQLiteUtils::isBitSet(0xFF, -1), 0);
    const Bytes data = {0x12, 0x34, 0x56};
    EXPECT_EQ(SQLiteUtils::convertTo16BitInt(View(data), 1), 0x3456);
    EXPECT_FALSE(SQLiteUtils::convertTo16BitInt(View(data), 2));
}

// A value read into a text field: texts and numbers as text, a blob's bytes when they are UTF-8.
TEST(EngineHelpers, TheTextOfAValue) {
    const std::pair<ColumnValue, OptString> cases[] = {
        {ColumnValue("+4917012700003"), "+4917012700003"},
        {ColumnValue(42), "42"},
        {ColumnValue(Bytes{'+', '4', '9', '1', '7'}), "+4917"},
        {ColumnValue(Bytes{0x4B, 0xC3, 0xB6, 0x6C, 0x6E}), "K\u00f6ln"},
        {ColumnValue(Bytes{}), ""},
        // Not UTF-8: a lone continuation byte, a cut sequence, an overlong form.
        {ColumnValue(Bytes{'1', 0x80, '2'}), std::nullopt},
        {ColumnValue(Bytes{'1', 0xE2, 0x82}), std::nullopt},
        {ColumnValue(Bytes{0xC0, 0xAF}), std::nullopt},
        {ColumnValue(), std::nullopt},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(AbstractSqLiteRecovery::getStringFromValue(value), text)
            << value.toText().value_or("(absent)");
}

TEST(EngineEstimates, HeaderSizeByPosition) {
    struct Case {
        std::vector<std::vector<std::int32_t>> positions;
        std::int32_t size;
    };
    const Case cases[] = {
        {{}, 0},
        {{{1}, {13, 1}, {-1}}, 3},  // a type below 11 anywhere in a position: one byte
        {{{13}, {-2, 15}}, 3},      // -2 is below 11
        {{{13, 15}}, 2},
        {{{}, {13}}, 2},            // an empty first position adds nothing
        {{{13}, {}, {}, {1}}, 7},   // empty positions repeat the one before
    };
    for (const Case& c : cases) EXPECT_EQ(AbstractSqLiteRecovery::headerSize(c.positions), c.size);
    EXPECT_EQ(AbstractSqLiteRecovery::experimentalHeaderParsing({}, 3, {}), 0);
    EXPECT_EQ(AbstractSqLiteRecovery::GetContentSizeColumn(2, 23), 0);
}

TEST(EngineEstimates, GuidContentStartsEightBeforeItsFirstHyphen) {
    const std::string guid = "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";
    const std::string text = "xyz" + guid + "tail";
    const Bytes bytes(text.begin(), text.end());
    EXPECT_EQ(AbstractSqLiteRecovery::FindIndexOfBytesForGuidDataContent(View(bytes), 0), 3u);
    EXPECT_EQ(AbstractSqLiteRecovery::FindIndexOfBytesForGuidDataContent(View(bytes), 11), 3u);
    constexpr auto kNone = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(AbstractSqLiteRecovery::FindIndexOfBytesForGuidDataContent(View(bytes), 12), kNone);
    // Hyphens whose GUID would begin before the area.
    const std::string early = "ab-cd-ef-gh-ij-klmnop";
    EXPECT_EQ(AbstractSqLiteRecovery::FindIndexOfBytesForGuidDataContent(
                  View(Bytes(early.begin(), early.end())), 0),
              kNone);
    EXPECT_EQ(AbstractSqLiteRecovery::FindIndexOfBytesForGuidDataContent({}, 0), kNone);
}

TEST(EngineEstimates, ContentThatHoldsTheNextHeader) {
    TablePattern pattern;
    pattern.setHeaderPattern(std::string("[0];[1];[1]"));
    TestRecoverer engine(pattern);
    // Header bytes 03 01 01 at 10: a record header of two one-byte integers.
    Bytes area(30, 0x00);
    area[10] = 0x03;
    area[11] = 0x01;
    area[12] = 0x01;
    const auto header = engine.findHeader(View(area), 0);
    ASSERT_TRUE(header.Valid);
    const std::int64_t at = header.HeaderStartIndex;
    EXPECT_TRUE(engine.processContent(at + 1, ColumnValue(), 0, View(area)));
    EXPECT_FALSE(engine.processContent(at, ColumnValue(), 0, View(area)));
    EXPECT_FALSE(engine.processContent(100, ColumnValue(), 13, View(area)));  // no header after
    EXPECT_FALSE(engine.processContent(-1, ColumnValue(), 0, View(area)));
}

// A record of two values ("abc", 5) has a 3-byte header and a payload of 7 bytes; a whole cell
// puts its payload length and its row id right before the header, a freed cell has lost them.
TEST(EngineCellHead, TheRowIdIsTakenWhenThePayloadLengthIsTheRecords) {
    const Bytes record = {0x03, 0x13, 0x01, 'a', 'b', 'c', 0x05};
    const struct Case {
        const char* name;
        Bytes head;
        std::optional<std::int64_t> rowId;
    } cases[] = {
        {"a whole cell", {0x07, 0x2A}, 42},
        {"a row id of two bytes", {0x07, 0x82, 0x2C}, 300},
        {"a payload length that is not the record's", {0x08, 0x2A}, std::nullopt},
        {"a freeblock's head", {0x00, 0x00, 0x00, 0x14}, std::nullopt},
        {"no payload length before the row id", {0x2A}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes area = c.head;
        area.insert(area.end(), record.begin(), record.end());
        SQLiteTableHeaderInfo info;
        info.Valid = true;
        info.HeaderStartIndex = static_cast<std::int64_t>(c.head.size());
        info.Header = {{0, 1}, {0x13, 1}, {1, 1}};
        info.headerDataTaken = 3;
        EXPECT_EQ(AbstractSqLiteRecovery::CellRowIdBefore(View(area), info), c.rowId);
        // A header-length byte that is not the header's length names no cell.
        area[c.head.size()] = 0x04;
        EXPECT_EQ(AbstractSqLiteRecovery::CellRowIdBefore(View(area), info), std::nullopt);
    }
}

TEST(EngineSequence, MaxRowIdComesFromTheSequenceTable) {
    TempDir dir;
    const auto path = dir / "sms.db";
    {
        FixtureDatabase db(path);
        db.exec("CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT);"
                "CREATE TABLE plain (ROWID INTEGER PRIMARY KEY, x TEXT);"
                "INSERT INTO chat (ROWID, guid) VALUES (41, 'a');"
                "INSERT INTO chat (guid) VALUES ('b');"
                "DELETE FROM chat;"
                "INSERT INTO plain (x) VALUES ('c');");
        db.close();
    }
    TestRecoverer engine;
    EXPECT_EQ(engine.getMaxRowIdforTable("chat"), -1);  // no database yet
    engine.setFullDBPath(path.string());
    EXPECT_EQ(engine.getMaxRowIdforTable("chat"), 42);  // deleted rows keep their sequence
    EXPECT_EQ(engine.getMaxRowIdforTable("plain"), -1);
    EXPECT_EQ(engine.getMaxRowIdforTable("Chat"), -1);
    engine.setFullDBPath((dir / "missing.db").string());
    EXPECT_EQ(engine.getMaxRowIdforTable("chat"), -1);
    const auto noise = dir / "noise.db";
    std::ofstream(noise) << "not a database at all, but long enough to be read";
    EXPECT_EQ(AbstractSqLiteRecovery::MaxRowIdOfTable(noise.string(), "chat"), -1);
}

TEST(Reachability, LocalFilesAndLoopbackPorts) {
    TempDir dir;
    const auto file = dir / "signatures file.xml";
    std::ofstream(file) << "<signatures/>";
    EXPECT_TRUE(AbstractSqLiteRecovery::connected(file.string()));
    EXPECT_TRUE(AbstractSqLiteRecovery::connected("file://" + (dir / "signatures%20file.xml").string()));
    EXPECT_FALSE(AbstractSqLiteRecovery::connected((dir / "missing.xml").string()));
    EXPECT_FALSE(AbstractSqLiteRecovery::connected(dir.path().string()));  // a folder
    EXPECT_FALSE(AbstractSqLiteRecovery::connected(""));
    EXPECT_FALSE(AbstractSqLiteRecovery::connected("relative/path.xml"));
    EXPECT_FALSE(AbstractSqLiteRecovery::connected("file://elsewhere/signatures.xml"));

    LoopbackListener listener;
    const std::string open = "http://127.0.0.1:" + std::to_string(listener.port()) + "/sig.xml";
    EXPECT_TRUE(AbstractSqLiteRecovery::connected(open));
    EXPECT_FALSE(AbstractSqLiteRecovery::connected("ftp://127.0.0.1/sig.xml"));  // no port
    EXPECT_FALSE(AbstractSqLiteRecovery::connected("http://127.0.0.1:99999/"));
    listener.close();
    EXPECT_FALSE(AbstractSqLiteRecovery::connected(open));

    SqLiteTableSignatures catalogue;
    EXPECT_FALSE(catalogue.connected());  // no remote source
    catalogue.setRemoteSignaturesLocation(file.string());
    EXPECT_TRUE(catalogue.connected());
    // Reachable or not, there is nothing remote to load: the resource file is read.
    catalogue.loadSignatures();
    EXPECT_TRUE(catalogue.loaded());
    EXPECT_TRUE(catalogue.Find("HomeDomain", "sms.db", "MESSAGE"));
}

TEST(SignatureParser, ReadsTheDocumentOfALocalLocation) {
    TempDir dir;
    const auto file = dir / "sig.xml";
    std::ofstream(file) << "<signatures><signature name=\"n\" database=\"d\" table=\"t\"><pattern>"
                           "<header>[1];[13]</header></pattern></signature></signatures>";
    for (const std::string& location : {file.string(), "file://" + file.string()}) {
        auto parser = SqLiteTableSignaturesParser::initWithURL(location);
        ASSERT_TRUE(parser) << location;
        ASSERT_TRUE(parser->parseTableSignatures());
        const auto* found = parser->sqLiteTableSignatures()->Find("n", "d", "t");
        ASSERT_TRUE(found);
        EXPECT_EQ(found->TablePatterns().size(), 1u);
    }
    EXPECT_FALSE(SqLiteTableSignaturesParser::initWithURL((dir / "none.xml").string()));
    EXPECT_FALSE(SqLiteTableSignaturesParser::initWithURL("https://127.0.0.1/sig.xml"));
    EXPECT_TRUE(SQLiteSignature::FindByNumberOfColumns().Header().empty());
}

#include "CarvingTestSupport.h"

#include "records/BrimleyAppDelegate.h"

#include <gtest/gtest.h>

#include <cmath>

using carvingtest::CarvedRow;
using carvingtest::CountingWindow;
using carvingtest::MakePattern;
using carvingtest::TestRecoverer;

namespace {

// Any serial type SQLite writes, with a 9 (the constant 1) in front that marks a record.
const char* const kAnyValue = "[0];[9];[0,1,2,3,4,5,6,7,8,9,10,11,-1]";

// A record as SQLite lays it out: header length, serial types, then the content.
Bytes Record(const std::vector<std::uint8_t>& serialTypes, const Bytes& content) {
    Bytes bytes;
    bytes.push_back(static_cast<std::uint8_t>(serialTypes.size() + 1));
    bytes.insert(bytes.end(), serialTypes.begin(), serialTypes.end());
    bytes.insert(bytes.end(), content.begin(), content.end());
    return bytes;
}

Bytes Pad(Bytes bytes, std::size_t size = 24) {
    if (bytes.size() < size) bytes.resize(size, 0xEE);
    return bytes;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void Carve(TestRecoverer& engine, const Bytes& area, std::uint64_t start = 0) {
    engine.carveArea(ByteView(area.data(), area.size()), start);
}

ColumnValue Text(const char* s) {
    return ColumnValue(std::string(s));
}

}  // namespace

TEST(RecordDecoding, EverySerialType) {
    struct Case {
        std::uint8_t serialType;
        Bytes content;
        std::optional<ColumnValue> expected;  // nullopt: no value handed over
    };
    const Case cases[] = {
        {1, {0x7F}, ColumnValue(std::int64_t{127})},
        {1, {0xFF}, ColumnValue(std::int64_t{-1})},  // two's complement, as SQLite stores it
        {2, {0xFF, 0xFE}, ColumnValue(std::int64_t{-2})},
        {3, {0xFF, 0xFF, 0xFF}, ColumnValue(std::int64_t{-1})},
        {3, {0x7F, 0xFF, 0xFF}, ColumnValue(std::int64_t{8388607})},
        {4, {0x80, 0, 0, 0}, ColumnValue(std::int64_t{-2147483647 - 1})},
        {5, {0, 1, 0, 0, 0, 0}, ColumnValue(std::int64_t{1} << 32)},
        {5, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, ColumnValue(std::int64_t{-2})},
        {6, {0x01, 0, 0, 0, 0, 0, 0, 0x02}, ColumnValue((std::int64_t{1} << 56) + 2)},
        {7, {0x3F, 0xF8, 0, 0, 0, 0, 0, 0}, ColumnValue(1.5)},
        {8, {}, ColumnValue(std::int64_t{0})},
        {9, {}, ColumnValue(std::int64_t{1})},
        {0, {}, std::nullopt},
        {10, {}, std::nullopt},
        {11, {}, std::nullopt},
        {23, {'H', 'a', 'l', 'l', 'o'}, Text("Hallo")},
        {13, {}, Text("")},
        {17, {0xC3, 0xA4}, Text("ä")},
        {17, {0xC3, 0x28}, ColumnValue::Null()},  // not UTF-8: an absent text
        {17, {0xED, 0xA0}, ColumnValue::Null()},  // cut-off sequence
        {18, {1, 2, 3}, ColumnValue(Bytes{1, 2, 3})},
        {12, {}, ColumnValue(Bytes{})},
    };
    for (const auto& c : cases) {
        TestRecoverer engine(MakePattern(kAnyValue, {{"marker", 1}, {"v", 2}}));
        Carve(engine, Pad(Record({9, c.serialType}, c.content)));
        ASSERT_EQ(engine.offered, 1) << int(c.serialType);
        const auto rows = engine.rows();
        if (!c.expected) {
            EXPECT_EQ(engine.lastColumns, std::vector<std::int64_t>{1}) << int(c.serialType);
            continue;
        }
        ASSERT_EQ(rows.size(), 1u) << int(c.serialType);
        EXPECT_EQ(rows[0]->columns.at(2), *c.expected) << int(c.serialType);
        // Column 1 (the marker 9) came first, as the value 1.
        EXPECT_EQ(rows[0]->columns.at(1), ColumnValue(std::int64_t{1}));
        EXPECT_EQ(rows[0]->RowId(), 1);
    }
}

TEST(RecordDecoding, SmallAreasAndValuesAtTheEnd) {
    // An area of 15 bytes or fewer is not searched.
    const Bytes record = Record({9, 23}, {'a', 'b', 'c', 'd', 'e'});
    TestRecoverer small(MakePattern(kAnyValue, {{"v", 2}}));
    Carve(small, Pad(record, 15));
    EXPECT_EQ(small.offered, 0);
    TestRecoverer enough(MakePattern(kAnyValue, {{"v", 2}}));
    Carve(enough, Pad(record, 16));
    EXPECT_EQ(enough.offered, 1);

    // A text of 23 bytes with 10 left is cut to those 10 and ends the area.
    Bytes cut = Record({9, 13 + 2 * 23}, Bytes(10, 'x'));
    cut.insert(cut.begin(), 8, 0xEE);
    TestRecoverer engine(MakePattern(kAnyValue, {{"v", 2}}));
    Carve(engine, cut);
    ASSERT_EQ(engine.rows().size(), 1u);
    EXPECT_EQ(engine.rows()[0]->values.at("v"), Text("xxxxxxxxxx"));

    // A number that does not fit is skipped and the next value is read from the same place.
    TestRecoverer skip(MakePattern("[0];[9];[4];[1]", {{"a", 2}, {"b", 3}}));
    Bytes area(14, 0xEE);
    const Bytes tail = Record({9, 4, 1}, {0x2A, 0x2B});
    area.insert(area.end(), tail.begin(), tail.end());
    Carve(skip, area);
    ASSERT_EQ(skip.rows().size(), 1u);
    EXPECT_EQ(skip.rows()[0]->values.count("a"), 0u);
    EXPECT_EQ(skip.rows()[0]->values.at("b"), ColumnValue(std::int64_t{0x2A}));
}

TEST(RecordDecoding, RowIdsFromTheHeaderOrOne) {
    // Row-id mode: the varint in front of the header is the row id. (Padding of 0x01 bytes:
    // long varints near the end would make a row-id header cut off by the end of the area.)
    Bytes area = Cat(Bytes{0x81, 0x00, 0x03, 0x00}, Bytes{0x09, 0x09});
    area.resize(24, 0x01);
    TestRecoverer engine(MakePattern("[1];[0];[0];[9];[9]"));
    Carve(engine, area);
    ASSERT_EQ(engine.offered, 1);
    ASSERT_EQ(engine.RecoveredFiltered().size(), 0u);  // nothing mapped, nothing kept
    TestRecoverer mapped(MakePattern("[1];[0];[0];[9];[9]", {{"x", 3}}));
    Carve(mapped, area);
    ASSERT_EQ(mapped.rows().size(), 1u);
    EXPECT_EQ(mapped.rows()[0]->RowId(), 128);
}

TEST(RecordDecoding, RealignmentRetryDecodesTheSameHeaderShifted) {
    // "ab" + "cdXY": the check asks for a shift of 2 once; the record is decoded again from 2
    // bytes further on, and only that decoding is offered.
    const Bytes area = Pad(Record({9, 17}, {'a', 'b', 'c', 'd', 'X', 'Y'}), 30);
    TestRecoverer engine(MakePattern(kAnyValue, {{"v", 2}}));
    int calls = 0;
    engine.verify = [&](ByteView) { return ++calls == 1 ? 2 : 0; };
    Carve(engine, area);
    EXPECT_EQ(engine.offered, 1);
    ASSERT_EQ(engine.rows().size(), 1u);
    EXPECT_EQ(engine.rows()[0]->values.at("v"), Text("cd"));
    EXPECT_EQ(calls, 1);                  // the second decoding's text is not checked again
    EXPECT_EQ(engine.contentShift(), 0);  // the shift went with its record
}

TEST(RecordDecoding, LargeAnswersShiftEveryLaterRecord) {
    // An answer outside -6..6 keeps the record and moves the content start of the next ones.
    const Bytes first = Record({9, 17}, {'a', 'b'});
    Bytes area = Cat(first, Record({9, 17}, {'c', 'd'}));
    area.insert(area.end(), 20, 'z');
    area = Pad(area, 60);
    TestRecoverer engine(MakePattern(kAnyValue, {{"v", 2}}));
    int calls = 0;
    engine.verify = [&](ByteView) {
        return ++calls == 1 ? 20 : AbstractSqLiteRecovery::kKeepPosition;
    };
    Carve(engine, area);
    const auto rows = engine.rows();
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0]->values.at("v"), Text("ab"));
    EXPECT_EQ(rows[1]->values.at("v"), Text("zz"));  // 20 bytes after "cd"'s place
}

TEST(RecordDecoding, RetriesAndNegativeShiftsAlwaysEnd) {
    // A check that always wants a shift, on records with two texts, would redo the same header
    // for ever; each header is decoded again at most once.
    Bytes area;
    for (int i = 0; i < 4; ++i) area = Cat(area, Record({9, 17, 17}, {'a', 'b', 'c', 'd'}));
    area = Pad(area, 60);
    TestRecoverer always(MakePattern("[0];[9];[17];[17]", {{"v", 2}}));
    always.verify = [](ByteView) { return 2; };
    Carve(always, area);
    EXPECT_GE(always.offered, 1);
    EXPECT_LE(always.offered, 4);

    // A shift far back would put the next search before the header just found.
    TestRecoverer back(MakePattern("[0];[9];[17];[17]", {{"v", 2}}));
    back.verify = [](ByteView) { return -50; };
    Carve(back, area);
    EXPECT_LE(back.offered, static_cast<int>(area.size()));
}

TEST(RecordDecoding, DuplicateTestUsesRowIdsOnlyWhereTheyWereRead) {
    const Bytes row7 = Cat(Bytes{0x07, 0x03, 0x00}, Bytes{0x09, 0x09});
    const Bytes row8 = Cat(Bytes{0x08, 0x03, 0x00}, Bytes{0x09, 0x09});
    const Bytes area = Pad(Cat(row7, row8), 30);
    auto listed = std::make_shared<baseRecoveryObject>();
    listed->setRowId(7);
    std::vector<std::shared_ptr<baseRecoveryObject>> reference{listed};

    TestRecoverer engine(MakePattern("[1];[0];[0];[9];[9]", {{"x", 3}}));
    engine.setRecoveredData(reference);
    reference.clear();  // the engine keeps its own copy
    Carve(engine, area);
    ASSERT_EQ(engine.rows().size(), 1u);
    EXPECT_EQ(engine.rows()[0]->RowId(), 8);

    // A record whose row id was not in its header is not a duplicate of row 1.
    listed->setRowId(1);
    TestRecoverer plain(MakePattern("[0];[9];[9]", {{"x", 1}}));
    plain.setRecoveredData({listed});
    Carve(plain, Pad(Record({9, 9}, {}), 20));
    EXPECT_EQ(plain.rows().size(), 1u);
}

TEST(RecordDecoding, BareRecovererGetsEveryRecordUnfilled) {
    class Bare : public AbstractSqLiteRecovery {
    public:
        std::vector<std::shared_ptr<baseRecoveryObject>> got;

    protected:
        std::int32_t verifyDataPosition(ByteView) override { return kKeepPosition; }
        void addRecoveredObject() override { got.push_back(currentRecord()); }
    };
    Bare bare;
    bare.setTablePatterns({MakePattern(kAnyValue)});
    const Bytes area = Pad(Cat(Record({9, 17}, {'a', 'b'}), Record({9, 1}, {5})), 30);
    bare.carveArea(ByteView(area.data(), area.size()), 0);
    ASSERT_EQ(bare.got.size(), 2u);
    EXPECT_EQ(bare.got[0]->RowId(), 1);
    EXPECT_FALSE(bare.got[0]->Text().has_value());
}

TEST(RecordDecoding, CancellationStopsAfterTheRecordInHand) {
    Bytes area;
    for (int i = 0; i < 5; ++i) area = Cat(area, Record({9, 1}, {static_cast<std::uint8_t>(i)}));
    area = Pad(area, 40);

    std::stop_source before;
    before.request_stop();
    TestRecoverer cancelled(MakePattern(kAnyValue, {{"v", 2}}));
    cancelled.setStopToken(before.get_token());
    Carve(cancelled, area);
    EXPECT_EQ(cancelled.offered, 0);

    class StopsAfterFirst : public TestRecoverer {
    public:
        std::stop_source source;

    protected:
        void addRecoveredObject() override {
            TestRecoverer::addRecoveredObject();
            source.request_stop();
        }
    };
    StopsAfterFirst engine;
    engine.setTablePatterns({MakePattern(kAnyValue, {{"v", 2}})});
    engine.setStopToken(engine.source.get_token());
    Carve(engine, area);
    EXPECT_EQ(engine.offered, 1);
}

TEST(RecordDecoding, EachKeptRecordRefreshesTheWindow) {
    auto window = std::make_shared<CountingWindow>();
    BrimleyAppDelegate::appDelegate().setWindow(window);
    Bytes area;
    for (int i = 0; i < 3; ++i) area = Cat(area, Record({9, 1}, {static_cast<std::uint8_t>(i)}));
    area = Cat(area, Record({9, 0}, {}));  // nothing mapped: not kept, no refresh
    TestRecoverer engine(MakePattern(kAnyValue, {{"v", 2}}));
    engine.notifyWindow = true;
    Carve(engine, Pad(area, 40));
    BrimleyAppDelegate::appDelegate().setWindow(nullptr);
    EXPECT_EQ(engine.offered, 4);
    EXPECT_EQ(engine.rows().size(), 3u);
    EXPECT_EQ(window->found.load(), 3);
    EXPECT_EQ(window->photos.load(), 0);
}

#include "CarvingTestSupport.h"

#include "carving/AbstractSQLiteRecoveryFullSearch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

using carvingtest::MakePattern;
using carvingtest::TestRecoverer;

namespace {

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// Every page of a hand-made file carries its number in its last 4 bytes.
int Marker(ByteView page) {
    if (page.size() < 4) return -1;
    return static_cast<int>(ReadBigEndian32(page.data() + page.size() - 4));
}

// A database file of whole pages: page 1 with the header fields, the others as b-tree leaf
// pages (type 13, no cells) unless changed.
struct FileBuilder {
    int pageSize = 1024;
    std::vector<Bytes> pages;
    std::uint32_t headerPageCount = 0;  // 0: the number of pages
    std::uint32_t firstTrunk = 0;
    std::uint32_t largestRoot = 0;
    std::optional<std::uint32_t> storedPageSize;  // instead of pageSize

    FileBuilder(int size, int count) : pageSize(size) {
        for (int n = 1; n <= count; ++n) {
            Bytes page(static_cast<std::size_t>(size), 0);
            page[0] = 13;
            Put16(page, 5, static_cast<std::uint32_t>(size - 4));
            Put32(page, page.size() - 4, static_cast<std::uint32_t>(n));
            pages.push_back(page);
        }
    }
    Bytes& page(int number) { return pages[static_cast<std::size_t>(number - 1)]; }

    std::filesystem::path write(const std::filesystem::path& path) {
        Bytes& h = pages[0];
        const char magic[] = "SQLite format 3";
        std::copy(magic, magic + 16, h.begin());
        Put16(h, 16,
              storedPageSize      ? *storedPageSize
              : pageSize == 65536 ? 1
                                  : static_cast<std::uint32_t>(pageSize));
        Put32(h, 24, 3);
        Put32(h, 28, headerPageCount ? headerPageCount : static_cast<std::uint32_t>(pages.size()));
        Put32(h, 32, firstTrunk);
        Put32(h, 52, largestRoot);
        Put32(h, 92, 3);
        std::ofstream out(path, std::ios::binary);
        for (const auto& p : pages)
            out.write(reinterpret_cast<const char*>(p.data()),
                      static_cast<std::streamsize>(p.size()));
        return path;
    }
};

struct Search {
    int page;              // the marker of a whole page, or -1
    std::ptrdiff_t start;  // where the area begins in the page handed over, when known
    std::size_t size;
    std::int64_t offset;
    std::int32_t processOffset;
};

// Records what the walks hand over instead of carving it.
class WalkRecorder : public TestRecoverer {
public:
    std::vector<int> btreePages;
    std::vector<Search> searches;
    int pageSize = 1024;
    const std::uint8_t* pageStart = nullptr;

    // The engine's own page search, bypassing the recording.
    void searchPage(ByteView page) { AbstractSqLiteRecovery::ProcessSQLitePage(page); }

protected:
    void ProcessSQLitePage(ByteView page) override { btreePages.push_back(Marker(page)); }
    void ParseHeaderAndData(ByteView area, std::uint64_t start) override {
        // The engine searches no area of 15 bytes or less.
        if (area.size() <= 15) return;
        const bool whole = static_cast<int>(area.size()) == pageSize;
        searches.push_back({whole ? Marker(area) : -1, pageStart ? area.data() - pageStart : -1,
                            area.size(), static_cast<std::int64_t>(start),
                            static_cast<std::int32_t>(contentShift())});
    }
};

std::vector<int> WholePages(const WalkRecorder& r) {
    std::vector<int> pages;
    for (const auto& s : r.searches)
        if (s.page >= 0) pages.push_back(s.page);
    return pages;
}

}  // namespace

TEST(PageWalk, GapOfLeafAndInteriorPages) {
    struct Case {
        std::uint8_t type;
        std::uint32_t cells, contentStart;
        std::ptrdiff_t gapStart;
        std::size_t gapSize;
    };
    const Case cases[] = {
        {13, 3, 200, 14, 186},  // leaf table: 8-byte header + 3 pointers
        {10, 3, 200, 14, 186},  // leaf index
        {5, 3, 200, 18, 182},   // interior table: 12-byte header
        {13, 3, 14, -1, 0},     // no gap: not searched at all, freeblocks included
        {2, 3, 200, -1, 0},     // interior index pages are not searched
        {13, 3, 2000, -1, 0},   // a content start past the page: no b-tree page
    };
    for (const auto& c : cases) {
        Bytes page(1024, 0);
        page[0] = c.type;
        Put16(page, 3, c.cells);
        Put16(page, 5, c.contentStart);
        Put16(page, 1, 600);  // a freeblock, searched only when the gap is
        Put16(page, 602, 40);
        WalkRecorder r;
        r.pageStart = page.data();
        r.searchPage(ByteView(page.data(), page.size()));
        if (c.gapStart < 0) {
            EXPECT_TRUE(r.searches.empty()) << int(c.type) << " " << c.contentStart;
            continue;
        }
        ASSERT_EQ(r.searches.size(), 2u);
        EXPECT_EQ(r.searches[0].start, c.gapStart);
        EXPECT_EQ(r.searches[0].size, c.gapSize);
        EXPECT_EQ(r.searches[0].offset, 0);
    }

    // The whole-page variant searches any page whole, type 2 included.
    class Whole : public AbstractSQLiteRecoveryFullSearch {
    public:
        std::vector<std::size_t> sizes;

    protected:
        void ParseHeaderAndData(ByteView area, std::uint64_t) override {
            sizes.push_back(area.size());
        }
        void addRecoveredObject() override {}
    };
    Bytes interiorIndex(1024, 0);
    interiorIndex[0] = 2;
    Whole whole;
    whole.carvePage(ByteView(interiorIndex.data(), interiorIndex.size()));
    EXPECT_EQ(whole.sizes, std::vector<std::size_t>{1024});
}

TEST(PageWalk, FreeblockChains) {
    auto page = [](std::uint32_t first, std::vector<std::array<std::uint32_t, 3>> blocks) {
        Bytes p(1024, 0);
        p[0] = 13;
        Put16(p, 3, 0);
        Put16(p, 5, 100);
        Put16(p, 1, first);
        for (const auto& [at, next, size] : blocks) {
            Put16(p, at, next);
            Put16(p, at + 2, size);
        }
        return p;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        std::vector<std::ptrdiff_t> starts;
    };
    const Case cases[] = {
        {"chain 300 -> 500 -> 0", page(300, {{{300, 500, 40}}, {{500, 0, 60}}}), {300, 500}},
        {"chain that loops back", page(300, {{{300, 500, 40}}, {{500, 300, 60}}}), {300, 500}},
        {"chain that points at itself", page(300, {{{300, 300, 40}}}), {300}},
        {"offset equal to the page length", page(300, {{{300, 1024, 40}}}), {300}},
        {"block running past the page", page(300, {{{300, 900, 40}}, {{900, 0, 400}}}), {300}},
        {"block too small to search", page(300, {{{300, 500, 10}}, {{500, 0, 40}}}), {500}},
    };
    for (const auto& c : cases) {
        for (std::int32_t freeblockOffset : {0, 1}) {
            WalkRecorder r;
            r.setFreeblockStartOffset(freeblockOffset);
            r.pageStart = c.bytes.data();
            r.searchPage(ByteView(c.bytes.data(), c.bytes.size()));
            std::vector<std::ptrdiff_t> starts;
            for (std::size_t i = 1; i < r.searches.size(); ++i) {  // [0] is the gap
                starts.push_back(r.searches[i].start);
                EXPECT_EQ(r.searches[i].offset, 3) << c.what;
                EXPECT_EQ(r.searches[i].processOffset, freeblockOffset) << c.what;
            }
            EXPECT_EQ(starts, c.starts) << c.what;
            EXPECT_EQ(r.contentShift(), 0) << c.what;
        }
    }
}

TEST(PageWalk, PlainFileSearchesEveryBtreePageFromPage2) {
    testsupport::TempDir dir;
    FileBuilder five(1024, 5);
    WalkRecorder r;
    r.DoRecoveryPath(five.write(dir / "plain.db").string());
    EXPECT_EQ(r.btreePages, (std::vector<int>{2, 3, 4, 5}));
    EXPECT_TRUE(r.searches.empty());

    // A page count beyond the file is clipped to the file; a missing one means the whole file.
    for (std::uint32_t count : {9u, 0u}) {
        FileBuilder clipped(1024, 5);
        clipped.headerPageCount = count;
        if (count == 0) Put32(clipped.page(1), 28, 0);
        WalkRecorder c;
        c.DoRecoveryPath(clipped.write(dir / "clipped.db").string());
        EXPECT_EQ(c.btreePages, (std::vector<int>{2, 3, 4, 5})) << count;
    }
    // A header count below the file's pages limits the walk.
    FileBuilder fewer(1024, 5);
    fewer.headerPageCount = 3;
    WalkRecorder f;
    f.DoRecoveryPath(fewer.write(dir / "fewer.db").string());
    EXPECT_EQ(f.btreePages, (std::vector<int>{2, 3}));
}

// A run tells how far its walk over the pages has got, now and then and once at the end, for
// plain and auto-vacuum files alike.
TEST(PageWalk, TheWalkReportsHowFarItHasGot) {
    testsupport::TempDir dir;
    for (const std::uint32_t largestRoot : {0u, 600u}) {
        FileBuilder file(1024, 600);
        file.largestRoot = largestRoot;
        WalkRecorder r;
        std::vector<std::pair<std::int64_t, std::int64_t>> reports;
        r.setPageProgress([&](std::int64_t walked, std::int64_t pages) { reports.emplace_back(walked, pages); });
        r.DoRecoveryPath(file.write(dir / "walked.db").string());
        SCOPED_TRACE(largestRoot);
        ASSERT_GE(reports.size(), 3u);
        EXPECT_EQ(reports.back(), (std::pair<std::int64_t, std::int64_t>{600, 600}));
        for (std::size_t i = 1; i < reports.size(); ++i) {
            EXPECT_GT(reports[i].first, reports[i - 1].first);
            EXPECT_EQ(reports[i].second, 600);
        }
    }
}

TEST(PageWalk, AutoVacuumFileAndFreelistSweeps) {
    testsupport::TempDir dir;
    FileBuilder file(1024, 8);
    file.largestRoot = 4;
    Bytes& map = file.page(2);
    std::fill(map.begin(), map.end(), 0);
    for (int n = 0; n < 6; ++n) map[static_cast<std::size_t>(n * 5)] = 1;
    Put32(map, map.size() - 4, 2);
    WalkRecorder r;
    r.DoRecoveryPath(file.write(dir / "av.db").string());
    EXPECT_EQ(r.pointerMapPageNumbers(), std::vector<std::int64_t>{2});
    EXPECT_EQ(r.btreePages, (std::vector<int>{3, 4}));
    EXPECT_EQ(WholePages(r), (std::vector<int>{5, 6, 7, 8}));

    // With a freelist whose first trunk is page 7, pages 7 and 8 are searched whole again.
    file.firstTrunk = 7;
    WalkRecorder again;
    again.DoRecoveryPath(file.write(dir / "av-free.db").string());
    EXPECT_EQ(WholePages(again), (std::vector<int>{5, 6, 7, 8, 7, 8}));
}

TEST(PageWalk, FreelistPagesBeforeTheFirstTrunkAreSearchedWhole) {
    testsupport::TempDir dir;
    FileBuilder file(1024, 8);
    file.firstTrunk = 6;
    // Trunk 6 lists leaves 3 and 8 and leads on to trunk 4, which lists leaf 2 and leads back
    // to 6: a loop that must end.
    Bytes& trunk6 = file.page(6);
    Put32(trunk6, 0, 4);
    Put32(trunk6, 4, 2);
    Put32(trunk6, 8, 3);
    Put32(trunk6, 12, 8);
    Bytes& trunk4 = file.page(4);
    Put32(trunk4, 0, 6);
    Put32(trunk4, 4, 1);
    Put32(trunk4, 8, 2);
    WalkRecorder r;
    r.DoRecoveryPath(file.write(dir / "free.db").string());
    EXPECT_EQ(r.btreePages, (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
    // From the first trunk to the end, then the freelist pages before it, once round the loop.
    EXPECT_EQ(WholePages(r), (std::vector<int>{6, 7, 8, 3, 4, 2}));

    // A chain that loops without coming back to the first trunk ends too.
    Put32(trunk4, 0, 4);
    WalkRecorder loop;
    loop.DoRecoveryPath(file.write(dir / "loop.db").string());
    EXPECT_LE(WholePages(loop).size(), 3u + 1u + 2u * 8u);
}

TEST(PageWalk, FilesThatAreNotCarved) {
    testsupport::TempDir dir;
    auto write = [&](const char* name, const Bytes& bytes) {
        std::ofstream out(dir / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return (dir / name).string();
    };
    std::vector<std::string> paths = {"", (dir / "missing.db").string(), dir.path().string(),
                                      write("16.db", Bytes(16, 0x0D)),
                                      write("99.db", Bytes(99, 0x0D))};
    for (std::uint32_t badSize : {0u, 100u, 1000u, 4097u, 256u}) {
        FileBuilder file(1024, 3);
        file.storedPageSize = badSize;
        paths.push_back(file.write(dir / ("bad" + std::to_string(badSize) + ".db")).string());
    }
    for (const auto& path : paths) {
        WalkRecorder r;
        r.DoRecoveryPath(path);
        EXPECT_TRUE(r.btreePages.empty() && r.searches.empty()) << path;
    }

    // A cancelled engine reads nothing.
    FileBuilder file(1024, 4);
    std::stop_source stop;
    stop.request_stop();
    WalkRecorder cancelled;
    cancelled.setStopToken(stop.get_token());
    cancelled.DoRecoveryPath(file.write(dir / "ok.db").string());
    EXPECT_TRUE(cancelled.btreePages.empty());
}

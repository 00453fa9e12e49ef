#pragma once

#include "carving/SQLiteTableHeaderInfo.h"
#include "carving/SQLiteUtils.h"
#include "carving/TablePattern.h"

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

// The serial types that one header position allows, laid out for a test per tried byte: a bit per
// one-byte serial type, a lower bound for the open-ended classes (-1: above 11, -2: above 12,
// -N: above N) and any exact values of two bytes or more.
class SerialTypeSet {
public:
    // With smallIntegersAsOneByte, a position that allows 8 or 9 (the integers 0 and 1 as
    // schema format 4 writes them) allows serial type 1 as well, as older formats write them.
    static SerialTypeSet FromValues(const std::vector<std::int32_t>& values,
                                    bool smallIntegersAsOneByte = false);

    bool accepts(std::uint64_t serialType) const {
        if (serialType < 128) return (small_[serialType >> 6] >> (serialType & 63)) & 1;
        if (serialType > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return false;
        return acceptsLargeValue(static_cast<std::int64_t>(serialType));
    }
    // Whether any serial type of two or more varint bytes (128 and above) is allowed.
    bool acceptsLarge() const { return acceptsLarge_; }
    bool operator==(const SerialTypeSet& other) const = default;

private:
    bool acceptsLargeValue(std::int64_t serialType) const;

    std::array<std::uint64_t, 2> small_{};
    std::int64_t above_ = std::numeric_limits<std::int64_t>::max();
    std::vector<std::int64_t> largeExact_;
    bool acceptsLarge_ = false;
};

// Finds record headers that fit a table's patterns. The patterns are compiled once into a tree
// whose branches share the positions that patterns have in common (a table's layouts of several
// releases differ only in their last columns), so a tried byte position costs about as much as
// one pattern, and nothing is allocated per tried position.
//
// Semantics of a pattern (see TablePattern for the allowed values):
//  - Position 0 is one byte that is not examined (the record's header-length byte), unless its
//    first value is 1 or more: then it is a varint taken as the row id, followed by two bytes
//    that are not examined (row-id mode).
//  - Every further position is a varint read as a serial type, which the position must allow.
//    SQLite writes varints in their shortest form, so a serial type never begins with 0x80.
//  - A pattern of n positions is tried at byte positions up to the area's length - n. When the
//    area ends before the header does, what was read so far counts as a match.
//  - A varint that runs past the end of the area does not match.
//  - The nearest header wins; where several patterns match at the same place, the one listed
//    first wins.
//  - A header whose examined serial types are all 0 does not match: it would be a record of
//    nothing but NULLs, which is what zero-filled space reads as. Long runs of zero bytes (unused
//    page space, zeroed free pages) are therefore passed over at memory speed.
//
// A compiled matcher is only read while searching, so several engines (on several threads) may
// share one; each brings its own Scratch.
class HeaderMatcher {
    struct Frame {
        std::int32_t node;
        std::int64_t offset;
    };

public:
    // Working space of one search; reused from one search to the next.
    class Scratch {
        friend class HeaderMatcher;
        std::vector<Frame> stack_;
        std::vector<std::int32_t> subtree_;
    };

    // Patterns without positions, or whose first position lists no value, are left out. With
    // smallIntegersAsOneByte, positions that allow 8 or 9 allow 1 too (see SerialTypeSet).
    void compile(const std::vector<TablePattern>& patterns, bool smallIntegersAsOneByte = false);
    bool empty() const { return patterns_.empty(); }
    std::size_t patternCount() const { return patterns_.size(); }

    // The nearest header at or after offset, described into info (Valid false when none).
    // patterns must be the list that was compiled. Headers that begin after lastStart are not
    // looked for (their bytes are still read for a header that begins before).
    void find(ByteView area, std::int64_t offset, const std::vector<TablePattern>& patterns,
              SQLiteTableHeaderInfo& info, Scratch& scratch,
              std::int64_t lastStart = std::numeric_limits<std::int64_t>::max()) const;

private:
    static constexpr std::int32_t kNone = std::numeric_limits<std::int32_t>::max();

    struct Node {
        SerialTypeSet set;
        std::vector<std::int32_t> children;  // by ascending minPattern
        std::int32_t endingPattern = kNone;  // the first pattern whose last position this is
        std::int32_t minPattern = kNone;     // the first pattern that passes through here
        std::int64_t endingPositions = 0;    // the positions of endingPattern
    };
    struct CompiledPattern {
        std::size_t source = 0;  // index into the compiled list of TablePatterns
        bool rowIdMode = false;
        std::int64_t positions = 0;
        std::vector<std::int32_t> path;  // nodes of the examined positions, in order
    };
    std::int32_t bestAt(ByteView area, std::int64_t pos, bool plainChecked, Scratch& scratch) const;
    void walk(ByteView area, std::int32_t root, std::int64_t offset, std::int64_t remaining,
              std::int32_t& best, Scratch& scratch) const;
    void bestInSubtree(std::int32_t node, std::int64_t remaining, std::int32_t& best, Scratch& scratch) const;
    // The number of zero bytes from `at` on, counted up to one more than the longest path.
    std::int64_t zeroRun(ByteView area, std::int64_t at) const;
    void describe(ByteView area, std::int64_t pos, const CompiledPattern& pattern,
                  SQLiteTableHeaderInfo& info) const;

    static constexpr std::int32_t kPlainRoot = 0;
    static constexpr std::int32_t kRowIdRoot = 1;
    std::vector<Node> nodes_;
    std::vector<CompiledPattern> patterns_;
    // For the first examined positions of the plain patterns, by byte value: a bit per pattern
    // that allows that byte there (patterns past the 63rd share the last bit). Nearly every
    // candidate position fails these look-ups and never reaches the walk.
    static constexpr std::size_t kPrefilterDepth = 6;
    bool plainCandidate(const std::uint8_t* bytes, std::int64_t pos, std::int64_t length) const;
    bool plainCandidateAcrossVarints(const std::uint8_t* bytes, std::int64_t pos, std::int64_t length) const;
    std::array<std::array<std::uint64_t, 256>, kPrefilterDepth> plainMasks_{};
    // The one byte value that can begin a plain header's first examined position, if there is
    // only one; the scan then jumps over other bytes with memchr.
    int singleFirstByte_ = -1;
    bool hasPlain_ = false;
    bool hasRowId_ = false;
    bool hasOnePositionPlain_ = false;
    std::int64_t fewestPositions_ = 0;
    // The most examined positions of any pattern.
    std::int64_t longestPath_ = 0;
};

// A table's header patterns together with their compiled matchers; immutable once made, and
// shared by every engine that carves with them.
//
// Files of schema format 1 to 3 hold the integers 0 and 1 as one-byte integers (serial type 1)
// where format 4 writes the serial types 8 and 9. For them a second matcher lets every position
// that allows 8 or 9 allow 1 as well; such a one-byte value must then be 0 (where 8 is allowed)
// or 1 (where 9 is), which only the record's content can tell (oneByteValuesAllowed).
class CompiledTablePatterns {
public:
    static std::shared_ptr<const CompiledTablePatterns> Compile(std::vector<TablePattern> patterns);
    // No patterns at all: finds nothing.
    static const std::shared_ptr<const CompiledTablePatterns>& None();
    const std::vector<TablePattern>& patterns() const { return patterns_; }
    const HeaderMatcher& matcher(bool smallIntegersAsOneByte = false) const {
        return smallIntegersAsOneByte && oneByteMatcher_ ? *oneByteMatcher_ : matcher_;
    }
    // Bit v set: a one-byte integer at that position of the pattern (its index in patterns())
    // may hold the value v (0 or 1) only, in a file that writes small integers as one byte. 0:
    // any value, where the pattern allows serial type 1 itself or not at all.
    std::uint8_t oneByteValuesAllowed(std::size_t pattern, std::size_t position) const {
        if (pattern >= oneByteValues_.size() || position >= oneByteValues_[pattern].size())
            return 0;
        return oneByteValues_[pattern][position];
    }

private:
    std::vector<TablePattern> patterns_;
    HeaderMatcher matcher_;
    // Compiled only when some position allows 8 or 9 but not 1.
    std::unique_ptr<HeaderMatcher> oneByteMatcher_;
    std::vector<std::vector<std::uint8_t>> oneByteValues_;
};

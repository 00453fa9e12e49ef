#include "carving/HeaderMatcher.h"

#include <algorithm>
#include <cstring>

SerialTypeSet SerialTypeSet::FromValues(const std::vector<std::int32_t>& values,
                                        bool smallIntegersAsOneByte) {
    SerialTypeSet set;
    for (const std::int32_t v : values) {
        if (v >= 0) {
            if (v < 128)
                set.small_[static_cast<unsigned>(v) >> 6] |= std::uint64_t{1} << (v & 63);
            else
                set.largeExact_.push_back(v);
        } else {
            // -1 and -2 are the two text-or-blob classes; -N allows every type above N.
            const std::int64_t bound = v == -1 ? 11 : v == -2 ? 12 : -static_cast<std::int64_t>(v);
            set.above_ = std::min(set.above_, bound);
        }
    }
    // Every one-byte type above the bound.
    if (set.above_ < 127) {
        const std::int64_t from = std::max<std::int64_t>(set.above_ + 1, 0);
        for (std::size_t word = 0; word < 2; ++word) {
            const std::int64_t start =
                std::clamp<std::int64_t>(from - static_cast<std::int64_t>(word * 64), 0, 64);
            if (start < 64) set.small_[word] |= ~std::uint64_t{0} << start;
        }
    }
    const std::int64_t above = set.above_;
    std::erase_if(set.largeExact_, [above](std::int64_t t) { return t > above; });
    std::sort(set.largeExact_.begin(), set.largeExact_.end());
    set.largeExact_.erase(std::unique(set.largeExact_.begin(), set.largeExact_.end()),
                          set.largeExact_.end());
    set.acceptsLarge_ =
        set.above_ != std::numeric_limits<std::int64_t>::max() || !set.largeExact_.empty();
    if (smallIntegersAsOneByte && (set.accepts(8) || set.accepts(9))) set.small_[0] |= 2;
    return set;
}

bool SerialTypeSet::acceptsLargeValue(std::int64_t serialType) const {
    return serialType > above_ ||
           std::binary_search(largeExact_.begin(), largeExact_.end(), serialType);
}

void HeaderMatcher::compile(const std::vector<TablePattern>& patterns,
                            bool smallIntegersAsOneByte) {
    nodes_.assign(2, Node{});
    patterns_.clear();
    for (std::size_t source = 0; source < patterns.size(); ++source) {
        const auto positions = patterns[source].Header();
        if (positions.empty() || positions[0].empty()) continue;
        CompiledPattern compiled;
        compiled.source = source;
        compiled.rowIdMode = positions[0][0] >= 1;
        compiled.positions = static_cast<std::int64_t>(positions.size());
        const auto order = static_cast<std::int32_t>(patterns_.size());
        std::int32_t current = compiled.rowIdMode ? kRowIdRoot : kPlainRoot;
        for (std::size_t i = compiled.rowIdMode ? 3 : 1; i < positions.size(); ++i) {
            SerialTypeSet set = SerialTypeSet::FromValues(positions[i], smallIntegersAsOneByte);
            std::int32_t next = -1;
            for (const std::int32_t child : nodes_[static_cast<std::size_t>(current)].children)
                if (nodes_[static_cast<std::size_t>(child)].set == set) next = child;
            if (next < 0) {
                next = static_cast<std::int32_t>(nodes_.size());
                nodes_.push_back(Node{std::move(set), {}, kNone, kNone});
                nodes_[static_cast<std::size_t>(current)].children.push_back(next);
            }
            current = next;
            compiled.path.push_back(current);
        }
        auto& last = nodes_[static_cast<std::size_t>(current)];
        if (order < last.endingPattern) {
            last.endingPattern = order;
            last.endingPositions = compiled.positions;
        }
        patterns_.push_back(std::move(compiled));
    }

    // Children always come after their parent, so one backward pass settles every subtree.
    for (std::size_t i = nodes_.size(); i-- > 0;) {
        Node& node = nodes_[i];
        node.minPattern = node.endingPattern;
        for (const std::int32_t child : node.children)
            node.minPattern =
                std::min(node.minPattern, nodes_[static_cast<std::size_t>(child)].minPattern);
        std::sort(node.children.begin(), node.children.end(),
                  [this](std::int32_t a, std::int32_t b) {
                      return nodes_[static_cast<std::size_t>(a)].minPattern <
                             nodes_[static_cast<std::size_t>(b)].minPattern;
                  });
    }

    hasPlain_ = nodes_[kPlainRoot].minPattern != kNone;
    hasRowId_ = nodes_[kRowIdRoot].minPattern != kNone;
    hasOnePositionPlain_ = nodes_[kPlainRoot].endingPattern != kNone;
    fewestPositions_ = 0;
    longestPath_ = 0;
    for (const auto& p : patterns_) {
        fewestPositions_ =
            fewestPositions_ == 0 ? p.positions : std::min(fewestPositions_, p.positions);
        longestPath_ = std::max(longestPath_, static_cast<std::int64_t>(p.path.size()));
    }

    for (auto& masks : plainMasks_) masks.fill(0);
    for (std::size_t order = 0; order < patterns_.size(); ++order) {
        const CompiledPattern& pattern = patterns_[order];
        if (pattern.rowIdMode) continue;
        const std::uint64_t bit = std::uint64_t{1} << std::min<std::size_t>(order, 63);
        for (std::size_t i = 0; i < plainMasks_.size(); ++i) {
            auto& masks = plainMasks_[i];
            if (i >= pattern.path.size()) {
                // A pattern without this position may already have matched: any byte will do.
                for (auto& m : masks) m |= bit;
                continue;
            }
            const SerialTypeSet& set = nodes_[static_cast<std::size_t>(pattern.path[i])].set;
            for (std::uint64_t b = 0; b < 0x80; ++b)
                if (set.accepts(b)) masks[b] |= bit;
            // 0x80 never begins a shortest-form varint; 0x81 and up begin one of 128 or more.
            const std::uint64_t large = set.acceptsLarge() ? bit : 0;
            for (std::size_t b = 0x81; b < 0x100; ++b) masks[b] |= large;
        }
    }
    singleFirstByte_ = -1;
    int firstBytes = 0;
    for (int b = 0; b < 256; ++b)
        if (plainMasks_[0][static_cast<std::size_t>(b)] != 0) ++firstBytes, singleFirstByte_ = b;
    if (firstBytes != 1) singleFirstByte_ = -1;
}

std::shared_ptr<const CompiledTablePatterns> CompiledTablePatterns::Compile(
    std::vector<TablePattern> patterns) {
    auto compiled = std::make_shared<CompiledTablePatterns>();
    compiled->patterns_ = std::move(patterns);
    compiled->matcher_.compile(compiled->patterns_);
    bool widened = false;
    for (const TablePattern& pattern : compiled->patterns_) {
        const auto positions = pattern.Header();
        std::vector<std::uint8_t> values(positions.size(), 0);
        // Position 0 is never read as a serial type, nor are 1 and 2 in row-id mode.
        const std::size_t first =
            !positions.empty() && !positions[0].empty() && positions[0][0] >= 1 ? 3 : 1;
        for (std::size_t i = first; i < positions.size(); ++i) {
            const SerialTypeSet set = SerialTypeSet::FromValues(positions[i]);
            if (set.accepts(1)) continue;
            values[i] =
                static_cast<std::uint8_t>((set.accepts(8) ? 1 : 0) | (set.accepts(9) ? 2 : 0));
            widened = widened || values[i] != 0;
        }
        compiled->oneByteValues_.push_back(std::move(values));
    }
    if (widened) {
        compiled->oneByteMatcher_ = std::make_unique<HeaderMatcher>();
        compiled->oneByteMatcher_->compile(compiled->patterns_, true);
    }
    return compiled;
}

const std::shared_ptr<const CompiledTablePatterns>& CompiledTablePatterns::None() {
    static const std::shared_ptr<const CompiledTablePatterns> none = Compile({});
    return none;
}

bool HeaderMatcher::plainCandidate(const std::uint8_t* bytes, std::int64_t pos,
                                   std::int64_t length) const {
    // Near the end of the area a header may be cut off; leave that to the walk.
    if (pos + static_cast<std::int64_t>(kPrefilterDepth) >= length) return true;
    const std::uint8_t* b = bytes + pos + 1;
    // One-byte serial types throughout, the common case: independent look-ups, one test.
    std::uint8_t high = 0;
    for (std::size_t i = 0; i < kPrefilterDepth; ++i) high |= b[i];
    if ((high & 0x80) == 0) {
        std::uint64_t mask = plainMasks_[0][b[0]];
        for (std::size_t i = 1; i < kPrefilterDepth; ++i) mask &= plainMasks_[i][b[i]];
        return mask != 0;
    }
    return plainCandidateAcrossVarints(bytes, pos, length);
}

bool HeaderMatcher::plainCandidateAcrossVarints(const std::uint8_t* bytes, std::int64_t pos,
                                                std::int64_t length) const {
    // A longer varint moves the positions after it: step over it and go on. (Its value is only
    // known to be 128 or more; the walk checks it exactly.)
    std::uint64_t mask = ~std::uint64_t{0};
    std::int64_t at = pos + 1;
    for (std::size_t i = 0; i < kPrefilterDepth; ++i) {
        if (at >= length) return true;
        const std::uint8_t first = bytes[at];
        mask &= plainMasks_[i][first];
        if (mask == 0) return false;
        if (first < 0x80) {
            ++at;
            continue;
        }
        std::uint64_t value = 0;
        const int taken = ReadVarint(bytes + at, bytes + length, value);
        if (taken == 0) return true;  // the area ends here: a shorter pattern may have matched
        at += taken;
    }
    return true;
}

void HeaderMatcher::find(ByteView area, std::int64_t offset,
                         const std::vector<TablePattern>& patterns, SQLiteTableHeaderInfo& info,
                         Scratch& scratch, std::int64_t lastStart) const {
    info = SQLiteTableHeaderInfo{};
    // Every node is pushed at most once per walk: with this room no search allocates.
    if (scratch.stack_.capacity() < nodes_.size() + 2) scratch.stack_.reserve(nodes_.size() + 2);
    if (scratch.subtree_.capacity() < nodes_.size() + 2)
        scratch.subtree_.reserve(nodes_.size() + 2);
    const auto length = static_cast<std::int64_t>(area.size());
    if (patterns_.empty() || offset < 0 || length < fewestPositions_) return;
    const std::int64_t lastPos = std::min(length - fewestPositions_, lastStart);
    const std::uint8_t* bytes = area.data();
    // Row-id patterns are walked at every position; plain ones only where the prefilter passes.
    const bool plainOnly = hasPlain_ && !hasRowId_ && !hasOnePositionPlain_;
    // A header of either kind starting at a position whose next `zeroSpan` bytes are all zero
    // examines nothing but zeros: the row-id varint of a row-id pattern is one zero byte and two
    // bytes follow it unexamined.
    const std::int64_t zeroSpan = longestPath_ + 3;
    // The end of the last run of zeros measured, so that a run is measured once.
    std::int64_t measuredUntil = offset;
    for (std::int64_t pos = offset; pos <= lastPos; ++pos) {
        if (bytes[pos] == 0 && pos >= measuredUntil && !hasOnePositionPlain_ &&
            pos + std::max<std::int64_t>(zeroSpan, 8) <= length) {
            std::uint64_t word;
            std::memcpy(&word, bytes + pos, 8);
            if (word == 0) {
                // Skip to the last position whose span still reaches past the run of zeros.
                std::int64_t end = pos + 8;
                while (end + 8 <= length) {
                    std::memcpy(&word, bytes + end, 8);
                    if (word != 0) break;
                    end += 8;
                }
                while (end < length && bytes[end] == 0) ++end;
                measuredUntil = end;
                if (end - pos >= zeroSpan) {
                    pos = end - zeroSpan;  // the loop's ++pos makes it end - zeroSpan + 1
                    continue;
                }
            }
        }
        if (plainOnly && singleFirstByte_ >= 0 && bytes[pos + 1] != singleFirstByte_) {
            const void* hit = std::memchr(bytes + pos + 1, singleFirstByte_,
                                          static_cast<std::size_t>(lastPos - pos + 1));
            if (!hit) return;
            pos = static_cast<const std::uint8_t*>(hit) - bytes - 1;
        }
        // The first look-up alone turns most positions away.
        if (plainOnly &&
            (plainMasks_[0][bytes[pos + 1]] == 0 || !plainCandidate(bytes, pos, length)))
            continue;
        const std::int32_t best = bestAt(area, pos, plainOnly, scratch);
        if (best != kNone) {
            const CompiledPattern& pattern = patterns_[static_cast<std::size_t>(best)];
            if (pattern.source < patterns.size()) {
                describe(area, pos, pattern, info);
                info.tablePattern = &patterns[pattern.source];
            }
            return;
        }
    }
}

std::int32_t HeaderMatcher::bestAt(ByteView area, std::int64_t pos, bool plainChecked,
                                   Scratch& scratch) const {
    const std::int64_t remaining = static_cast<std::int64_t>(area.size()) - pos;
    std::int32_t best = kNone;
    if (hasPlain_ &&
        (plainChecked || plainCandidate(area.data(), pos, static_cast<std::int64_t>(area.size()))))
        walk(area, kPlainRoot, pos + 1, remaining, best, scratch);
    if (hasRowId_ && nodes_[kRowIdRoot].minPattern < best) {
        std::uint64_t rowId = 0;
        const int length = ReadVarint(area.data() + pos, area.data() + area.size(), rowId);
        if (length > 0) walk(area, kRowIdRoot, pos + length + 2, remaining, best, scratch);
    }
    return best;
}

void HeaderMatcher::walk(ByteView area, std::int32_t root, std::int64_t offset,
                         std::int64_t remaining, std::int32_t& best, Scratch& scratch) const {
    const auto length = static_cast<std::int64_t>(area.size());
    const std::uint8_t* bytes = area.data();
    const Node* nodes = nodes_.data();
    auto& pending = scratch.stack_;  // branches still to try, the nearest pattern on top
    pending.clear();
    std::int32_t current = root;
    std::int64_t at = offset;
    // A pattern whose examined positions all lie in these zero bytes reads only NULLs.
    const std::int64_t zeros = zeroRun(area, offset);
    while (true) {
        const Node& node = nodes[current];
        std::int32_t next = -1;
        const bool readSomething = at == offset || at - offset > zeros;
        if (node.minPattern < best) {
            if (readSomething && node.endingPattern < best && node.endingPositions <= remaining)
                best = node.endingPattern;
            if (!node.children.empty()) {
                if (at >= length) {
                    // The area ends inside the header: every pattern through here counts as
                    // matched.
                    if (readSomething) bestInSubtree(current, remaining, best, scratch);
                } else {
                    const std::uint8_t first = bytes[at];
                    std::uint64_t serialType = first;
                    int taken = first < 0x80 ? 1
                                : first == 0x80
                                    ? 0
                                    : ReadVarint(bytes + at, bytes + length, serialType);
                    if (taken > 0) {
                        // Follow the child that leads to the earliest pattern at once; keep the
                        // others.
                        for (std::size_t i = node.children.size(); i-- > 0;) {
                            const std::int32_t child = node.children[i];
                            const Node& candidate = nodes[child];
                            if (candidate.minPattern >= best || !candidate.set.accepts(serialType))
                                continue;
                            if (next >= 0) pending.push_back({next, at + taken});
                            next = child;
                        }
                        at += taken;
                    }
                }
            }
        }
        if (next >= 0) {
            current = next;
            continue;
        }
        if (pending.empty()) return;
        current = pending.back().node;
        at = pending.back().offset;
        pending.pop_back();
    }
}

std::int64_t HeaderMatcher::zeroRun(ByteView area, std::int64_t at) const {
    const std::int64_t limit =
        std::min<std::int64_t>(static_cast<std::int64_t>(area.size()), at + longestPath_ + 1);
    std::int64_t end = at;
    while (end < limit && area[static_cast<std::size_t>(end)] == 0) ++end;
    return end - at;
}

void HeaderMatcher::bestInSubtree(std::int32_t node, std::int64_t remaining, std::int32_t& best,
                                  Scratch& scratch) const {
    auto& pending = scratch.subtree_;
    pending.clear();
    pending.push_back(node);
    while (!pending.empty()) {
        const Node& n = nodes_[static_cast<std::size_t>(pending.back())];
        pending.pop_back();
        if (n.minPattern >= best) continue;
        if (n.endingPattern < best && n.endingPositions <= remaining) best = n.endingPattern;
        for (const std::int32_t child : n.children) pending.push_back(child);
    }
}

void HeaderMatcher::describe(ByteView area, std::int64_t pos, const CompiledPattern& pattern,
                             SQLiteTableHeaderInfo& info) const {
    const std::uint8_t* bytes = area.data();
    const std::uint8_t* end = bytes + area.size();
    const auto length = static_cast<std::int64_t>(area.size());
    info.Valid = true;
    info.HeaderStartIndex = pos;
    info.Header.reserve(static_cast<std::size_t>(std::max<std::int64_t>(pattern.positions, 3)));
    std::int64_t taken = 0;
    if (pattern.rowIdMode) {
        std::uint64_t rowId = 0;
        const int rowIdLength = ReadVarint(bytes + pos, end, rowId);
        info.RowId = static_cast<std::int64_t>(rowId);
        info.RowIdRead = true;
        info.Header.emplace_back(0, rowIdLength);
        info.Header.emplace_back(0, 1);
        info.Header.emplace_back(0, 1);
        taken = rowIdLength + 2;
    } else {
        info.Header.emplace_back(0, 1);
        taken = 1;
    }
    for (std::size_t i = 0; i < pattern.path.size(); ++i) {
        std::uint64_t serialType = 0;
        const int varintLength =
            pos + taken >= length ? 0 : ReadVarint(bytes + pos + taken, end, serialType);
        if (varintLength == 0) {
            info.HeaderTruncated = true;
            break;
        }
        info.Header.emplace_back(static_cast<std::int64_t>(serialType), varintLength);
        taken += varintLength;
    }
    info.headerDataTaken = taken;
}

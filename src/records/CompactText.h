#pragma once

#include "common/Types.h"
#include "records/RecordFields.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

// Text storage for records that a scan keeps by the million (the messages of a large
// database). An OptString costs 40 bytes in the record before its text has a byte; these keep
// one pointer in the record instead, and the getters answer an OptString built from it.

// Several texts of the record's own (a message's time, body and guid) in one allocation: the
// lengths first, then the bytes back to back. No allocation at all while every text is absent.
// A text in the GUID form of the messages database (36 characters, upper-case hexadecimal in
// groups of 8-4-4-4-12) is kept as its 16 bytes. Setting one text builds the block anew, so
// these suit texts set once while the record is made.
template <std::size_t N>
class CompactTexts {
public:
    CompactTexts() = default;
    CompactTexts(const CompactTexts& other) { copyFrom(other); }
    CompactTexts& operator=(const CompactTexts& other) {
        if (this != &other) copyFrom(other);
        return *this;
    }
    CompactTexts(CompactTexts&&) noexcept = default;
    CompactTexts& operator=(CompactTexts&&) noexcept = default;

    OptString get(std::size_t index) const {
        const std::uint32_t size = sizeAt(index);
        if (size == kAbsent) return std::nullopt;
        const char* bytes = data_.get() + offsetOf(index);
        if (size == kGuid) return GuidText(bytes);
        return std::string(bytes, size);
    }
    void set(std::size_t index, const OptString& text) {
        // SQLite's texts stay far below 4 GB; a longer one would not fit a length.
        if (text && text->size() >= kGuid) throw std::length_error("record text too long");
        std::array<std::uint32_t, N> sizes{};
        std::array<char, kGuidBytes> guid{};
        std::size_t total = sizeof sizes;
        for (std::size_t i = 0; i < N; ++i) {
            if (i != index)
                sizes[i] = sizeAt(i);
            else if (!text)
                sizes[i] = kAbsent;
            else if (GuidBytes(*text, guid))
                sizes[i] = kGuid;
            else
                sizes[i] = static_cast<std::uint32_t>(text->size());
            total += StoredSize(sizes[i]);
        }
        if (std::all_of(sizes.begin(), sizes.end(), [](auto s) { return s == kAbsent; })) {
            data_.reset();
            return;
        }
        auto data = std::make_unique_for_overwrite<char[]>(total);
        std::memcpy(data.get(), sizes.data(), sizeof sizes);
        char* out = data.get() + sizeof sizes;
        for (std::size_t i = 0; i < N; ++i) {
            const std::size_t stored = StoredSize(sizes[i]);
            if (stored == 0) continue;
            const char* from = i != index           ? data_.get() + offsetOf(i)
                               : sizes[i] == kGuid ? guid.data()
                                                   : text->data();
            std::memcpy(out, from, stored);
            out += stored;
        }
        data_ = std::move(data);
    }

private:
    static constexpr std::uint32_t kAbsent = 0xFFFFFFFF;
    static constexpr std::uint32_t kGuid = 0xFFFFFFFE;
    static constexpr std::size_t kGuidBytes = 16;
    static constexpr std::string_view kHex = "0123456789ABCDEF";

    static std::size_t StoredSize(std::uint32_t size) {
        return size == kAbsent ? 0 : size == kGuid ? kGuidBytes : size;
    }
    static bool IsGuidDash(std::size_t at) { return at == 8 || at == 13 || at == 18 || at == 23; }
    // The 16 bytes of a text in the GUID form; false for any other text.
    static bool GuidBytes(std::string_view text, std::array<char, kGuidBytes>& bytes) {
        if (text.size() != 36) return false;
        std::size_t nibble = 0;
        for (std::size_t at = 0; at < text.size(); ++at) {
            if (IsGuidDash(at)) {
                if (text[at] != '-') return false;
                continue;
            }
            const auto value = kHex.find(text[at]);
            if (value == std::string_view::npos) return false;
            auto& byte = reinterpret_cast<unsigned char&>(bytes[nibble / 2]);
            byte = static_cast<unsigned char>(nibble % 2 == 0 ? value << 4 : byte | value);
            ++nibble;
        }
        return true;
    }
    static std::string GuidText(const char* bytes) {
        std::string text;
        text.reserve(36);
        for (std::size_t i = 0; i < kGuidBytes; ++i) {
            if (IsGuidDash(text.size())) text += '-';
            const auto byte = static_cast<unsigned char>(bytes[i]);
            text += kHex[byte >> 4];
            text += kHex[byte & 0x0F];
        }
        return text;
    }

    std::uint32_t sizeAt(std::size_t index) const {
        if (!data_) return kAbsent;
        std::uint32_t size = 0;
        std::memcpy(&size, data_.get() + index * sizeof size, sizeof size);
        return size;
    }
    // Where the bytes of a text start in the block.
    std::size_t offsetOf(std::size_t index) const {
        std::size_t offset = N * sizeof(std::uint32_t);
        for (std::size_t i = 0; i < index; ++i) offset += StoredSize(sizeAt(i));
        return offset;
    }
    std::size_t blockSize() const { return data_ ? offsetOf(N) : 0; }
    void copyFrom(const CompactTexts& other) {
        if (!other.data_) {
            data_.reset();
            return;
        }
        const std::size_t size = other.blockSize();
        auto data = std::make_unique_for_overwrite<char[]>(size);
        std::memcpy(data.get(), other.data_.get(), size);
        data_ = std::move(data);
    }

    std::unique_ptr<char[]> data_;
};

// A text of the record's own (a message's body): kept as a CompactTexts block of one, so one
// allocation holding the length and the bytes, and none at all when absent.
class CompactText {
public:
    CompactText() = default;
    CompactText(const OptString& text) { set(text); }

    OptString get() const { return text_.get(0); }
    void set(const OptString& text) { text_.set(0, text); }

private:
    CompactTexts<1> text_;
};

// A text that many records share and that comes from a small fixed set (a message's type name):
// each distinct text is kept once for the life of the process, and the record points at it.
// Texts read from a file, however few they seem, belong in a SharedPooledText, which lets them
// go with their records; a text of every record of its own belongs in a CompactText.
class SharedText {
public:
    SharedText() = default;
    SharedText(const OptString& text) { set(text); }

    OptString get() const {
        if (!text_) return std::nullopt;
        return *text_;
    }
    void set(const OptString& text) { text_ = text ? Intern(*text) : nullptr; }

private:
    // The one stored copy of the text; safe to call from any thread.
    static const std::string* Intern(const std::string& text);

    const std::string* text_ = nullptr;
};

// A pool of texts that many records share (the partners' addresses of a messages database):
// each distinct text is kept once while some record holds it, and goes when the last one lets
// go, so the pool never outlives the records it serves. Safe to use from any thread.
class TextPool {
public:
    // The pooled copy of the text.
    static std::shared_ptr<const std::string> Intern(std::string_view text);
    // How many distinct texts the pool holds now.
    static std::size_t Size();
};

// A pooled text field that one thread may rewrite while others read it (the message service
// fills in a carved message's address while the screens and the export read it). Reads and
// writes take the field's lock from the small table that SharedRecordText uses, so a reader
// sees the whole old or the whole new text.
class SharedPooledText {
public:
    SharedPooledText() = default;
    SharedPooledText(const SharedPooledText& other) : text_(other.pointer()) {}
    SharedPooledText& operator=(const SharedPooledText& other) {
        if (this != &other) swapIn(other.pointer());
        return *this;
    }

    OptString get() const {
        const auto text = pointer();
        if (!text) return std::nullopt;
        return *text;
    }
    void set(const OptString& text) { swapIn(text ? TextPool::Intern(*text) : nullptr); }

private:
    std::shared_ptr<const std::string> pointer() const {
        std::lock_guard lock(SharedRecordText::LockOf(this));
        return text_;
    }
    // The old text is let go after the lock: its last release takes the pool's lock.
    void swapIn(std::shared_ptr<const std::string> text) {
        {
            std::lock_guard lock(SharedRecordText::LockOf(this));
            text_.swap(text);
        }
    }

    std::shared_ptr<const std::string> text_;
};

// A compact text field: a getter answering the text (by value) and a setter storing it.
#define TORVANE_COMPACT_TEXT_FIELD_OF_RECORD(Storage, Name, Setter) \
public:                                                            \
    OptString Name() const { return Name##_.get(); }               \
    void Setter(const OptString& v) { Name##_.set(v); }            \
                                                                   \
private:                                                           \
    Storage Name##_;                                               \
                                                                   \
public:

// One of the texts of a CompactTexts block: a getter answering the text (by value) and a setter
// storing it.
#define TORVANE_PACKED_TEXT_FIELD_OF_RECORD(Block, Index, Name, Setter) \
public:                                                                \
    OptString Name() const { return Block.get(Index); }                \
    void Setter(const OptString& v) { Block.set(Index, v); }           \
                                                                       \
public:

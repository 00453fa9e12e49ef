#pragma once

#include "common/Types.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// Text storage for records that a scan keeps by the million (the messages of a large
// database). An OptString costs 40 bytes in the record before its text has a byte; these keep
// one pointer in the record instead, and the getters answer an OptString built from it.

// A text of the record's own (a message's body, its guid): one allocation holding the length
// and the bytes; no allocation at all when absent.
class CompactText {
public:
    CompactText() = default;
    CompactText(const OptString& text) { assign(text); }
    CompactText(const CompactText& other) { copyFrom(other); }
    CompactText& operator=(const CompactText& other) {
        if (this != &other) copyFrom(other);
        return *this;
    }
    CompactText(CompactText&&) noexcept = default;
    CompactText& operator=(CompactText&&) noexcept = default;

    OptString get() const {
        if (!data_) return std::nullopt;
        return std::string(view());
    }
    void set(const OptString& text) { assign(text); }

private:
    std::string_view view() const {
        std::uint32_t size = 0;
        std::memcpy(&size, data_.get(), sizeof size);
        return {data_.get() + sizeof size, size};
    }
    void assign(const OptString& text) {
        if (!text) {
            data_.reset();
            return;
        }
        const auto size = static_cast<std::uint32_t>(text->size());
        auto data = std::make_unique_for_overwrite<char[]>(sizeof size + size);
        std::memcpy(data.get(), &size, sizeof size);
        std::memcpy(data.get() + sizeof size, text->data(), size);
        data_ = std::move(data);
    }
    void copyFrom(const CompactText& other) {
        if (!other.data_)
            data_.reset();
        else
            assign(std::string(other.view()));
    }

    std::unique_ptr<char[]> data_;
};

// A text that many records share (a partner's address, a type or service name): each distinct
// text is kept once for the life of the process, and the record points at it. Only for texts
// drawn from a small set; a text of every record of its own belongs in a CompactText.
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

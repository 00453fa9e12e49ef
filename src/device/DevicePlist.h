#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A property-list value owned by this object: what a device sends and receives. Accessors of
// another type than the value's answer "none", so a hostile message reads as one without the
// value. Copies copy the whole tree.
class PlistValue {
public:
    enum class Kind { None, Boolean, Integer, Real, String, Array, Dictionary, Date, Data, Other };

    PlistValue() = default;
    // Takes ownership of a libplist node (a plist_t).
    explicit PlistValue(void* node) : node_(node) {}
    PlistValue(const PlistValue& other);
    PlistValue(PlistValue&& other) noexcept : node_(other.node_) { other.node_ = nullptr; }
    PlistValue& operator=(PlistValue other) noexcept;
    ~PlistValue();

    static PlistValue dictionary();
    static PlistValue array();
    static PlistValue string(const std::string& text);
    static PlistValue integer(std::int64_t value);
    static PlistValue boolean(bool value);
    static PlistValue data(const std::vector<std::uint8_t>& bytes);
    // Seconds since 1970-01-01 UTC.
    static PlistValue date(std::int64_t unixSeconds);
    // Parses XML or binary property-list bytes; none when they do not parse, or when their shape
    // (nesting, size) is refused before they reach the parser. `error`, when given, says why.
    static PlistValue parse(const char* bytes, std::size_t size, std::string* error = nullptr);

    Kind kind() const;
    bool isNone() const { return node_ == nullptr; }
    explicit operator bool() const { return node_ != nullptr; }

    std::optional<std::string> asString() const;
    std::optional<std::int64_t> asInteger() const;
    std::optional<bool> asBoolean() const;
    std::optional<std::vector<std::uint8_t>> asData() const;
    // A scalar as text: a string as it is, numbers in decimal, true/false; none otherwise.
    std::optional<std::string> asText() const;

    // Dictionary access; a copy of the entry, none when missing or not a dictionary.
    PlistValue get(const std::string& key) const;
    std::optional<std::string> stringFor(const std::string& key) const { return get(key).asString(); }
    bool has(const std::string& key) const;
    std::vector<std::string> keys() const;
    PlistValue& set(const std::string& key, PlistValue value);

    // Array access.
    std::size_t size() const;
    PlistValue at(std::size_t index) const;
    PlistValue& append(PlistValue value);

    // The value as an XML property list (plist version 1.0, UTF-8); empty for none.
    std::string toXml() const;

    // The libplist node, still owned by this object.
    void* node() const { return node_; }
    // Gives up ownership of the node.
    void* release();

private:
    void* node_ = nullptr;
};

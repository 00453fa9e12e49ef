#pragma once

#include "common/Types.h"

#include <cstdint>
#include <string>
#include <variant>

// One value of one column, as SQLite stores it or as the carver decodes it from a record:
// absent (NULL), a 64-bit integer, a double, a text or a blob.
class ColumnValue {
public:
    ColumnValue() = default;
    ColumnValue(std::int64_t v) : value_(v) {}
    ColumnValue(int v) : value_(static_cast<std::int64_t>(v)) {}
    ColumnValue(double v) : value_(v) {}
    ColumnValue(std::string v) : value_(std::move(v)) {}
    ColumnValue(const char* v) : value_(std::string(v)) {}
    ColumnValue(Bytes v) : value_(std::move(v)) {}
    static ColumnValue Null() { return ColumnValue(); }

    bool isNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(value_); }
    bool isDouble() const { return std::holds_alternative<double>(value_); }
    bool isNumber() const { return isInteger() || isDouble(); }
    bool isText() const { return std::holds_alternative<std::string>(value_); }
    bool isBlob() const { return std::holds_alternative<Bytes>(value_); }

    // The stored integer or double; 0 for anything else. A double is truncated toward zero.
    std::int64_t asInteger() const;
    // The stored number as a double; 0.0 for anything else.
    double asDouble() const;
    // The stored text, or nullptr.
    const std::string* text() const { return std::get_if<std::string>(&value_); }
    // The stored blob, or nullptr.
    const Bytes* blob() const { return std::get_if<Bytes>(&value_); }

    // The value as text: a text as it is, an integer in decimal, a double in its shortest
    // round-trip form (integral doubles without a fraction), a blob's bytes read as UTF-8;
    // absent for NULL.
    OptString toText() const;

    bool operator==(const ColumnValue& other) const = default;

private:
    std::variant<std::monostate, std::int64_t, double, std::string, Bytes> value_;
};

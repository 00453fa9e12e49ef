#include "common/ColumnValue.h"

#include <charconv>
#include <cmath>

std::int64_t ColumnValue::asInteger() const {
    if (const auto* i = std::get_if<std::int64_t>(&value_)) return *i;
    if (const auto* d = std::get_if<double>(&value_)) {
        // Out-of-range doubles (and NaN) would be undefined behaviour in a plain cast.
        if (!std::isfinite(*d)) return 0;
        if (*d >= 9.2233720368547758e18) return INT64_MAX;
        if (*d <= -9.2233720368547758e18) return INT64_MIN;
        return static_cast<std::int64_t>(*d);
    }
    return 0;
}

double ColumnValue::asDouble() const {
    if (const auto* i = std::get_if<std::int64_t>(&value_)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&value_)) return *d;
    return 0.0;
}

OptString ColumnValue::toText() const {
    if (const auto* s = std::get_if<std::string>(&value_)) return *s;
    if (const auto* i = std::get_if<std::int64_t>(&value_)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&value_)) {
        char buf[64];
        auto res = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, res.ptr);
    }
    if (const auto* b = std::get_if<Bytes>(&value_)) return std::string(b->begin(), b->end());
    return std::nullopt;
}

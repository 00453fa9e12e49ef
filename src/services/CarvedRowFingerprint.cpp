#include "services/CarvedRowFingerprint.h"

#include <cstdint>

namespace {

void AppendLength(std::string& out, std::size_t length) {
    const auto n = static_cast<std::uint64_t>(length);
    out.append(reinterpret_cast<const char*>(&n), sizeof n);
}

}  // namespace

void CarvedRowFingerprint::add(const ColumnValue& value) {
    // A type tag and a length before every value keep "ab"+"c" apart from "a"+"bc".
    if (value.isNull()) {
        bytes_ += 'N';
    } else if (value.isInteger()) {
        bytes_ += 'I';
        const std::int64_t n = value.asInteger();
        bytes_.append(reinterpret_cast<const char*>(&n), sizeof n);
    } else if (value.isDouble()) {
        bytes_ += 'D';
        const double d = value.asDouble();
        bytes_.append(reinterpret_cast<const char*>(&d), sizeof d);
    } else if (const std::string* text = value.text()) {
        bytes_ += 'T';
        AppendLength(bytes_, text->size());
        bytes_ += *text;
    } else if (const Bytes* blob = value.blob()) {
        bytes_ += 'B';
        AppendLength(bytes_, blob->size());
        bytes_.append(reinterpret_cast<const char*>(blob->data()), blob->size());
    }
}

#include "device/DevicePlist.h"

#include "common/PropertyListShape.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <utility>

namespace {

// Apple dates count from 2001-01-01; libplist stores them that way.
constexpr std::int64_t kAppleEpochOffset = 978307200;

}  // namespace

PlistValue::PlistValue(const PlistValue& other)
    : node_(other.node_ ? plist_copy(static_cast<plist_t>(other.node_)) : nullptr) {}

PlistValue& PlistValue::operator=(PlistValue other) noexcept {
    std::swap(node_, other.node_);
    return *this;
}

PlistValue::~PlistValue() {
    if (node_) plist_free(static_cast<plist_t>(node_));
}

void* PlistValue::release() {
    void* node = node_;
    node_ = nullptr;
    return node;
}

PlistValue PlistValue::dictionary() {
    return PlistValue(plist_new_dict());
}
PlistValue PlistValue::array() {
    return PlistValue(plist_new_array());
}
PlistValue PlistValue::string(const std::string& text) {
    return PlistValue(plist_new_string(text.c_str()));
}
PlistValue PlistValue::integer(std::int64_t value) {
    return PlistValue(plist_new_uint(static_cast<std::uint64_t>(value)));
}
PlistValue PlistValue::boolean(bool value) {
    return PlistValue(plist_new_bool(value ? 1 : 0));
}
PlistValue PlistValue::data(const std::vector<std::uint8_t>& bytes) {
    return PlistValue(
        plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
PlistValue PlistValue::date(std::int64_t unixSeconds) {
    return PlistValue(plist_new_date(static_cast<std::int32_t>(unixSeconds - kAppleEpochOffset), 0));
}

PlistValue PlistValue::parse(const char* bytes, std::size_t size, std::string* error) {
    const auto refuse = [error](std::string why) {
        if (error) *error = std::move(why);
        return PlistValue();
    };
    if (!bytes || size == 0) return refuse("an empty property list");
    if (size > std::numeric_limits<std::uint32_t>::max()) return refuse("a property list too large to read");
    if (const auto problem = PropertyListShape::Problem(bytes, size))
        return refuse("a property list refused unread: " + *problem);
    plist_t node = nullptr;
    plist_from_memory(bytes, static_cast<std::uint32_t>(size), &node);
    if (!node) return refuse("no property list");
    return PlistValue(node);
}

PlistValue::Kind PlistValue::kind() const {
    if (!node_) return Kind::None;
    switch (plist_get_node_type(static_cast<plist_t>(node_))) {
        case PLIST_BOOLEAN:
            return Kind::Boolean;
        case PLIST_UINT:
            return Kind::Integer;
        case PLIST_REAL:
            return Kind::Real;
        case PLIST_STRING:
            return Kind::String;
        case PLIST_ARRAY:
            return Kind::Array;
        case PLIST_DICT:
            return Kind::Dictionary;
        case PLIST_DATE:
            return Kind::Date;
        case PLIST_DATA:
            return Kind::Data;
        default:
            return Kind::Other;
    }
}

std::optional<std::string> PlistValue::asString() const {
    if (kind() != Kind::String) return std::nullopt;
    char* text = nullptr;
    plist_get_string_val(static_cast<plist_t>(node_), &text);
    if (!text) return std::string();
    std::string result(text);
    std::free(text);
    return result;
}

std::optional<std::int64_t> PlistValue::asInteger() const {
    if (kind() != Kind::Integer) return std::nullopt;
    std::uint64_t value = 0;
    plist_get_uint_val(static_cast<plist_t>(node_), &value);
    return static_cast<std::int64_t>(value);
}

std::optional<bool> PlistValue::asBoolean() const {
    if (kind() != Kind::Boolean) return std::nullopt;
    std::uint8_t value = 0;
    plist_get_bool_val(static_cast<plist_t>(node_), &value);
    return value != 0;
}

std::optional<std::vector<std::uint8_t>> PlistValue::asData() const {
    if (kind() != Kind::Data) return std::nullopt;
    char* bytes = nullptr;
    std::uint64_t length = 0;
    plist_get_data_val(static_cast<plist_t>(node_), &bytes, &length);
    std::vector<std::uint8_t> result;
    if (bytes) result.assign(bytes, bytes + length);
    std::free(bytes);
    return result;
}

std::optional<std::string> PlistValue::asText() const {
    switch (kind()) {
        case Kind::String:
            return asString();
        case Kind::Integer:
            return std::to_string(*asInteger());
        case Kind::Boolean:
            return std::string(*asBoolean() ? "true" : "false");
        case Kind::Real: {
            double value = 0;
            plist_get_real_val(static_cast<plist_t>(node_), &value);
            return std::to_string(value);
        }
        default:
            return std::nullopt;
    }
}

PlistValue PlistValue::get(const std::string& key) const {
    if (kind() != Kind::Dictionary) return {};
    plist_t item = plist_dict_get_item(static_cast<plist_t>(node_), key.c_str());
    return item ? PlistValue(plist_copy(item)) : PlistValue();
}

bool PlistValue::has(const std::string& key) const {
    return kind() == Kind::Dictionary &&
           plist_dict_get_item(static_cast<plist_t>(node_), key.c_str()) != nullptr;
}

std::vector<std::string> PlistValue::keys() const {
    std::vector<std::string> result;
    if (kind() != Kind::Dictionary) return result;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(static_cast<plist_t>(node_), &iter);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(static_cast<plist_t>(node_), iter, &key, &value);
        if (!key) break;
        result.emplace_back(key);
        std::free(key);
    }
    std::free(iter);
    return result;
}

PlistValue& PlistValue::set(const std::string& key, PlistValue value) {
    if (kind() == Kind::Dictionary && value)
        plist_dict_set_item(static_cast<plist_t>(node_), key.c_str(),
                            static_cast<plist_t>(value.release()));
    return *this;
}

std::size_t PlistValue::size() const {
    if (kind() == Kind::Array) return plist_array_get_size(static_cast<plist_t>(node_));
    if (kind() == Kind::Dictionary) return plist_dict_get_size(static_cast<plist_t>(node_));
    return 0;
}

PlistValue PlistValue::at(std::size_t index) const {
    if (kind() != Kind::Array || index >= size()) return {};
    plist_t item = plist_array_get_item(static_cast<plist_t>(node_), static_cast<std::uint32_t>(index));
    return item ? PlistValue(plist_copy(item)) : PlistValue();
}

PlistValue& PlistValue::append(PlistValue value) {
    if (kind() == Kind::Array && value)
        plist_array_append_item(static_cast<plist_t>(node_), static_cast<plist_t>(value.release()));
    return *this;
}

std::string PlistValue::toXml() const {
    if (!node_) return {};
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(static_cast<plist_t>(node_), &xml, &length);
    std::string result = xml ? std::string(xml, length) : std::string();
    std::free(xml);
    return result;
}

#include "common/PropertyList.h"

#include "common/FileUtils.h"
#include "common/PropertyListShape.h"

#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

namespace {

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.compare(at, prefix.size(), prefix) == 0;
}

}  // namespace

OptString PlistDictionary::string(const char* key) const {
    plist_t value = plist_dict_get_item(node_, key);
    if (!value || plist_get_node_type(value) != PLIST_STRING) return std::nullopt;
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(value, &length);
    if (!text) return std::nullopt;
    return std::string(text, static_cast<std::size_t>(length));
}

std::optional<bool> PlistDictionary::boolean(const char* key) const {
    plist_t value = plist_dict_get_item(node_, key);
    if (!value || plist_get_node_type(value) != PLIST_BOOLEAN) return std::nullopt;
    std::uint8_t flag = 0;
    plist_get_bool_val(value, &flag);
    return flag != 0;
}

std::optional<double> PlistDictionary::appleSeconds(const char* key) const {
    plist_t value = plist_dict_get_item(node_, key);
    if (!value || plist_get_node_type(value) != PLIST_DATE) return std::nullopt;
    std::int32_t seconds = 0;
    std::int32_t micros = 0;
    plist_get_date_val(value, &seconds, &micros);
    return static_cast<double>(seconds) + static_cast<double>(micros) / 1e6;
}

std::optional<std::int64_t> PlistDictionary::integer(const char* key) const {
    plist_t value = plist_dict_get_item(node_, key);
    if (!value || plist_get_node_type(value) != PLIST_UINT) return std::nullopt;
    // The library keeps every integer in 64 bits; negative ones read back as they were.
    std::uint64_t number = 0;
    plist_get_uint_val(value, &number);
    return static_cast<std::int64_t>(number);
}

std::vector<PlistDictionary> PlistDictionary::dictionaries(const char* key) const {
    std::vector<PlistDictionary> result;
    plist_t array = plist_dict_get_item(node_, key);
    if (!array || plist_get_node_type(array) != PLIST_ARRAY) return result;
    const std::uint32_t size = plist_array_get_size(array);
    for (std::uint32_t i = 0; i < size; ++i) {
        plist_t item = plist_array_get_item(array, i);
        if (item && plist_get_node_type(item) == PLIST_DICT) result.push_back(PlistDictionary(item));
    }
    return result;
}

std::optional<PlistDictionary> PlistDictionary::dictionary(const char* key) const {
    plist_t value = plist_dict_get_item(node_, key);
    if (!value || plist_get_node_type(value) != PLIST_DICT) return std::nullopt;
    return PlistDictionary(value);
}

void PropertyListFile::Free::operator()(void* node) const {
    plist_free(node);
}

bool PropertyListFile::looksLikePropertyList(const std::string& path) {
    const std::optional<Bytes> start = FileUtils::readStartofFile(path, 64);
    if (!start) return false;
    const std::string_view text(reinterpret_cast<const char*>(start->data()), start->size());
    if (StartsWith(text, 0, "bplist")) return true;
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos &&
           (StartsWith(text, first, "<?xml") || StartsWith(text, first, "<plist") ||
            StartsWith(text, first, "<!DOCTYPE plist"));
}

std::optional<PropertyListFile> PropertyListFile::read(const std::string& path) {
    if (!FileUtils::fileExistsAtPath(path)) return std::nullopt;
    // One byte more than allowed tells a file that is too large from one that fits exactly.
    const std::optional<Bytes> data =
        FileUtils::readStartofFile(path, static_cast<std::int32_t>(kMaxBytes + 1));
    if (!data) return std::nullopt;  // the reader has said why
    if (data->size() > kMaxBytes) {
        std::cerr << ("property list " + path + " is too large to read\n");
        return std::nullopt;
    }
    if (data->empty()) {
        std::cerr << ("property list " + path + " is empty\n");
        return std::nullopt;
    }
    const char* text = reinterpret_cast<const char*>(data->data());
    const auto size = static_cast<std::uint32_t>(data->size());
    if (const auto problem = PropertyListShape::Problem(data->data(), data->size())) {
        std::cerr << ("property list " + path + " is refused: " + *problem + "\n");
        return std::nullopt;
    }
    plist_t tree = nullptr;
    plist_from_memory(text, size, &tree);
    if (!tree) {
        std::cerr << ("property list " + path + " cannot be parsed\n");
        return std::nullopt;
    }
    PropertyListFile file(tree);
    if (plist_get_node_type(tree) != PLIST_DICT) {
        std::cerr << ("property list " + path + " holds no dictionary\n");
        return std::nullopt;
    }
    return file;
}

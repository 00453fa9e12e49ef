#include "common/PropertyList.h"

#include "common/FileUtils.h"

#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

namespace {

// The parser recurses once per level and, for binary lists, copies an object every time it is
// referenced, so a small hostile file can exhaust the stack or the memory. Property lists of
// backups are shallow and have at most some thousand values; anything far beyond is refused
// before the parser sees it.
constexpr std::size_t kMaxDepth = 256;
constexpr std::uint64_t kMaxValues = 1u << 20;

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.compare(at, prefix.size(), prefix) == 0;
}

// XML: depth by the containers opened and closed, size by the elements opened.
bool XmlShapeIsSafe(std::string_view xml) {
    std::size_t depth = 0;
    std::uint64_t elements = 0;
    for (std::size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at + 1)) {
        if (StartsWith(xml, at, "</array") || StartsWith(xml, at, "</dict")) {
            if (depth > 0) --depth;
            continue;
        }
        if (at + 1 >= xml.size() || !std::isalpha(static_cast<unsigned char>(xml[at + 1])))
            continue;
        if (++elements > kMaxValues) return false;
        if (!StartsWith(xml, at, "<array") && !StartsWith(xml, at, "<dict")) continue;
        const std::size_t end = xml.find('>', at);
        if (end == std::string_view::npos) return true;  // unterminated: the parser refuses it
        if (xml[end - 1] == '/') continue;               // an empty container
        if (++depth > kMaxDepth) return false;
    }
    return true;
}

std::uint64_t ReadBigEndian(const std::uint8_t* bytes, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = value << 8 | bytes[i];
    return value;
}

bool IsFieldSize(std::uint64_t size) {
    return size == 1 || size == 2 || size == 4 || size == 8;
}

// Binary: a walk of the object graph from the top object that refuses references out of range,
// cycles, paths deeper than kMaxDepth and a tree (shared objects counted once per reference)
// larger than kMaxValues.
class BinaryShape {
public:
    BinaryShape(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool isSafe() {
        if (size_ < 8 + 32) return false;
        const std::uint8_t* trailer = data_ + size_ - 32;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        objects_ = ReadBigEndian(trailer + 8, 8);
        const std::uint64_t top = ReadBigEndian(trailer + 16, 8);
        table_ = ReadBigEndian(trailer + 24, 8);
        if (!IsFieldSize(offsetSize_) || !IsFieldSize(refSize_)) return false;
        if (objects_ == 0 || objects_ > kMaxValues || top >= objects_) return false;
        const std::uint64_t objectsEnd = size_ - 32;
        if (table_ < 8 || table_ > objectsEnd) return false;
        if (objects_ > (objectsEnd - table_) / offsetSize_) return false;
        return walkFrom(top);
    }

private:
    struct Container {
        std::uint64_t object;
        std::uint64_t firstRef;  // where its references start
        std::uint64_t refs;      // how many (a dictionary's keys and values both count)
        std::uint64_t next = 0;
    };

    // The references an object holds; false when they do not lie within the object area.
    bool referencesOf(std::uint64_t object, Container& out) const {
        const std::uint64_t offset =
            ReadBigEndian(data_ + table_ + object * offsetSize_, offsetSize_);
        if (offset < 8 || offset >= table_) return false;
        out = Container{object, 0, 0};
        const std::uint8_t marker = data_[offset];
        const unsigned type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) return true;  // holds no references
        std::uint64_t count = marker & 0x0F;
        std::uint64_t at = offset + 1;
        if (count == 0x0F) {  // the count follows as an integer object
            if (at >= table_ || (data_[at] >> 4) != 0x1) return false;
            const std::uint64_t bytes = std::uint64_t{1} << (data_[at] & 0x0F);
            if (bytes > 8 || table_ - at - 1 < bytes) return false;
            count = ReadBigEndian(data_ + at + 1, bytes);
            at += 1 + bytes;
        }
        if (type == 0xD) {
            if (count > UINT64_MAX / 2) return false;
            count *= 2;
        }
        if (count > (table_ - at) / refSize_) return false;
        out.firstRef = at;
        out.refs = count;
        return true;
    }

    std::uint64_t reference(const Container& c, std::uint64_t index) const {
        return ReadBigEndian(data_ + c.firstRef + index * refSize_, refSize_);
    }

    bool walkFrom(std::uint64_t top) {
        enum : std::uint8_t { Unseen, Open, Done };
        std::vector<std::uint8_t> state(objects_, Unseen);
        std::vector<std::uint32_t> values(objects_, 0);  // tree size below, saturated
        std::vector<std::uint16_t> height(objects_, 0);  // levels below, at most kMaxDepth
        std::vector<Container> path;

        Container first;
        if (!referencesOf(top, first)) return false;
        state[top] = Open;
        path.push_back(first);
        while (!path.empty()) {
            Container& current = path.back();
            if (current.next < current.refs) {
                const std::uint64_t child = reference(current, current.next++);
                if (child >= objects_ || state[child] == Open) return false;  // out of range, cycle
                if (state[child] == Done) {
                    if (path.size() + height[child] > kMaxDepth) return false;
                    continue;
                }
                if (path.size() >= kMaxDepth) return false;
                Container next;
                if (!referencesOf(child, next)) return false;
                state[child] = Open;
                path.push_back(next);
                continue;
            }
            std::uint64_t total = 1;
            std::uint16_t below = 0;
            for (std::uint64_t i = 0; i < current.refs; ++i) {
                const std::uint64_t child = reference(current, i);
                total = std::min<std::uint64_t>(total + values[child], kMaxValues + 1);
                below =
                    std::max<std::uint16_t>(below, static_cast<std::uint16_t>(height[child] + 1));
            }
            if (total > kMaxValues) return false;
            values[current.object] = static_cast<std::uint32_t>(total);
            height[current.object] = below;
            state[current.object] = Done;
            path.pop_back();
        }
        return true;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::uint64_t offsetSize_ = 0;
    std::uint64_t refSize_ = 0;
    std::uint64_t objects_ = 0;
    std::uint64_t table_ = 0;
};

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
    const bool safe = plist_is_binary(text, size)
                          ? BinaryShape(data->data(), data->size()).isSafe()
                          : XmlShapeIsSafe(std::string_view(text, data->size()));
    if (!safe) {
        std::cerr << ("property list " + path + " is malformed, too deep or too large\n");
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

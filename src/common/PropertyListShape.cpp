#include "common/PropertyListShape.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace PropertyListShape {

namespace {

const std::string kTooDeep = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
const std::string kTooLarge = "more than " + std::to_string(kMaxValues) + " values";

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.compare(at, prefix.size(), prefix) == 0;
}

bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':';
}

// Counts the nesting of XML elements, never less than a parser would see it.
class XmlShape {
public:
    explicit XmlShape(std::string_view xml) : xml_(xml) {}

    std::optional<std::string> problem() {
        std::size_t at = xml_.find('<');
        while (at != std::string_view::npos) {
            std::size_t next = at + 1;
            if (StartsWith(xml_, at, "<!--")) {
                next = skipRegion(at + 4, "-->");
            } else if (StartsWith(xml_, at, "<![CDATA[")) {
                next = skipRegion(at + 9, "]]>");
            } else if (StartsWith(xml_, at, "<?")) {
                next = skipRegion(at + 2, "?>");
            } else if (StartsWith(xml_, at, "<!")) {
                next = skipMarkup(at + 2, true);
            } else if (StartsWith(xml_, at, "</")) {
                if (depth_ > 0) --depth_;
                next = at + 2;
            } else {
                next = openTag(at);
            }
            if (failure_) return failure_;
            at = next >= xml_.size() ? std::string_view::npos : xml_.find('<', next);
        }
        return std::nullopt;
    }

private:
    void open() {
        if (++elements_ > kMaxValues) failure_ = kTooLarge;
        else if (++depth_ > kMaxDepth) failure_ = kTooDeep;
    }

    // Inside text that is no markup to us, every '<' that could open an element still counts as
    // one (a parser may end the text sooner), and no closing tag counts.
    void countOpensIn(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to && !failure_; ++i)
            if (xml_[i] == '<' && i + 1 < xml_.size() && xml_[i + 1] != '/') open();
    }

    std::size_t skipRegion(std::size_t from, std::string_view end) {
        const std::size_t found = xml_.find(end, from);
        const std::size_t stop = found == std::string_view::npos ? xml_.size() : found + end.size();
        countOpensIn(from, stop);
        return stop;
    }

    // Where markup that began before `from` ends: just past the first '>' outside quotes (and,
    // for a declaration such as <!DOCTYPE ...>, outside its brackets), or at the end. What lies
    // inside is no markup to us.
    std::size_t skipMarkup(std::size_t from, bool brackets) {
        int nested = 0;
        char quote = 0;
        std::size_t i = from;
        for (; i < xml_.size(); ++i) {
            const char c = xml_[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (brackets && c == '[') {
                ++nested;
            } else if (brackets && c == ']') {
                if (nested > 0) --nested;
            } else if (c == '>' && nested == 0) {
                break;
            }
        }
        const std::size_t stop = std::min(i + 1, xml_.size());
        countOpensIn(from, stop);
        return stop;
    }

    // An opening tag: an element, unless it is plainly empty ("<true/>", "<array />"). It ends at
    // the first '>' outside quotes.
    std::size_t openTag(std::size_t at) {
        std::size_t name = at + 1;
        while (name < xml_.size() && IsNameCharacter(xml_[name])) ++name;
        std::size_t after = name;
        while (after < xml_.size() && (xml_[after] == ' ' || xml_[after] == '\t' || xml_[after] == '\r' ||
                                       xml_[after] == '\n'))
            ++after;
        if (name > at + 1 && StartsWith(xml_, after, "/>")) {
            if (++elements_ > kMaxValues) failure_ = kTooLarge;
            return after + 2;
        }
        open();
        return skipMarkup(name, false);
    }

    std::string_view xml_;
    std::size_t depth_ = 0;
    std::uint64_t elements_ = 0;
    std::optional<std::string> failure_;
};

std::uint64_t ReadBigEndian(const std::uint8_t* bytes, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = value << 8 | bytes[i];
    return value;
}

bool IsFieldSize(std::uint64_t size) {
    return size == 1 || size == 2 || size == 4 || size == 8;
}

// Binary: a walk of the object graph from the top object.
class BinaryShape {
public:
    BinaryShape(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::optional<std::string> problem() {
        if (size_ < 8 + 32) return std::string("too short for its trailer");
        const std::uint8_t* trailer = data_ + size_ - 32;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        objects_ = ReadBigEndian(trailer + 8, 8);
        const std::uint64_t top = ReadBigEndian(trailer + 16, 8);
        table_ = ReadBigEndian(trailer + 24, 8);
        if (!IsFieldSize(offsetSize_) || !IsFieldSize(refSize_)) return std::string("a malformed trailer");
        if (objects_ > kMaxValues) return kTooLarge;
        if (objects_ == 0 || top >= objects_) return std::string("a malformed trailer");
        const std::uint64_t objectsEnd = size_ - 32;
        if (table_ < 8 || table_ > objectsEnd || objects_ > (objectsEnd - table_) / offsetSize_)
            return std::string("an offset table outside the file");
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
        const std::uint64_t offset = ReadBigEndian(data_ + table_ + object * offsetSize_, offsetSize_);
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

    std::optional<std::string> walkFrom(std::uint64_t top) {
        const std::string astray = "object references outside the file or in a cycle";
        enum : std::uint8_t { Unseen, Open, Done };
        std::vector<std::uint8_t> state(objects_, Unseen);
        std::vector<std::uint32_t> values(objects_, 0);  // tree size below, saturated
        std::vector<std::uint16_t> height(objects_, 0);  // levels below, at most kMaxDepth
        std::vector<Container> path;

        Container first;
        if (!referencesOf(top, first)) return astray;
        state[top] = Open;
        path.push_back(first);
        while (!path.empty()) {
            Container& current = path.back();
            if (current.next < current.refs) {
                const std::uint64_t child = reference(current, current.next++);
                if (child >= objects_ || state[child] == Open) return astray;
                if (state[child] == Done) {
                    if (path.size() + height[child] > kMaxDepth) return kTooDeep;
                    continue;
                }
                if (path.size() >= kMaxDepth) return kTooDeep;
                Container next;
                if (!referencesOf(child, next)) return astray;
                state[child] = Open;
                path.push_back(next);
                continue;
            }
            std::uint64_t total = 1;
            std::uint16_t below = 0;
            for (std::uint64_t i = 0; i < current.refs; ++i) {
                const std::uint64_t child = reference(current, i);
                total = std::min<std::uint64_t>(total + values[child], kMaxValues + 1);
                below = std::max<std::uint16_t>(below, static_cast<std::uint16_t>(height[child] + 1));
            }
            if (total > kMaxValues) return kTooLarge;
            values[current.object] = static_cast<std::uint32_t>(total);
            height[current.object] = below;
            state[current.object] = Done;
            path.pop_back();
        }
        return std::nullopt;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::uint64_t offsetSize_ = 0;
    std::uint64_t refSize_ = 0;
    std::uint64_t objects_ = 0;
    std::uint64_t table_ = 0;
};

}  // namespace

std::optional<std::string> Problem(const void* bytes, std::size_t size) {
    const auto* data = static_cast<const std::uint8_t*>(bytes);
    if (!data || size == 0) return std::string("empty");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The library takes bytes that begin with "bplist00" as binary, anything else as XML.
    if (StartsWith(text, 0, "bplist00")) return BinaryShape(data, size).problem();
    return XmlShape(text).problem();
}

}  // namespace PropertyListShape

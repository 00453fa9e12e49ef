#pragma once

#include "common/Types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A read-only view of one dictionary inside a parsed property list. A key whose value has
// another type than the one asked for counts as missing, so a hostile file reads as one
// without the key.
class PlistDictionary {
public:
    OptString string(const char* key) const;
    std::optional<bool> boolean(const char* key) const;
    // A date value, as seconds since 2001-01-01 00:00:00 UTC.
    std::optional<double> appleSeconds(const char* key) const;
    std::optional<std::int64_t> integer(const char* key) const;
    std::optional<PlistDictionary> dictionary(const char* key) const;
    // The dictionaries in the array of that key, in order; items of other types are left out.
    std::vector<PlistDictionary> dictionaries(const char* key) const;

private:
    friend class PropertyListFile;
    explicit PlistDictionary(void* node) : node_(node) {}
    void* node_;  // owned by the PropertyListFile it came from
};

// A property list file (XML or binary) whose root is a dictionary.
class PropertyListFile {
public:
    // Files larger than this are not read (a backup's Info.plist is a few megabytes at most).
    static constexpr std::size_t kMaxBytes = 64u << 20;

    // The parsed file; none when it is missing, no regular file, too large, cannot be parsed
    // or has another root than a dictionary (a line on stderr says which).
    static std::optional<PropertyListFile> read(const std::string& path);
    // Whether the file begins as a property list does (binary, or XML with its declaration or
    // plist element), whatever else it holds.
    static bool looksLikePropertyList(const std::string& path);

    PlistDictionary root() const { return PlistDictionary(tree_.get()); }

private:
    struct Free {
        void operator()(void* node) const;
    };
    explicit PropertyListFile(void* tree) : tree_(tree) {}
    std::unique_ptr<void, Free> tree_;
};

#pragma once

#include "common/Types.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which decoded column of a carved record fills which field of a recovery record. Column is the
// position in the record-header pattern (position 0 stands for the bytes before the serial types).
class AttributesMapping {
public:
    AttributesMapping() = default;
    AttributesMapping(OptString name, std::int64_t column) : Name_(std::move(name)), Column_(column) {}

    const OptString& Name() const { return Name_; }
    void setName(OptString name) { Name_ = std::move(name); }
    std::int64_t Column() const { return Column_; }
    void setColumn(std::int64_t column) { Column_ = column; }

private:
    OptString Name_;
    std::int64_t Column_ = 0;
};

// One record-header layout of a table, valid for a set of iOS versions. The header pattern text
// has one field per header position separated by ";", each a comma-separated list of allowed
// serial types, usually in brackets: "[0];[0];[13,-1]". A value v >= 0 allows serial type v; -1
// allows any type above 11 (any text or blob), -2 any above 12, and -N (N > 2) any above N.
class TablePattern {
public:
    const std::vector<std::string>& SupportedVersions() const { return SupportedVersions_; }
    // Adds the versions that one <version value="..."> names: "iOS456" stands for iOS4, iOS5,
    // iOS6 and itself; any other value only for itself.
    void addVersion(std::string_view value);
    bool CheckIfVersionSupported(std::string_view version) const;

    const OptString& columns() const { return columns_; }
    void setColumns(OptString text) { columns_ = std::move(text); }
    const OptString& headerPattern() const { return headerPattern_; }
    void setHeaderPattern(OptString text) { headerPattern_ = std::move(text); }

    const std::vector<::AttributesMapping>& AttributesMapping() const { return AttributesMapping_; }
    void addAttributesMapping(::AttributesMapping mapping) {
        AttributesMapping_.push_back(std::move(mapping));
    }
    // The first mapping that names column, or nullptr.
    const ::AttributesMapping* mappingForColumn(std::int64_t column) const;
    // The attribute name the first mapping of column gives it, or nullptr when it has none.
    const std::string* mappedName(std::int64_t column) const;

    // The header pattern as one list of allowed values per position; empty when none is set.
    std::vector<std::vector<std::int32_t>> Header() const;

private:
    std::vector<std::string> SupportedVersions_;
    OptString columns_;
    OptString headerPattern_;
    std::vector<::AttributesMapping> AttributesMapping_;
};

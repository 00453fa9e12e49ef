#pragma once

#include <filesystem>
#include <string>
#include <system_error>

// The one name of a file however a path spells it: absolute, with ".", "..", doubled slashes and
// symbolic links resolved as far as the file exists. Two paths of the same file give the same
// text. Empty for an empty path.
inline std::string SameFileKey(const std::string& path) {
    if (path.empty()) return {};
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    if (error) return std::filesystem::path(path).lexically_normal().string();
    return canonical.string();
}

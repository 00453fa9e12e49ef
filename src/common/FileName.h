#pragma once

#include <string>
#include <string_view>

// A name that can stand as one file or folder name inside a folder of our choosing: path
// separators and control characters become "_", a leading "." becomes "_" (no hidden files,
// no "." or ".." escapes), and an empty name becomes "_".
std::string MakeSafeFileName(std::string_view name);

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest file or folder name (in bytes) that the file systems we write to accept.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// A name that can stand as one file or folder name inside a folder of our choosing: path
// separators and control characters become "_", a leading "." becomes "_" (no hidden files,
// no "." or ".." escapes), and an empty name becomes "_".
std::string MakeSafeFileName(std::string_view name);

// The longest start of the text that has at most maxBytes bytes and does not end inside a
// UTF-8 character.
std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes);

// The name cut to at most maxBytes bytes, at a character boundary, keeping its extension (the
// part from the last ".", when that is short): "a very long name.csv" -> "a very l.csv".
std::string FitFileName(std::string_view name, std::size_t maxBytes = kMaxFileNameBytes);

// The mkstemp pattern of a hidden temporary file beside `target` (a path):
// "<folder>/.<name>.<tag>-XXXXXX", the name cut (FitFileName) so that the whole file name stays
// within kMaxFileNameBytes whatever the target's name. `tag` is a short word ("tmp", "part").
std::string TemporaryPatternBeside(std::string_view target, std::string_view tag);

// The name with " (n)" put before its extension: "IMG_0001.JPG", 2 -> "IMG_0001 (2).JPG";
// cut as FitFileName does when the result would be longer than maxBytes.
std::string NumberedFileName(std::string_view name, int number,
                             std::size_t maxBytes = kMaxFileNameBytes);

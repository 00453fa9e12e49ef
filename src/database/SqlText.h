#pragma once

#include <string>
#include <string_view>

// The text as a LIKE pattern that matches it literally, for statements that add their own
// wildcards around it and end in ESCAPE '\'.
inline std::string EscapeLikePattern(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

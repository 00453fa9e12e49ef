#include "common/HtmlText.h"

#include <string>

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

OptString stringByStrippingHTML(const OptString& text) {
    if (!text) return std::nullopt;
    const std::string& in = *text;
    std::string out;
    out.reserve(in.size());
    std::size_t pos = 0;
    while (pos < in.size()) {
        const std::size_t open = in.find('<', pos);
        if (open == std::string::npos) break;
        if (open + 1 < in.size() && IsAsciiLetter(in[open + 1])) {
            const std::size_t close = in.find('>', open + 2);
            if (close == std::string::npos) break;
            out.append(in, pos, open - pos);
            out += ' ';
            pos = close + 1;
        } else {
            out.append(in, pos, open + 1 - pos);
            pos = open + 1;
        }
    }
    out.append(in, pos, std::string::npos);
    return out;
}

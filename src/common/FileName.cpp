#include "common/FileName.h"

std::string MakeSafeFileName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) c = '_';
    }
    if (out.empty()) return "_";
    if (out.front() == '.') out.front() = '_';
    return out;
}

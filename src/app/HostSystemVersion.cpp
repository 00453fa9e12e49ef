#include "app/HostSystemVersion.h"

#include "common/FileUtils.h"

#include <sys/utsname.h>

#include <charconv>

namespace {

std::int32_t LeadingNumber(std::string_view text) {
    std::int32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// An os-release value: quotes removed, backslash escapes resolved.
std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        out += value[i];
    }
    return out;
}

}  // namespace

void HostSystemVersion::parseVersionNumbers() {
    const std::string_view text = version;
    const auto dot = text.find('.');
    major = LeadingNumber(text.substr(0, dot));
    minor = dot == std::string_view::npos ? 0 : LeadingNumber(text.substr(dot + 1));
}

HostSystemVersion HostSystemVersion::fromOsRelease(std::string_view text) {
    HostSystemVersion result;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, equals);
        if (key == "NAME") result.name = Unquote(line.substr(equals + 1));
        if (key == "VERSION_ID") result.version = Unquote(line.substr(equals + 1));
    }
    result.parseVersionNumbers();
    return result;
}

HostSystemVersion HostSystemVersion::current() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        if (const auto data = FileUtils::readStartofFile(path, 65536)) {
            HostSystemVersion result = fromOsRelease(
                std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
            if (!result.version.empty()) return result;
        }
    }
    HostSystemVersion kernel;
    utsname names{};
    if (::uname(&names) == 0) {
        kernel.name = names.sysname;
        kernel.version = names.release;
        kernel.parseVersionNumbers();
    }
    return kernel;
}

std::int32_t getOSXVersion() {
    const HostSystemVersion host = HostSystemVersion::current();
    return host.major + host.minor;
}

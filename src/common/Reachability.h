#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// Whether a location can be reached at this moment, for code that has a local and a remote
// source of the same thing and asks before it tries the remote one.
namespace Reachability {

// The local path a location names: the location itself when it is an absolute path, the
// percent-decoded path of a "file:" URL (empty or "localhost" host); none for anything else.
std::optional<std::string> LocalPathOf(std::string_view location);

// A local location (see LocalPathOf) is reachable when a regular file there can be opened for
// reading. A network location "scheme://host[:port][/...]" (http and https default to ports 80
// and 443, other schemes need a port) is reachable when the host accepts a TCP connection
// within the timeout; nothing is sent. Anything else, an empty text included, is not.
bool IsReachable(std::string_view location,
                 std::chrono::milliseconds timeout = std::chrono::seconds(3));

}  // namespace Reachability

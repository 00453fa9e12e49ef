#pragma once

#include "common/Types.h"

#include <cstdint>
#include <string>

// The status line's text for a status code and its message: 0 "Retrieving  <message>",
// 1 "Recovering <message>", 2 a fixed request to wait (the message is not used), 3 the message
// itself, 4 "Error: <message>". None for any other code: the status line stays as it was.
OptString StatusLineText(std::int32_t code, const std::string& message);

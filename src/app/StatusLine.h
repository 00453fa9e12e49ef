#pragma once

#include "common/Types.h"

#include <cstdint>
#include <string>

// The status line's text for a status code and its message: 0 "Retrieving  <message>",
// 1 "Recovering <message>", 2 a fixed request to wait (the message is not used), 3 the message
// itself, 4 "Error: <message>". None for any other code: the status line stays as it was.
// The texts are those of the chosen language: the frames of the codes, and a message that is
// one of the scan's own fixed texts (ScanStatusText), in the language's words; other messages
// (file names, counts, errors) as they come.
OptString StatusLineText(std::int32_t code, const std::string& message);

// One of the scan's fixed status texts ("Recovering deleted data. Please wait...", a data
// type's name on the status line) in the chosen language; any other text as it is. English
// where the language has no text for it.
std::string ScanStatusText(const std::string& english);

// "<count> <what> Retreived", as the status line has always spelled it, in the chosen language.
std::string RetrievedCountText(std::size_t count, const std::string& what);

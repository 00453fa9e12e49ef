#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How much of one text from a backup (a device name, a file name) a line on the terminal shows.
inline constexpr std::size_t kTerminalTextBytes = 200;

// Text from a backup made fit to print: control characters (C0, DEL and the C1 range, which
// terminals take as escape sequences) and bytes that are no UTF-8 become "?", and the text is
// cut to at most maxBytes bytes at a character boundary, "..." marking the cut.
std::string TerminalText(std::string_view text, std::size_t maxBytes = kTerminalTextBytes);

// Whole lines for the terminal: as TerminalText, but line feeds stay and nothing is cut.
std::string TerminalLines(std::string_view text);

#pragma once

#include "common/Types.h"

#include <cstdint>
#include <string>

// The styled titles that the screens put on their buttons, independent of any toolkit: the
// window's adapters apply a StyledTitle to a button as its title (colour, alignment, the
// system font at the size, an underline for link-like buttons).
struct TitleColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
    bool operator==(const TitleColor&) const = default;
};

enum class TitleAlignment { Centre, Left };

struct StyledTitle {
    std::string text;
    TitleColor color;
    TitleAlignment alignment = TitleAlignment::Centre;
    double pointSize = 14.0;
    bool underline = false;
    // The button's own alignment is set to the title's too (the padded title).
    bool alignButton = false;
    bool operator==(const StyledTitle&) const = default;
};

// An absent text (a key missing from the language file) gives an empty title.
namespace TitleHelpers {

// Centred, 14 points.
StyledTitle setButtonTitleFor(const OptString& text, TitleColor color);
// Centred, at the size.
StyledTitle setButtonTitleFor(const OptString& text, TitleColor color, float size);
// Centred, at the size, underlined whatever the flag says.
StyledTitle setButtonTitleFor(const OptString& text, TitleColor color, float size, bool underline);
// Left-aligned (the button too), at the size, the text after `spaceCount` blanks (none for a
// count of 0 or less).
StyledTitle setButtonTitleForWithPadding(const OptString& text, TitleColor color, float size,
                                         std::int32_t spaceCount);

}  // namespace TitleHelpers

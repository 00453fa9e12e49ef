#include "config/TitleHelpers.h"

namespace TitleHelpers {

StyledTitle setButtonTitleFor(const OptString& text, TitleColor color) {
    return setButtonTitleFor(text, color, 14.0f);
}

StyledTitle setButtonTitleFor(const OptString& text, TitleColor color, float size) {
    StyledTitle title;
    title.text = text.value_or("");
    title.color = color;
    title.alignment = TitleAlignment::Centre;
    title.pointSize = static_cast<double>(size);
    return title;
}

StyledTitle setButtonTitleFor(const OptString& text, TitleColor color, float size,
                              bool /*underline*/) {
    StyledTitle title = setButtonTitleFor(text, color, size);
    title.underline = true;
    return title;
}

StyledTitle setButtonTitleForWithPadding(const OptString& text, TitleColor color, float size,
                                         std::int32_t spaceCount) {
    StyledTitle title = setButtonTitleFor(text, color, size);
    title.text = std::string(spaceCount > 0 ? static_cast<std::size_t>(spaceCount) : 0, ' ') +
                 text.value_or("");
    title.alignment = TitleAlignment::Left;
    title.alignButton = true;
    return title;
}

}  // namespace TitleHelpers

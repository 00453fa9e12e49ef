#pragma once

#include "common/Types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Text helpers of the data-type screens; none of them needs the toolkit.
namespace ScreenText {

// The text in lower case (Unicode, root locale), as the screens' searches compare.
std::string Lower(std::string_view text);
// Whether the lower-case field holds the lower-case search text; an absent field never does.
inline bool Holds(const std::optional<std::string>& lowerField, std::string_view lowerText) {
    return lowerField && lowerField->find(lowerText) != std::string::npos;
}
// Lower of a field that may be absent.
inline OptString LowerOf(const OptString& text) {
    return text ? OptString(Lower(*text)) : std::nullopt;
}
// Whether the field, lower-cased, holds the lower-case search text (absent never does).
inline bool FieldHolds(const OptString& field, std::string_view lowerText) {
    return field && Lower(*field).find(lowerText) != std::string::npos;
}

// The text for a page: "&", "<", ">", '"' and "'" as entities, line breaks as "<br/>", so a
// record's text always shows as text and never as markup; absent gives "".
std::string Html(const OptString& text);

// The moment a record's date text stands for, as a number that orders like time: the local
// wall time in seconds. The texts the records carry come in a few forms ("yyyy-MM-dd HH:mm:ss",
// "yyyy-MM-dd hh:mm a", "yyyy-MM-dd hh:mm:ss", "MM/dd/yyyy hh:mm a"); none for a text in no
// such form (a carved " ", an absent date).
std::optional<std::int64_t> DateSortKey(const OptString& text);

// A call's type text as the screens show it: in the chosen language when it is one of the
// known types, else as it stands (absent stays absent).
OptString ShownCallType(const OptString& type);

}  // namespace ScreenText

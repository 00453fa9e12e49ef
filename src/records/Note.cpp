#include "records/Note.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <string>
#include <string_view>

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

std::string Note::ShortTitle(const OptString& summary) {
    const std::string text = summary.value_or(std::string());
    // Trimmed of white space and line breaks at both ends; counted in UTF-16 code units.
    const icu::UnicodeString units = icu::UnicodeString::fromUTF8(text);
    std::int32_t start = 0, end = units.length();
    const auto space = [&](std::int32_t i) { return u_isUWhiteSpace(units.char32At(i)) != 0; };
    while (start < end && space(start)) ++start;
    while (end > start && space(end - 1)) --end;
    std::string title;
    if (end - start > kShortTitleLength) {
        // The cut falls before a character whose two units it would part.
        const std::int32_t cut = units.getChar32Start(start + kShortTitleLength);
        units.tempSubString(start, cut - start).toUTF8String(title);
        title += "...";
    } else {
        title = text;
    }
    std::string oneLine;
    for (char c : title) oneLine += c == '\n' ? ' ' : c;
    return oneLine;
}

void Note::setShortTitle() {
    const OptString summary = Summary();
    updateSortTitle([&](OptString& title) {
        if (!title || title->empty()) title = ShortTitle(summary);
    });
}

OptString NoteBody::plainContent() const {
    if (!Content()) return std::nullopt;
    std::string text = *Content();
    ReplaceAll(text, "<div>", "\n");
    ReplaceAll(text, "&nbsp", " ");
    ReplaceAll(text, "<br>", "\n");
    return text;
}

std::shared_ptr<Note> NoteBody::ParseContentToGetNote() {
    auto note = std::make_shared<Note>();
    note->setRecovered(Recovered());
    note->setNoteBody(weak_from_this().lock());
    if (!Content()) return note;
    // Counted in UTF-16 units, as the notes database counts characters; the cut never splits
    // a surrogate pair.
    const icu::UnicodeString content = icu::UnicodeString::fromUTF8(*Content());
    if (content.length() <= 8) {
        note->setTitle(Content());
        return note;
    }
    const int32_t cut = content.getChar32Start(7);
    std::string title;
    content.tempSubString(0, cut).toUTF8String(title);
    note->setTitle(title + "...");
    return note;
}

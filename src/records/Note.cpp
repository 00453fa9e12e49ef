#include "records/Note.h"

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

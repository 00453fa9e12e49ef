#include "records/Note.h"

#include <gtest/gtest.h>

namespace {

TEST(NoteRecordsTest, PlainContentTurnsThreeMarkupsIntoText) {
    NoteBody body;
    EXPECT_EQ(body.plainContent(), std::nullopt);
    body.setContent("<div>a&nbsp;b<br></div>");
    EXPECT_EQ(body.plainContent(), "\na ;b\n</div>");
}

TEST(NoteRecordsTest, ANoteMadeFromABodyIsTitledAfterItsStart) {
    const std::pair<OptString, OptString> cases[] = {
        {"12345678", "12345678"},
        {"123456789", "1234567..."},
        {"", ""},
        {std::nullopt, std::nullopt},
        {"Grüße aus Köln", "Grüße a..."},  // counted in characters, not bytes
        // A character outside the basic plane counts two; the cut never splits it.
        {"abcdef\xF0\x9F\x98\x80xyz", "abcdef..."},
    };
    for (const auto& [content, title] : cases) {
        auto body = std::make_shared<NoteBody>();
        body->setContent(content);
        body->setRecovered(true);
        auto note = body->ParseContentToGetNote();
        EXPECT_EQ(note->Title(), title) << content.value_or("(absent)");
        EXPECT_EQ(note->noteBody(), body);
        EXPECT_TRUE(note->Recovered());
    }
}

TEST(NoteRecordsTest, NewRecordsStartEmpty) {
    Note note;
    EXPECT_EQ(note.noteBody(), nullptr);
    EXPECT_EQ(note.noteBodyId(), 0);
    NoteBody body;
    EXPECT_EQ(body.Owner(), 0);
    EXPECT_FALSE(body.IsEqual(body));
}

}  // namespace

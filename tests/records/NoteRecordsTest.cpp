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

// The short title keeps whole characters: a character outside the basic plane takes two units,
// and a cut that would fall between them falls before it.
TEST(NoteRecordsTest, AShortTitleIsCutBetweenCharacters) {
    const std::string grin = "\xF0\x9F\x98\x80";  // U+1F600
    std::string tenGrins;
    for (int i = 0; i < 10; ++i) tenGrins += grin;
    const std::string nineGrins = tenGrins.substr(grin.size());
    const std::pair<std::string, std::string> cases[] = {
        // The 20th unit is the first half of a pair: the title keeps 19.
        {std::string(19, 'a') + grin + "bc", std::string(19, 'a') + "..."},
        {" " + nineGrins + "a" + grin + " ", nineGrins + "a..."},
        // The cut falls right behind a pair.
        {"  " + tenGrins + "x", tenGrins + "..."},
        // Two-byte characters count one unit each.
        {"\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6"
         "\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u20ac",
         "\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6"
         "\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6..."},
        // Twenty units or fewer stay whole.
        {tenGrins, tenGrins},
    };
    for (const auto& [summary, title] : cases) {
        const std::string shortTitle = Note::ShortTitle(summary);
        EXPECT_EQ(shortTitle, title) << summary;
        EXPECT_EQ(shortTitle.find("\xEF\xBF\xBD"), std::string::npos) << summary;
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

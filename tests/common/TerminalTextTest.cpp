#include "common/FileName.h"
#include "common/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

// Text from a backup reaches the terminal without control characters or broken UTF-8, and
// cut to a length a terminal shows.
TEST(TerminalText, StripsControlCharactersAndCuts) {
    const struct Case {
        std::string text;
        std::size_t max;
        std::string shown;
    } cases[] = {
        {"Eva's iPhone", 200, "Eva's iPhone"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         200,
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"\x1B]0;owned\x07name", 200, "?]0;owned?name"},
        {"tab\there\nline\rcr\x7F", 200, "tab?here?line?cr?"},
        // C1 controls (here CSI, U+009B) act as escapes on some terminals.
        {"a\xC2\x9B"
         "2Jb",
         200, "a?2Jb"},
        {"bad \xFF\xC3 utf8", 200, "bad ?? utf8"},
        {std::string(50, 'x'), 10, "xxxxxxx..."},
        // Cut between characters, never inside one.
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 8, "\xC3\xA9\xC3\xA9..."},
    };
    for (const Case& c : cases) EXPECT_EQ(TerminalText(c.text, c.max), c.shown) << c.text;
    // A huge text costs no more than a short one, and gives a short line.
    EXPECT_EQ(TerminalText(std::string(60u << 20, '\x1B')).size(), kTerminalTextBytes);
    EXPECT_EQ(TerminalLines("two\nlines\x1B[2J\n"), "two\nlines?[2J\n");
}

TEST(FileName, FitsAndNumbersNamesKeepingTheirExtension) {
    const struct Case {
        std::string name;
        std::size_t max;
        std::string fitted;
    } cases[] = {
        {"short.csv", 255, "short.csv"},
        {"a very long name.csv", 12, "a very l.csv"},
        {"\xC3\xA9\xC3\xA9\xC3\xA9.csv", 8, "\xC3\xA9\xC3\xA9.csv"},
        {"no extension at all", 5, "no ex"},
    };
    for (const Case& c : cases) EXPECT_EQ(FitFileName(c.name, c.max), c.fitted) << c.name;
    EXPECT_EQ(NumberedFileName("IMG_0001.JPG", 2), "IMG_0001 (2).JPG");
    EXPECT_EQ(NumberedFileName("notes", 12), "notes (12)");
    EXPECT_EQ(NumberedFileName(std::string(255, 'n') + ".JPG", 3),
              std::string(255 - 8, 'n') + " (3).JPG");
}

#include "common/HtmlText.h"

#include <gtest/gtest.h>

namespace {

TEST(HtmlTextTest, OpeningTagsBecomeBlanksAndTheTextBetweenThemStays) {
    const std::pair<OptString, OptString> cases[] = {
        {"<div>Buy milk</div>", " Buy milk</div>"},
        // The text between two opening tags is kept.
        {"<p>a<br>b", " a b"},
        {"<br/>x<img src=\"a/b.png\"/>y", " x y"},
        {"no markup at all", "no markup at all"},
        {"1 < 2 and 3 > 2", "1 < 2 and 3 > 2"},  // "<" before a blank opens no tag
        {"a <b unclosed", "a <b unclosed"},
        {"<DIV CLASS=x>Grüße</DIV>", " Grüße</DIV>"},
        {"", ""},
        {std::nullopt, std::nullopt},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(stringByStrippingHTML(input), expected) << input.value_or("(absent)");
}

}  // namespace

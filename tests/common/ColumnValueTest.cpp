#include "common/ColumnValue.h"

#include <gtest/gtest.h>

TEST(ColumnValue, TextFormsOfEachKind) {
    EXPECT_FALSE(ColumnValue().toText().has_value());
    EXPECT_EQ(ColumnValue(std::int64_t{-42}).toText(), "-42");
    EXPECT_EQ(ColumnValue(1.5).toText(), "1.5");
    EXPECT_EQ(ColumnValue(std::string("")).toText(), "");
    EXPECT_EQ(ColumnValue(Bytes{'h', 'i'}).toText(), "hi");
}

TEST(ColumnValue, HugeDoublesClampInsteadOfOverflowing) {
    EXPECT_EQ(ColumnValue(1e300).asInteger(), INT64_MAX);
    EXPECT_EQ(ColumnValue(-1e300).asInteger(), INT64_MIN);
    EXPECT_EQ(ColumnValue(-2.9).asInteger(), -2);
    EXPECT_EQ(ColumnValue("12").asInteger(), 0);
}

TEST(SameText, AbsentNeverEqualsAnything) {
    EXPECT_FALSE(SameText(std::nullopt, std::nullopt));
    EXPECT_FALSE(SameText(std::string(""), std::nullopt));
    EXPECT_TRUE(SameText(std::string(""), std::string("")));
}

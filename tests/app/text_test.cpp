#include <gtest/gtest.h>

#include "db/session.h"
#include "db/sql_text.h"
#include "text/text.h"

TEST(Text, CountsAndCutsCharactersNotBytes) {
    EXPECT_EQ(text::CharCount("Широта"), 6u);
    EXPECT_EQ(text::CharCount("abc"), 3u);
    EXPECT_EQ(text::Left("Широта", 3), "Шир");
    EXPECT_EQ(text::Left("ab", 5), "ab");
}

TEST(Text, UpperCasesLatinAndCyrillic) {
    EXPECT_EQ(text::ToUpper("abc xyz"), "ABC XYZ");
    EXPECT_EQ(text::ToUpper("станция ёж"), "СТАНЦИЯ ЁЖ");
    EXPECT_EQ(text::ToUpper("ÿçœ"), "ŸÇŒ");
    EXPECT_EQ(text::ToLower("СТАНЦИЯ Ё"), "станция ё");
    EXPECT_EQ(text::ToUpper("12-_?"), "12-_?");
}

TEST(Text, ComparesAndFindsPrefixesRegardlessOfCase) {
    EXPECT_TRUE(text::StartsWithNoCase("Кирово", "кир"));
    EXPECT_TRUE(text::StartsWithNoCase("10", "1"));
    EXPECT_FALSE(text::StartsWithNoCase("1", "10"));
    EXPECT_EQ(text::CompareNoCase("abc", "ABC"), 0);
    EXPECT_LT(text::CompareNoCase("ABC", "abd"), 0);
    EXPECT_GT(text::CompareNoCase("ab", "A"), 0);
}

TEST(SqlText, QuotesEveryLiteralDoublingSingleQuotes) {
    EXPECT_EQ(SqlQuote("ABC"), "'ABC'");
    EXPECT_EQ(SqlQuote("O'Brien"), "'O''Brien'");
    EXPECT_EQ(SqlQuote("x' or '1'='1"), "'x'' or ''1''=''1'");
    EXPECT_EQ(SqlQuote(""), "''");
}

TEST(ConnectString, ShownWithThePasswordMasked) {
    EXPECT_EQ(MaskPassword("DSN=nosuch;UID=ZRN;PWD=PJQ;"), "DSN=nosuch;UID=ZRN;PWD=****;");
    EXPECT_EQ(MaskPassword("DSN=a;UID=b;PWD=;"), "DSN=a;UID=b;PWD=****;");
    EXPECT_EQ(MaskPassword("DSN=a;pwd={x;y};UID=b"), "DSN=a;pwd=****;UID=b");
    EXPECT_EQ(MaskPassword("DSN=a"), "DSN=a");
}

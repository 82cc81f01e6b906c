// How the upgrade words its statements, for every product class, including
// those no test server stands for.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "db/schema_upgrade.h"

TEST(SchemaWording, ProductNamesAreClassifiedWithLaterWordsWinning) {
    EXPECT_EQ(ClassifyDbmsName("PostgreSQL"), DbmsKind::Postgres);
    EXPECT_EQ(ClassifyDbmsName("MySQL"), DbmsKind::MySql);
    EXPECT_EQ(ClassifyDbmsName("MariaDB"), DbmsKind::MySql);
    EXPECT_EQ(ClassifyDbmsName("Oracle"), DbmsKind::Oracle);
    EXPECT_EQ(ClassifyDbmsName("Microsoft SQL Server"), DbmsKind::Microsoft);
    EXPECT_EQ(ClassifyDbmsName("Some SQL engine"), DbmsKind::Microsoft);
    EXPECT_EQ(ClassifyDbmsName("MICROSOFT ACCESS"), DbmsKind::Microsoft);
    EXPECT_EQ(ClassifyDbmsName("ACCESS"), DbmsKind::Generic);
    EXPECT_EQ(ClassifyDbmsName("SQLite"), DbmsKind::SQLite);
    EXPECT_EQ(ClassifyDbmsName(""), DbmsKind::Generic);
    EXPECT_EQ(ClassifyDbmsName("Firebird"), DbmsKind::Generic);
}

TEST(SchemaWording, DateTimeTypeKeepsTheTimeOfDayWhereTheProductAllows) {
    EXPECT_STREQ(SqlDialect(DbmsKind::Postgres).DateTimeType(), "TIMESTAMP");
    EXPECT_STREQ(SqlDialect(DbmsKind::SQLite).DateTimeType(), "TIMESTAMP");
    EXPECT_STREQ(SqlDialect(DbmsKind::MySql).DateTimeType(), "DATETIME");
    EXPECT_STREQ(SqlDialect(DbmsKind::Microsoft).DateTimeType(), "DATETIME");
    EXPECT_STREQ(SqlDialect(DbmsKind::Oracle).DateTimeType(), "DATE");
    EXPECT_STREQ(SqlDialect(DbmsKind::Generic).DateTimeType(), "DATE");
}

TEST(SchemaWording, StatementsPerKindForMissingAndPresentColumns) {
    for (DbmsKind kind : {DbmsKind::Generic, DbmsKind::Microsoft, DbmsKind::Oracle, DbmsKind::MySql,
                          DbmsKind::Postgres, DbmsKind::SQLite})
        EXPECT_EQ(SqlDialect(kind).AlterStatement(false, "SITE", "NINDEX", "INT"), "ALTER TABLE SITE ADD NINDEX   INT");

    EXPECT_EQ(SqlDialect(DbmsKind::Generic).AlterStatement(true, "SITE", "NINDEX", "INT"),
              "ALTER TABLE SITE ALTER NINDEX   INT");
    EXPECT_EQ(SqlDialect(DbmsKind::Microsoft).AlterStatement(true, "SITE", "NINDEX", "INT"),
              "ALTER TABLE SITE ALTER COLUMN NINDEX   INT");
    EXPECT_EQ(SqlDialect(DbmsKind::Oracle).AlterStatement(true, "SITE", "NINDEX", "INT"),
              "ALTER TABLE SITE MODIFY NINDEX   INT");
    EXPECT_EQ(SqlDialect(DbmsKind::MySql).AlterStatement(true, "SITE", "NINDEX", "INT"),
              "ALTER TABLE SITE MODIFY NINDEX   INT");
    EXPECT_EQ(SqlDialect(DbmsKind::Postgres).AlterStatement(true, "SITE", "NINDEX", "INT"),
              "ALTER TABLE SITE ALTER NINDEX TYPE INT");
    EXPECT_EQ(SqlDialect(DbmsKind::SQLite).AlterStatement(true, "SITE", "NINDEX", "INT"), "");
    EXPECT_EQ(SqlDialect(DbmsKind::Microsoft).AlterStatement(true, "SITE", "ONDATE", "DATETIME"),
              "ALTER TABLE SITE ALTER COLUMN ONDATE   DATETIME");
}

TEST(SchemaWording, TheColumnListHas36EntriesFittingTheStatementLimit) {
    auto columns = SchemaColumns();
    ASSERT_EQ(columns.size(), 36u);
    EXPECT_STREQ(columns[0].column, "NINDEX");
    EXPECT_STREQ(columns[35].column, "ML");
    EXPECT_EQ(columns[5].type, nullptr);  // ONDATE takes the product's date-time type
    EXPECT_EQ(columns[6].type, nullptr);
    std::set<std::string> seen;
    size_t longest = 0;
    for (const SchemaColumn& c : columns) {
        EXPECT_TRUE(seen.insert(std::string(c.table) + "." + c.column).second) << c.table << "." << c.column;
        std::string sql =
            SqlDialect(DbmsKind::Microsoft).AlterStatement(true, c.table, c.column, c.type ? c.type : "DATETIME");
        longest = std::max(longest, sql.size());
    }
    EXPECT_EQ(longest, 56u);
    EXPECT_EQ(seen.count("FILELIST.LCODE") + seen.count("SITECHAN.LCODE"), 2u);
}

// The schema upgrade against each real database, checked from the database's
// own catalogue.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "db/schema_upgrade.h"
#include "db/session.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"
#include "resources/string_table.h"

namespace {

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

// The declared type of every column of a table, in the words of the upgrade's
// list (INT, VARCHAR(n), FLOAT, TIMESTAMP, DATETIME).
std::map<std::string, std::string> CatalogTypes(const CDatabase& db, const std::string& table) {
    const std::string backend = CurrentBackend().name;
    std::map<std::string, std::string> types;
    if (backend == "sqlite") {
        for (auto& row : QueryRows(db, "select name, type from pragma_table_info('" + table + "')"))
            types[Upper(*row[0])] = Upper(*row[1]);
    } else if (backend == "postgres") {
        // Unquoted names are folded to lower case by PostgreSQL.
        std::string lower = table;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        auto rows = QueryRows(db,
                              "select column_name, data_type, character_maximum_length from information_schema.columns "
                              "where table_schema=current_schema() and table_name='" + lower + "'");
        for (auto& row : rows) {
            std::string type = *row[1];
            if (type == "integer") type = "INT";
            else if (type == "character varying") type = "VARCHAR(" + row[2].value_or("") + ")";
            else if (type == "double precision") type = "FLOAT";
            else if (type == "timestamp without time zone") type = "TIMESTAMP";
            types[Upper(*row[0])] = Upper(type);
        }
    } else {
        auto rows = QueryRows(db,
                              "select column_name, column_type from information_schema.columns "
                              "where table_schema=database() and table_name='" + table + "'");
        for (auto& row : rows) {
            std::string type = Upper(*row[1]);
            if (type.rfind("INT(", 0) == 0 || type == "INT") type = "INT";
            types[Upper(*row[0])] = type;
        }
    }
    return types;
}

// A session that keeps the text of every statement it runs.
class RecordingSession : public CDatabase {
public:
    void ExecuteDirect(const std::string& sql) override {
        sent.push_back(sql);
        CDatabase::ExecuteDirect(sql);
    }
    std::vector<std::string> sent;
};

class SchemaUpgradeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        CreateBaseTables(db);
    }
    std::vector<std::string> Upgrade() {
        std::vector<std::string> messages;
        UpgradeSchema(db, [&](const ColumnUpgradeFailure& f) {
            messages.push_back(ColumnUpgradeFailureText(f.Table, f.Column, f.ErrorText));
        });
        return messages;
    }
    RecordingSession db;
};

}  // namespace

TEST_F(SchemaUpgradeTest, DetectsTheProductBehindTheSession) {
    const std::map<std::string, DbmsKind> expected = {
        {"sqlite", DbmsKind::SQLite}, {"postgres", DbmsKind::Postgres}, {"mariadb", DbmsKind::MySql}};
    EXPECT_EQ(db.SessionDialect().Kind(), expected.at(CurrentBackend().name)) << db.DbmsName();
    CDatabase closed;
    EXPECT_EQ(closed.SessionDialect().Kind(), DbmsKind::Generic);
}

TEST_F(SchemaUpgradeTest, FirstStartAddsEveryColumnWithItsListedType) {
    for (const SchemaColumn& c : SchemaColumns()) EXPECT_FALSE(ColumnExists(db, c.table, c.column)) << c.column;
    EXPECT_TRUE(ColumnExists(db, "SITE", "STA"));
    EXPECT_FALSE(ColumnExists(db, "NO_SUCH_TABLE", "STA"));

    EXPECT_EQ(Upgrade(), std::vector<std::string>{});

    const char* dateTime = db.SessionDialect().DateTimeType();
    std::map<std::string, std::map<std::string, std::string>> catalog;
    for (const SchemaColumn& c : SchemaColumns()) {
        if (!catalog.count(c.table)) catalog[c.table] = CatalogTypes(db, c.table);
        ASSERT_TRUE(catalog[c.table].count(c.column)) << c.table << "." << c.column << " missing";
        EXPECT_EQ(catalog[c.table][c.column], c.type ? c.type : dateTime) << c.table << "." << c.column;
    }
}

TEST_F(SchemaUpgradeTest, SecondStartShowsNothingAndKeepsStoredValues) {
    ASSERT_EQ(Upgrade(), std::vector<std::string>{});
    db.ExecuteDirect(
        "insert into SITE (STA, NINDEX, COD, ONDATE, OFFDATE, DNORTH) values "
        "('KIV', 12, 'KIV01', {ts '2001-02-03 04:05:06'}, {ts '2010-11-12 13:14:15'}, 2.5)");

    EXPECT_EQ(Upgrade(), std::vector<std::string>{});

    auto rows = QueryRows(db, "select NINDEX, COD, ONDATE, OFFDATE, DNORTH from SITE where STA='KIV'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "12");
    EXPECT_EQ(rows[0][1], "KIV01");
    EXPECT_EQ(rows[0][2]->substr(0, 19), "2001-02-03 04:05:06");
    EXPECT_EQ(rows[0][3]->substr(0, 19), "2010-11-12 13:14:15");
    EXPECT_DOUBLE_EQ(std::stod(*rows[0][4]), 2.5);
}

TEST_F(SchemaUpgradeTest, MissingTableGivesOneMessagePerEntryAndTheRestIsApplied) {
    DropTableIfExists(db, "FILELIST");
    auto messages = Upgrade();
    ASSERT_EQ(messages.size(), 4u);
    const char* columns[] = {"LCODE", "CALPER", "CALIB", "FOFF"};
    for (size_t i = 0; i < 4; ++i) {
        const std::string head = "Ошибка базы данных: Ошибка добавления поля " + std::string(columns[i]) +
                                 " в таблицу FILELIST";
        ASSERT_EQ(messages[i].rfind(head, 0), 0u) << messages[i];
        const std::string driverText = messages[i].substr(head.size());
        EXPECT_FALSE(driverText.empty());
        EXPECT_NE(driverText.front(), '[') << driverText;
        EXPECT_EQ(driverText.back(), '\n');
    }
    for (const SchemaColumn& c : SchemaColumns()) {
        if (std::string(c.table) != "FILELIST") {
            EXPECT_TRUE(ColumnExists(db, c.table, c.column)) << c.column;
        }
    }
}

TEST_F(SchemaUpgradeTest, SecondStartSendsNoAlterStatement) {
    db.sent.clear();
    ASSERT_EQ(Upgrade(), std::vector<std::string>{});
    EXPECT_EQ(db.sent.size(), SchemaColumns().size());  // every column added once
    db.sent.clear();
    EXPECT_EQ(Upgrade(), std::vector<std::string>{});
    EXPECT_EQ(db.sent, std::vector<std::string>{});
}

TEST_F(SchemaUpgradeTest, AColumnOfAnotherTypeIsDeclaredAgain) {
    // Per backend: statements that give listed columns other types, and the
    // re-declarations the next start must send. SQLite cannot change a type.
    struct Case {
        const char* backend;
        std::vector<std::string> change;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"postgres",
         {"ALTER TABLE SITE ALTER COD TYPE VARCHAR(20)", "ALTER TABLE SITE ALTER ONDATE TYPE TIMESTAMP(0)",
          "ALTER TABLE SITE ALTER DNORTH TYPE REAL", "ALTER TABLE ARRIVAL ALTER ARID TYPE BIGINT"},
         {"ALTER TABLE SITE ALTER COD TYPE VARCHAR(6)", "ALTER TABLE SITE ALTER ONDATE TYPE TIMESTAMP",
          "ALTER TABLE SITE ALTER DNORTH TYPE FLOAT", "ALTER TABLE ARRIVAL ALTER ARID TYPE INT"}},
        {"mariadb",
         {"ALTER TABLE SITE MODIFY COD VARCHAR(20)", "ALTER TABLE SITE MODIFY ONDATE TIMESTAMP NULL",
          "ALTER TABLE SITE MODIFY DNORTH DOUBLE", "ALTER TABLE ARRIVAL MODIFY ARID INT UNSIGNED"},
         {"ALTER TABLE SITE MODIFY COD   VARCHAR(6)", "ALTER TABLE SITE MODIFY ONDATE   DATETIME",
          "ALTER TABLE SITE MODIFY DNORTH   FLOAT", "ALTER TABLE ARRIVAL MODIFY ARID   INT"}},
        {"sqlite", {}, {}},
    };
    ASSERT_EQ(Upgrade(), std::vector<std::string>{});
    for (const Case& c : cases) {
        if (CurrentBackend().name != c.backend) continue;
        for (const std::string& sql : c.change) db.ExecuteDirect(sql);
        db.sent.clear();
        EXPECT_EQ(Upgrade(), std::vector<std::string>{});
        EXPECT_EQ(db.sent, c.expected);
    }
    const auto types = CatalogTypes(db, "SITE");
    EXPECT_EQ(types.at("COD"), "VARCHAR(6)");
    EXPECT_EQ(types.at("DNORTH"), "FLOAT");
}

// End-to-end check of the test databases: each backend's data source answers,
// is the product it claims to be, and takes the base tables, the schema
// upgrade and the demo stations with their texts, numbers and times intact.

#include <gtest/gtest.h>

#include <string>

#include "db/schema_upgrade.h"
#include "db/session.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"
#include "resources/string_table.h"

namespace {

class BackendSmoke : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session_.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        ASSERT_TRUE(session_.IsOpen());
    }

    // The first value a query answers, "<NULL>" for NULL or no row.
    std::string Text(const std::string& sql) const { return QueryValue(session_, sql).value_or("<NULL>"); }

    CDatabase session_;
};

DbmsKind ExpectedKind(const std::string& backend) {
    if (backend == "postgres") return DbmsKind::Postgres;
    if (backend == "mariadb") return DbmsKind::MySql;
    return DbmsKind::SQLite;
}

TEST_F(BackendSmoke, DataSourceIsTheProductOfTheBackend) {
    EXPECT_EQ(session_.SessionDialect().Kind(), ExpectedKind(CurrentBackend().name)) << session_.DbmsName();
}

TEST_F(BackendSmoke, BaseTablesHoldTheFormColumnsButNoneOfTheUpgradedOnes) {
    CreateBaseTables(session_);
    for (const char* column : {"STA", "NGROUPS", "ELEV", "LAT", "LON", "DESCR", "LDDATE"})
        EXPECT_TRUE(ColumnExists(session_, "SITE", column)) << column;
    for (const char* column : {"STA", "CHAN", "NGROUP", "CHANINDEX", "EDEPH", "LAT", "LON", "SPS", "HANG", "VANG",
                               "DESCR", "CALIBFILE", "LDDATE"})
        EXPECT_TRUE(ColumnExists(session_, "SITECHAN", column)) << column;
    for (const SchemaColumn& entry : SchemaColumns())
        EXPECT_FALSE(ColumnExists(session_, entry.table, entry.column)) << entry.table << "." << entry.column;
    EXPECT_EQ(CountRows(session_, "SITE"), 0);
}

TEST_F(BackendSmoke, UpgradedTablesHoldEverySchemaColumn) {
    CreateStationTables(session_);
    for (const SchemaColumn& entry : SchemaColumns())
        EXPECT_TRUE(ColumnExists(session_, entry.table, entry.column)) << entry.table << "." << entry.column;
}

TEST_F(BackendSmoke, DemoStationsLoadWithCyrillicNamesAndTimesOfDay) {
    CreateStationTables(session_);
    RunSqlScript(session_, CurrentBackend().SqlDir() + "/demo_stations.sql");
    EXPECT_EQ(CountRows(session_, "SITE"), 8);
    EXPECT_EQ(CountRows(session_, "SITECHAN"), 29);
    EXPECT_EQ(Text("SELECT DESCR FROM SITE WHERE STA='PET'"), "Петропавловск-Камчатский");
    EXPECT_EQ(Text("SELECT DESCR FROM SITECHAN WHERE STA='OBN' AND CHAN='SHZ'"), "СКМ-3");
    EXPECT_EQ(Text("SELECT ONDATE FROM SITE WHERE STA='OBN'").substr(0, 19), "1988-09-01 12:00:00");
}

TEST_F(BackendSmoke, RepeatedUpgradeKeepsStoredRowsAndTimes) {
    CreateStationTables(session_);
    RunSqlScript(session_, CurrentBackend().SqlDir() + "/demo_stations.sql");
    std::vector<std::string> messages;
    UpgradeSchema(session_, [&messages](const ColumnUpgradeFailure& f) {
        messages.push_back(ColumnUpgradeFailureText(f.Table, f.Column, f.ErrorText));
    });
    EXPECT_TRUE(messages.empty()) << (messages.empty() ? std::string() : messages.front());
    EXPECT_EQ(CountRows(session_, "SITECHAN"), 29);
    EXPECT_EQ(Text("SELECT OFFDATE FROM SITE WHERE STA='NRIL'").substr(0, 19), "2021-12-31 23:59:59");
}

TEST_F(BackendSmoke, BaseCoordinatesKeepTheirDigits) {
    CreateBaseTables(session_);
    session_.ExecuteDirect("INSERT INTO SITE (STA, LAT, LON, ELEV) VALUES ('PREC', 55.099998, -179.123456, 1054.5)");
    EXPECT_DOUBLE_EQ(std::stod(Text("SELECT LAT FROM SITE WHERE STA='PREC'")), 55.099998);
    EXPECT_DOUBLE_EQ(std::stod(Text("SELECT LON FROM SITE WHERE STA='PREC'")), -179.123456);
}

TEST_F(BackendSmoke, StationKeysAreUniqueAndCaseSensitive) {
    CreateStationTables(session_);
    session_.ExecuteDirect("INSERT INTO SITE (STA) VALUES ('ABC')");
    EXPECT_THROW(session_.ExecuteDirect("INSERT INTO SITE (STA) VALUES ('ABC')"), CDBException);
    session_.ExecuteDirect("INSERT INTO SITE (STA) VALUES ('abc')");
    EXPECT_EQ(CountRows(session_, "SITE", "STA='ABC'"), 1);
    session_.ExecuteDirect(
        "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX) VALUES ('ABC', 'BHZ', 1, 0)");
    session_.ExecuteDirect(
        "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX) VALUES ('ABC', 'BHZ', 2, 0)");
    EXPECT_THROW(session_.ExecuteDirect("INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX) VALUES ('ABC', 'BHZ', 1, 0)"),
                 CDBException);
}

}  // namespace

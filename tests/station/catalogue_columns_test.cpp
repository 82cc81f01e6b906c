// The description of SITE and SITECHAN against what the program makes of
// them: the tables of the sql/ scripts after the schema upgrade, read back
// from the database, and the upgrade's own column list.

#include <gtest/gtest.h>

#include <sqlext.h>

#include <algorithm>
#include <string>

#include "db/schema_upgrade.h"
#include "db/session.h"
#include "station/catalogue_columns.h"
#include "tests/support/backend.h"

namespace {

using catalogue::Kind;

// Whether an SQL type code, as a driver describes a result column, is of the
// described kind. A text may come as a wide or long VARCHAR, a floating
// column as DOUBLE, FLOAT or (MariaDB's FLOAT) REAL.
bool OfKind(SQLSMALLINT type, Kind kind) {
    switch (kind) {
        case Kind::Integer:
            return type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_BIGINT;
        case Kind::Floating:
            return type == SQL_DOUBLE || type == SQL_FLOAT || type == SQL_REAL;
        case Kind::Text:
            return type == SQL_VARCHAR || type == SQL_WVARCHAR || type == SQL_LONGVARCHAR ||
                   type == SQL_WLONGVARCHAR;
        case Kind::DateTime:
            return type == SQL_TYPE_TIMESTAMP || type == SQL_TIMESTAMP;
    }
    return false;
}

// The upgrade's wording of a described column's type; "" for the product's
// date-time type (the list's nullptr).
std::string ListedType(const catalogue::Column& column) {
    switch (column.kind) {
        case Kind::Integer:
            return "INT";
        case Kind::Floating:
            return "FLOAT";
        case Kind::Text:
            return "VARCHAR(" + std::to_string(column.width) + ")";
        case Kind::DateTime:
            break;
    }
    return {};
}

TEST(CatalogueColumnsTest, TablesAsMadeHaveEveryDescribedColumnWithItsKindAndWidth) {
    CDatabase db;
    ASSERT_TRUE(db.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
    CreateStationTables(db);
    for (const catalogue::Table& table : catalogue::kTables) {
        for (const catalogue::Column& column : table.columns) {
            SCOPED_TRACE(std::string(table.name) + "." + std::string(column.name));
            const ColumnTestResult test = TestColumn(db, std::string(table.name), std::string(column.name));
            ASSERT_TRUE(test.exists);
            ASSERT_TRUE(test.described);
            EXPECT_TRUE(OfKind(test.described->dataType, column.kind)) << "SQL type " << test.described->dataType;
            if (column.kind == Kind::Text) {
                EXPECT_EQ(test.described->size, static_cast<SQLULEN>(column.width));
            }
        }
    }
}

TEST(CatalogueColumnsTest, SchemaUpgradeListAgreesWithTheDescription) {
    for (const SchemaColumn& entry : SchemaColumns()) {
        const auto table = std::find_if(catalogue::kTables.begin(), catalogue::kTables.end(),
                                        [&](const catalogue::Table& t) { return t.name == entry.table; });
        if (table == catalogue::kTables.end()) continue;  // FILELIST, ORIGIN, ARRIVAL: not described here
        SCOPED_TRACE(std::string(entry.table) + "." + entry.column);
        const auto column = std::find_if(table->columns.begin(), table->columns.end(),
                                         [&](const catalogue::Column& c) { return c.name == entry.column; });
        ASSERT_NE(column, table->columns.end()) << "listed by the upgrade, not described";
        EXPECT_EQ(ListedType(*column), entry.type ? entry.type : "");
        EXPECT_TRUE(column->nullable) << "a column the upgrade adds cannot be NOT NULL";
    }
}

}  // namespace

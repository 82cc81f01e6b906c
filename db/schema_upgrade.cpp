#include "db/schema_upgrade.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "db/odbc_handle.h"
#include "db/session.h"
#include "db/statement.h"
#include "resources/string_table.h"

namespace {

// nullptr as type: the date-time type of the product.
constexpr std::array<SchemaColumn, 36> kSchemaColumns{{
    {"SITE", "NINDEX", "INT"},
    {"SITE", "COD", "VARCHAR(6)"},
    {"SITE", "STATYPE", "VARCHAR(50)"},
    {"SITE", "STANAME", "VARCHAR(50)"},
    {"SITE", "UNDERGROUND", "VARCHAR(250)"},
    {"SITE", "ONDATE", nullptr},
    {"SITE", "OFFDATE", nullptr},
    {"SITE", "REFSTA", "VARCHAR(16)"},
    {"SITE", "DNORTH", "FLOAT"},
    {"SITE", "DEAST", "FLOAT"},
    {"SITECHAN", "LCODE", "VARCHAR(8)"},
    {"FILELIST", "LCODE", "VARCHAR(8)"},
    {"FILELIST", "CALPER", "FLOAT"},
    {"FILELIST", "CALIB", "FLOAT"},
    {"FILELIST", "FOFF", "INT"},
    {"ORIGIN", "COMMENTS", "VARCHAR(255)"},
    {"ORIGIN", "ORID", "INT"},
    {"ORIGIN", "MB", "FLOAT"},
    {"ORIGIN", "MBUNC", "FLOAT"},
    {"ORIGIN", "MS", "FLOAT"},
    {"ORIGIN", "MSUNC", "FLOAT"},
    {"ARRIVAL", "ARID", "INT"},
    {"ARRIVAL", "DIST", "FLOAT"},
    {"ARRIVAL", "MB", "FLOAT"},
    {"ARRIVAL", "CODA", "FLOAT"},
    {"ARRIVAL", "MS", "FLOAT"},
    {"ARRIVAL", "AMPTIME", "FLOAT"},
    {"ARRIVAL", "REGCLASS", "FLOAT"},
    {"ARRIVAL", "MCODA", "FLOAT"},
    {"ARRIVAL", "MPSP", "FLOAT"},
    {"ARRIVAL", "MPLP", "FLOAT"},
    {"ARRIVAL", "CHANTYPE", "VARCHAR(4)"},
    {"ARRIVAL", "REMARK", "VARCHAR(128)"},
    {"ARRIVAL", "AFILTYPE", "VARCHAR(128)"},
    {"ARRIVAL", "PFILTYPE", "VARCHAR(128)"},
    {"ARRIVAL", "ML", "FLOAT"},
}};

bool Contains(const std::string& haystack, const char* needle) { return haystack.find(needle) != std::string::npos; }

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// How each product's driver describes a column of a listed type, as measured
// on psqlODBC 13 and MariaDB Connector/ODBC 3.1. A listed VARCHAR(n) must also
// report size n. Products without rows here are always re-declared.
// psqlODBC reports an unbounded VARCHAR with the same size as VARCHAR(255)
// (its MaxVarcharSize), so the two read alike; an unbounded column holds
// every value a VARCHAR(255) holds.
struct DescribedAs {
    DbmsKind kind;
    const char* listed;        // the listed type without its length
    SQLSMALLINT dataType;
    const char* typeName;      // lower case
    SQLSMALLINT decimals;      // -1: not compared
    bool signedNumber;         // SQL_DESC_UNSIGNED must answer false
};
constexpr DescribedAs kDescribedAs[] = {
    {DbmsKind::Postgres, "INT", SQL_INTEGER, "int4", 0, true},
    {DbmsKind::Postgres, "VARCHAR", SQL_VARCHAR, "varchar", -1, false},
    {DbmsKind::Postgres, "VARCHAR", SQL_LONGVARCHAR, "varchar", -1, false},  // above MaxVarcharSize
    {DbmsKind::Postgres, "FLOAT", SQL_FLOAT, "float8", -1, true},
    {DbmsKind::Postgres, "TIMESTAMP", SQL_TYPE_TIMESTAMP, "timestamp without time zone", 6, false},
    {DbmsKind::MySql, "INT", SQL_INTEGER, "integer", 0, true},
    {DbmsKind::MySql, "VARCHAR", SQL_VARCHAR, "varchar", -1, false},
    {DbmsKind::MySql, "VARCHAR", SQL_WVARCHAR, "varchar", -1, false},
    {DbmsKind::MySql, "FLOAT", SQL_REAL, "float", -1, true},
    {DbmsKind::MySql, "DATETIME", SQL_TYPE_TIMESTAMP, "datetime", 0, false},
};

// Splits "VARCHAR(6)" into "VARCHAR" and 6; a type without a length gives 0.
std::pair<std::string, SQLULEN> SplitLength(const std::string& type) {
    const size_t open = type.find('(');
    if (open == std::string::npos) return {type, 0};
    return {type.substr(0, open), static_cast<SQLULEN>(std::strtoul(type.c_str() + open + 1, nullptr, 10))};
}

}  // namespace

std::span<const SchemaColumn> SchemaColumns() { return kSchemaColumns; }

DbmsKind ClassifyDbmsName(const std::string& dbmsName) {
    // Product names are ASCII; upper-casing them needs no national letters.
    std::string name = dbmsName;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    // Each later word wins over the earlier ones: a name such as POSTGRESQL,
    // which also holds SQL, still ends as Postgres. MariaDB's driver answers
    // "MariaDB", which holds neither MYSQL nor SQL, yet speaks MySQL's ALTER
    // dialect. SQLite has no ALTER COLUMN and comes last so that its "SQL"
    // does not make it Microsoft.
    DbmsKind kind = DbmsKind::Generic;
    if (Contains(name, "ACCESS")) kind = DbmsKind::Generic;
    if (Contains(name, "MICROSOFT") || Contains(name, "SQL")) kind = DbmsKind::Microsoft;
    if (Contains(name, "ORACLE")) kind = DbmsKind::Oracle;
    if (Contains(name, "MYSQL") || Contains(name, "MARIADB")) kind = DbmsKind::MySql;
    if (Contains(name, "POSTGRES")) kind = DbmsKind::Postgres;
    if (Contains(name, "SQLITE")) kind = DbmsKind::SQLite;
    return kind;
}

DbmsKind DetectDbmsKind(const CDatabase& session) { return ClassifyDbmsName(session.DbmsName()); }

const char* DateTimeType(DbmsKind kind) {
    // Re-declaring ONDATE and OFFDATE happens at every start, so the type must
    // keep the time of day: PostgreSQL's and MariaDB's DATE would drop it.
    switch (kind) {
        case DbmsKind::Postgres:
        case DbmsKind::SQLite:
            return "TIMESTAMP";
        case DbmsKind::MySql:
        case DbmsKind::Microsoft:
            return "DATETIME";
        case DbmsKind::Oracle:
        case DbmsKind::Generic:
            break;
    }
    return "DATE";
}

ColumnTestResult TestColumn(const CDatabase& session, const std::string& table, const std::string& column) {
    ColumnTestResult result;
    if (!session.IsOpen()) return result;
    std::optional<Statement> stmt;
    try {
        stmt.emplace(session);
        stmt->Execute("select " + column + " from " + table + " where 1=0");
    } catch (const CDBException&) {
        // A column or table that is not there, or a test that cannot run:
        // the column counts as missing and an ADD is tried.
        return result;
    }
    result.exists = true;

    // The description comes with the executed statement; reading it sends
    // nothing to the server.
    DescribedColumn d;
    SQLCHAR name[128] = {};
    SQLSMALLINT nameLength = 0, nullable = 0;
    if (!OdbcOk(SQLDescribeCol(stmt->get(), 1, name, sizeof name, &nameLength, &d.dataType, &d.size, &d.decimals,
                               &nullable)))
        return result;
    SQLCHAR typeName[128] = {};
    SQLSMALLINT typeNameLength = 0;
    if (!OdbcOk(SQLColAttribute(stmt->get(), 1, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeNameLength,
                                nullptr)))
        return result;
    d.typeName = reinterpret_cast<const char*>(typeName);
    SQLLEN isUnsigned = SQL_FALSE;
    if (!OdbcOk(SQLColAttribute(stmt->get(), 1, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned))) return result;
    d.isUnsigned = isUnsigned != SQL_FALSE;
    result.described = d;
    return result;
}

bool ColumnExists(const CDatabase& session, const std::string& table, const std::string& column) {
    return TestColumn(session, table, column).exists;
}

bool HasListedType(DbmsKind kind, const DescribedColumn& described, const std::string& type) {
    const auto [listed, length] = SplitLength(type);
    const std::string typeName = Lower(described.typeName);
    return std::any_of(std::begin(kDescribedAs), std::end(kDescribedAs), [&](const DescribedAs& as) {
        return as.kind == kind && listed == as.listed && described.dataType == as.dataType &&
               typeName == as.typeName && (length == 0 || described.size == length) &&
               (as.decimals < 0 || described.decimals == as.decimals) &&
               (!as.signedNumber || !described.isUnsigned);
    });
}

std::string AlterStatement(DbmsKind kind, bool columnExists, const std::string& table, const std::string& column,
                           const std::string& type) {
    std::string verb = "ADD";
    std::string fourth = " ";
    if (columnExists) {
        switch (kind) {
            case DbmsKind::SQLite:
                // SQLite cannot re-declare a column; an existing one stays.
                return {};
            case DbmsKind::Generic:
                verb = "ALTER";
                break;
            case DbmsKind::Microsoft:
                verb = "ALTER COLUMN";
                break;
            case DbmsKind::Oracle:
            case DbmsKind::MySql:
                verb = "MODIFY";
                break;
            case DbmsKind::Postgres:
                verb = "ALTER";
                fourth = "TYPE";
                break;
        }
    }
    return "ALTER TABLE " + table + " " + verb + " " + column + " " + fourth + " " + type;
}

bool AddOrAlterColumn(CDatabase& session, DbmsKind kind, const std::string& table, const std::string& column,
                      const std::string& type, const FailureReporter& report) {
    const ColumnTestResult test = TestColumn(session, table, column);
    // A re-declaration takes an exclusive lock on the table (PostgreSQL) or
    // rebuilds it (MySQL), so it is sent only when the type differs.
    if (test.exists && test.described && HasListedType(kind, *test.described, type)) return true;
    const std::string sql = AlterStatement(kind, test.exists, table, column, type);
    if (sql.empty()) return true;
    try {
        session.ExecuteDirect(sql);
        return true;
    } catch (const CDBException& e) {
        report(LoadString(str::DatabaseError) + FormatString(str::FieldAddError, column, table) + e.ErrorText);
        return false;
    }
}

void UpgradeSchema(CDatabase& session, const FailureReporter& report) {
    const DbmsKind kind = DetectDbmsKind(session);
    const char* dateTimeType = DateTimeType(kind);
    for (const SchemaColumn& entry : SchemaColumns())
        AddOrAlterColumn(session, kind, entry.table, entry.column, entry.type ? entry.type : dateTimeType, report);
}

#include "db/schema_upgrade.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "db/odbc_handle.h"
#include "db/session.h"
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

bool ColumnExists(const CDatabase& session, const std::string& table, const std::string& column) {
    if (!session.IsOpen()) return false;
    StatementHandle stmt;
    SQLRETURN rc = stmt.Allocate(session.ConnectionHandle());
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return false;
    std::string sql = "select " + column + " from " + table + " where 1=0";
    rc = SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
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
    const std::string sql = AlterStatement(kind, ColumnExists(session, table, column), table, column, type);
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

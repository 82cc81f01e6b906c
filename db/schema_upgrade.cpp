#include "db/schema_upgrade.h"

#include <array>

#include "db/result.h"
#include "db/session.h"
#include "db/statement.h"

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

}  // namespace

std::span<const SchemaColumn> SchemaColumns() { return kSchemaColumns; }

ColumnTestResult TestColumn(const CDatabase& session, const std::string& table, const std::string& column) {
    ColumnTestResult result;
    if (!session.IsOpen()) return result;
    std::optional<Statement> stmt;
    std::optional<Result> answer;
    try {
        stmt.emplace(session);
        answer.emplace(stmt->Execute("select " + column + " from " + table + " where 1=0"));
    } catch (const CDBException&) {
        // A column or table that is not there, or a test that cannot run:
        // the column counts as missing and an ADD is tried.
        return result;
    }
    result.exists = true;

    // The description comes with the executed statement; reading it sends
    // nothing to the server. One that cannot be read leaves the type unknown.
    try {
        result.described = answer->Describe(1);
    } catch (const CDBException&) {
        result.described.reset();
    }
    return result;
}

bool ColumnExists(const CDatabase& session, const std::string& table, const std::string& column) {
    return TestColumn(session, table, column).exists;
}

bool AddOrAlterColumn(CDatabase& session, const std::string& table, const std::string& column,
                      const std::string& type, const FailureReporter& report) {
    const SqlDialect& dialect = session.SessionDialect();
    const ColumnTestResult test = TestColumn(session, table, column);
    // A re-declaration takes an exclusive lock on the table (PostgreSQL) or
    // rebuilds it (MySQL), so it is sent only when the type differs.
    if (test.exists && test.described && dialect.HasListedType(*test.described, type)) return true;
    const std::string sql = dialect.AlterStatement(test.exists, table, column, type);
    if (sql.empty()) return true;
    try {
        session.ExecuteDirect(sql);
        return true;
    } catch (const CDBException& e) {
        report(ColumnUpgradeFailure(table, column, e));
        return false;
    }
}

void UpgradeSchema(CDatabase& session, const FailureReporter& report) {
    const char* dateTimeType = session.SessionDialect().DateTimeType();
    for (const SchemaColumn& entry : SchemaColumns())
        AddOrAlterColumn(session, entry.table, entry.column, entry.type ? entry.type : dateTimeType, report);
}

#include "db/station_queries.h"

#include <limits>

#include "db/odbc_handle.h"
#include "db/statement.h"
#include "db/schema_upgrade.h"
#include "db/session.h"
#include "db/sql_text.h"
#include "resources/string_table.h"

namespace {

// Runs a query whose answer is one integer in its first row and answers that
// integer; nullopt for NULL. Throws CDBException when any step fails.
std::optional<long long> QueryInteger(CDatabase& session, const std::string& sql) {
    if (!session.IsOpen()) throw CDBException::Layer(LayerError::NoStatementHandle);
    Statement stmt(session);
    // An aggregate always gives a row, so a missing one is a fault.
    if (stmt.Execute(sql) == SQL_NO_DATA || stmt.Fetch() == SQL_NO_DATA) stmt.Fail(SQL_ERROR);
    // Read as 64 bits: the SQLite and MariaDB drivers hand a larger value
    // into a 32-bit integer cut, without a word.
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    stmt.Check(SQLGetData(stmt.get(), 1, SQL_C_SBIGINT, &value, sizeof value, &indicator));
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    return static_cast<long long>(value);
}

}  // namespace

int CheckedNextStationIndex(CDatabase& session) {
    const long long next = QueryInteger(session, "select max(NINDEX)+1 as maxindex from SITE").value_or(1);
    // A number NINDEX cannot hold is a failure (PostgreSQL's own arithmetic
    // already refuses it), not a number to write wrapped.
    if (next > std::numeric_limits<int>::max())
        throw CDBException(SQL_ERROR, {DiagnosticRecord{"22003", 0,
                                                         FormatString(str::StationIndexOutOfRange, std::to_string(next)),
                                                         {}}});
    return static_cast<int>(next);
}

bool CheckedStationRowExists(CDatabase& session, const std::string& table, const std::string& stationCode) {
    return QueryInteger(session, "select count(*) from " + table + " where STA=" + SqlQuote(stationCode)).value_or(0) != 0;
}

StationLock LockStationForWriting(CDatabase& session) {
    switch (ClassifyDbmsName(session.DbmsName())) {
        case DbmsKind::SQLite:
            // The driver begins its transactions deferred: the first writing
            // statement takes the write lock, whether or not it touches a row.
            session.ExecuteDirect("update SITE set STA=STA where 1=0");
            return {};
        case DbmsKind::Postgres: return {"for update", true};
        default: return {"for update", false};
    }
}

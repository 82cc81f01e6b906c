#include "db/station_queries.h"

#include <limits>
#include <optional>

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

namespace {

// The name of the MariaDB lock: one per database (a name holds at most 64
// characters).
constexpr const char* kWriterLockName = "concat('station-editor:', left(ifnull(database(), ''), 48))";
// The key of the PostgreSQL lock, "SITE" in ASCII; advisory locks are per database.
constexpr const char* kWriterLockKey = "1397310533";

}  // namespace

void LockCatalogueWriters(CDatabase& session, WriterLockMoment moment) {
    const DbmsKind kind = ClassifyDbmsName(session.DbmsName());
    if (moment == WriterLockMoment::AfterBegin) {
        // The SQLite driver begins its transactions deferred: the first
        // writing statement takes the write lock, whether or not it touches a row.
        if (kind == DbmsKind::SQLite) session.ExecuteDirect("update SITE set STA=STA where 1=0");
        if (kind == DbmsKind::Postgres)
            session.ExecuteDirect(std::string("select pg_advisory_xact_lock(") + kWriterLockKey + ")");
        return;
    }
    if (kind != DbmsKind::MySql) return;
    const std::string wait = std::to_string(kWriterLockWaitSeconds);
    const std::optional<long long> got =
        QueryInteger(session, std::string("select GET_LOCK(") + kWriterLockName + ", " + wait + ")");
    // 0: the wait ran out; NULL: the server failed to take it.
    if (got.value_or(0) != 1)
        throw CDBException(SQL_ERROR, {DiagnosticRecord{got ? "HYT00" : "HY000", 0,
                                                         FormatString(str::CatalogueBusy, wait), {}}});
}

bool UnlockCatalogueWriters(CDatabase& session) noexcept {
    try {
        if (ClassifyDbmsName(session.DbmsName()) == DbmsKind::MySql)
            session.ExecuteDirect(std::string("select RELEASE_LOCK(") + kWriterLockName + ")");
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

StationLock LockStationForWriting(CDatabase& session) {
    switch (ClassifyDbmsName(session.DbmsName())) {
        case DbmsKind::SQLite: return {};
        case DbmsKind::Postgres: return {"for update", true};
        default: return {"for update", false};
    }
}

#include "station/station_queries.h"

#include <limits>
#include <optional>

#include "db/result.h"
#include "db/session.h"
#include "db/sql_text.h"
#include "db/statement.h"
#include "resources/string_table.h"

namespace {

// Runs a query whose answer is one integer in its first row and answers that
// integer; nullopt for NULL. Throws CDBException when any step fails.
std::optional<long long> QueryInteger(CDatabase& session, const std::string& sql) {
    if (!session.IsOpen()) throw CDBException::Layer(LayerError::NoStatementHandle);
    Statement stmt(session);
    Result result = stmt.Execute(sql);
    // An aggregate always gives a row, so a missing one is a fault.
    if (!result.Touched() || !result.Next()) stmt.Fail(SQL_ERROR);
    // Read as 64 bits: the SQLite and MariaDB drivers hand a larger value
    // into a 32-bit integer cut, without a word.
    return result.Int64(1);
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

void LockCatalogueWriters(CDatabase& session, WriterLockMoment moment) {
    const WriterLockStatements lock = session.SessionDialect().CatalogueWriterLock(kWriterLockWaitSeconds);
    if (moment == WriterLockMoment::AfterBegin) {
        if (!lock.afterBegin.empty()) session.ExecuteDirect(lock.afterBegin);
        return;
    }
    if (lock.beforeBegin.empty()) return;
    const std::optional<long long> got = QueryInteger(session, lock.beforeBegin);
    // 0: the wait ran out; NULL: the server failed to take it.
    if (got.value_or(0) != 1)
        throw CDBException(SQL_ERROR, {DiagnosticRecord{got ? "HYT00" : "HY000", 0,
                                                         FormatString(str::CatalogueBusy,
                                                                      std::to_string(kWriterLockWaitSeconds)),
                                                         {}}});
}

bool UnlockCatalogueWriters(CDatabase& session) noexcept {
    try {
        const WriterLockStatements lock = session.SessionDialect().CatalogueWriterLock(kWriterLockWaitSeconds);
        if (!lock.afterEnd.empty()) session.ExecuteDirect(lock.afterEnd);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

StationLock LockStationForWriting(CDatabase& session) {
    const SqlDialect& dialect = session.SessionDialect();
    return {dialect.RowLockClause(), dialect.LocksTablesOneByOne()};
}

namespace {

// The catalogue writer lock as the transaction's lock.
class CatalogueWriters final : public TransactionLock {
public:
    void BeforeBegin(CDatabase& session) const override {
        LockCatalogueWriters(session, WriterLockMoment::BeforeBegin);
    }
    void AfterBegin(CDatabase& session) const override { LockCatalogueWriters(session, WriterLockMoment::AfterBegin); }
    bool AfterEnd(CDatabase& session) const noexcept override { return UnlockCatalogueWriters(session); }
};

}  // namespace

const TransactionLock& CatalogueWriterLock() {
    static const CatalogueWriters lock;
    return lock;
}

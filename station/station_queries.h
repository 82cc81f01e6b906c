#pragma once
// The direct queries a station's save and delete rely on, with a failure told
// apart from every answer: each throws CDBException with the driver's text.
// Also the catalogue writer lock every writing transaction takes.

#include <string>

#include "db/transaction.h"

class CDatabase;

// One above the largest NINDEX of SITE ("select max(NINDEX)+1 as maxindex
// from SITE"); 1 when SITE has no numbered row.
int CheckedNextStationIndex(CDatabase& session);

// Whether at least one row of `table` has the code in STA
// ("select count(*) from <table> where STA=<code>").
bool CheckedStationRowExists(CDatabase& session, const std::string& table, const std::string& stationCode);

// How a transaction keeps every other writer off a station while it reads the
// station again (see LockStationForWriting): what goes with that reading.
struct StationLock {
    std::string rowLock;         // follows the SELECT that reads the SITE row
    bool siteReadFirst = false;  // the SITE row is read by a SELECT of its own,
                                 // the channel rows by the next one, both in
                                 // one request
};

// The one lock every writing transaction of the programs (the form's save
// and delete, the import) takes before it reads anything, held to its end:
// two writers never interleave, so what a write decides (new or existing
// station, the next NINDEX, the rows it removes) no other writer changes
// before it commits. A Transaction given CatalogueWriterLock() takes it at
// the moment each database needs, with the statements of the session's dialect:
// - SQLite, right after the transaction begins: the file's write lock, taken
//   with a statement that writes nothing ("update SITE set STA=STA where 1=0");
// - PostgreSQL, right after: "select pg_advisory_xact_lock(...)", which ends
//   with the transaction; each later statement (READ COMMITTED) sees what
//   the writer before committed;
// - MariaDB, before the transaction begins: GET_LOCK, a lock of the
//   connection, so that the transaction's REPEATABLE READ snapshot is taken
//   after it; released by UnlockCatalogueWriters once the transaction ended.
//   A wait longer than kWriterLockWaitSeconds fails (string 990).
enum class WriterLockMoment { BeforeBegin, AfterBegin };
void LockCatalogueWriters(CDatabase& session, WriterLockMoment moment);
// Releases what LockCatalogueWriters took before the transaction began
// (nothing on SQLite and PostgreSQL). False when the release failed: the
// server releases the lock with the connection anyway.
bool UnlockCatalogueWriters(CDatabase& session) noexcept;
inline constexpr int kWriterLockWaitSeconds = 50;
// The writer lock as a transaction takes it (see Transaction).
const TransactionLock& CatalogueWriterLock();

// Inside a transaction holding the writer lock, starts keeping every other
// writer off the station until the transaction ends, so that what is read
// next is what is overwritten; the lock costs no request of its own on a
// server.
// - SQLite, whose file the writer lock already holds, answers nothing to add.
// - PostgreSQL answers "for update" with the SITE row read first: the channel
//   rows are read by the next SELECT of the same request, which starts once
//   the lock is held and so sees what an editor who held it before has
//   committed. (A lock clause on a join of both tables would show such an
//   editor's SITE row beside channel rows from before its commit.)
// - Other servers (MariaDB) answer "for update" for one reading of both: its
//   rows are read locked, each as last committed.
StationLock LockStationForWriting(CDatabase& session);

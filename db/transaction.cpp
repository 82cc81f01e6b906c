#include "db/transaction.h"

#include "db/session.h"
#include "db/station_queries.h"
#include "resources/string_table.h"

Transaction::Transaction(CDatabase& session, TransactionLock lock) : session_(session), lock_(lock) { Begin(); }

Transaction::~Transaction() { Rollback(); }

bool Transaction::Begin() {
    if (open_) return true;
    const bool writer = lock_ == TransactionLock::CatalogueWriters && session_.CanTransact();
    if (writer) LockCatalogueWriters(session_, WriterLockMoment::BeforeBegin);
    open_ = session_.BeginTransaction();
    if (!open_) {
        if (writer) UnlockCatalogueWriters(session_);
        return false;
    }
    if (writer) {
        try {
            LockCatalogueWriters(session_, WriterLockMoment::AfterBegin);
        } catch (...) {
            Rollback();
            throw;
        }
    }
    return true;
}

void Transaction::Ended() {
    // A release that fails is a lost connection, which releases it too.
    if (lock_ == TransactionLock::CatalogueWriters) UnlockCatalogueWriters(session_);
}

void Transaction::Commit() {
    if (!open_) return;
    open_ = false;
    if (session_.CommitTransaction()) {
        Ended();
        return;
    }
    std::string text = session_.LastTransactionError();
    session_.RollbackTransaction();
    Ended();
    if (text.empty()) text = LoadString(str::DatabaseError);
    throw CDBException(SQL_ERROR, text, {});
}

void Transaction::Rollback() {
    if (!open_) return;
    open_ = false;
    session_.RollbackTransaction();
    Ended();
}

bool IsTransactionConflict(const CDBException& e) {
    return e.HasState("40001") || e.HasState("40P01") || e.HasNativeError(1213);
}

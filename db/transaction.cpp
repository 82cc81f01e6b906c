#include "db/transaction.h"

#include "db/session.h"

Transaction::Transaction(CDatabase& session, const TransactionLock* lock) : session_(session), lock_(lock) { Begin(); }

Transaction::~Transaction() { Rollback(); }

bool Transaction::Begin() {
    if (open_) return true;
    const bool locking = lock_ != nullptr && session_.CanTransact();
    if (locking) lock_->BeforeBegin(session_);
    open_ = session_.BeginTransaction();
    if (!open_) {
        if (locking) lock_->AfterEnd(session_);
        return false;
    }
    if (locking) {
        try {
            lock_->AfterBegin(session_);
        } catch (...) {
            Rollback();
            throw;
        }
    }
    return true;
}

void Transaction::Ended() {
    // A release that fails is a lost connection, which releases it too.
    if (lock_ != nullptr) lock_->AfterEnd(session_);
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

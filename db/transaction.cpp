#include "db/transaction.h"

#include "db/session.h"
#include "resources/string_table.h"

Transaction::Transaction(CDatabase& session) : session_(session) { Begin(); }

Transaction::~Transaction() { Rollback(); }

bool Transaction::Begin() {
    if (!open_) open_ = session_.BeginTransaction();
    return open_;
}

void Transaction::Commit() {
    if (!open_) return;
    open_ = false;
    if (session_.CommitTransaction()) return;
    std::string text = session_.LastTransactionError();
    session_.RollbackTransaction();
    if (text.empty()) text = LoadString(str::DatabaseError);
    throw CDBException(SQL_ERROR, text, {});
}

void Transaction::Rollback() {
    if (!open_) return;
    open_ = false;
    session_.RollbackTransaction();
}

#include "db/statement.h"

#include "db/session.h"

namespace {

SQLCHAR* SqlChars(const std::string& text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())); }

}  // namespace

Statement::Statement(const CDatabase& session) : session_(const_cast<CDatabase&>(session)) { Allocate(); }

void Statement::Allocate() {
    const SQLRETURN rc = stmt_.Allocate(session_.ConnectionHandle());
    if (!OdbcOk(rc)) {
        stmt_.release();  // nothing was allocated
        throw MakeDbException(rc, session_.ConnectionHandle(), SQL_NULL_HSTMT);
    }
    session_.ApplyQueryTimeout(stmt_.get());
}

SQLRETURN Statement::Execute(const std::string& sql, const Setup& setup) {
    return Run(
        [&](SQLHSTMT h) {
            // Asked at every try: a connection made again may speak otherwise.
            const SqlDialect& dialect = session_.SessionDialect();
            if (!dialect.KeepsBackslashEscapes()) return SQLExecDirect(h, SqlChars(sql), SQL_NTS);
            const std::string text = dialect.SendableText(sql);
            return SQLExecDirect(h, SqlChars(text), SQL_NTS);
        },
        setup);
}

SQLRETURN Statement::PrimaryKeys(const std::string& table) {
    return Run([&](SQLHSTMT h) { return SQLPrimaryKeys(h, nullptr, 0, nullptr, 0, SqlChars(table), SQL_NTS); }, {});
}

SQLRETURN Statement::Run(const std::function<SQLRETURN(SQLHSTMT)>& call, const Setup& setup) {
    for (;;) {
        if (!stmt_) Allocate();
        if (setup) setup(*this);
        const SQLRETURN rc = RetryWhileExecuting([&] { return call(stmt_.get()); });
        if (OdbcSucceeded(rc)) {
            session_.StatementSucceeded();
            return rc;
        }
        CDBException failure = MakeDbException(rc, session_.ConnectionHandle(), stmt_.get());
        SQLCancel(stmt_.get());
        stmt_.reset();
        // A kept connection lost since its last operation: the session
        // connects again and the statement runs once more on a new handle.
        if (!session_.RecoverLostConnection(failure)) throw failure;
    }
}

SQLRETURN Statement::Fetch() {
    const SQLRETURN rc = RetryWhileExecuting([&] { return SQLFetch(stmt_.get()); });
    if (rc != SQL_NO_DATA) Check(rc);
    return rc;
}

bool Statement::NextResult() {
    const SQLRETURN rc = RetryWhileExecuting([&] { return SQLMoreResults(stmt_.get()); });
    if (rc == SQL_NO_DATA) return false;
    Check(rc);
    return true;
}

void Statement::Discard() {
    // Fetch failures while discarding are not the statement's failure.
    for (;;) {
        SQLSMALLINT columns = 0;
        if (OdbcOk(SQLNumResultCols(stmt_.get(), &columns)) && columns > 0) {
            while (OdbcOk(RetryWhileExecuting([&] { return SQLFetch(stmt_.get()); }))) {
            }
        }
        if (!OdbcOk(RetryWhileExecuting([&] { return SQLMoreResults(stmt_.get()); }))) break;
    }
}

void Statement::CloseCursor() {
    if (stmt_) SQLFreeStmt(stmt_.get(), SQL_CLOSE);
}

void Statement::Check(SQLRETURN rc) const {
    if (!OdbcOk(rc)) Fail(rc);
}

void Statement::Fail(SQLRETURN rc) const {
    throw MakeDbException(rc, session_.ConnectionHandle(), stmt_.get());
}

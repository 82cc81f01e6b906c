#include "db/statement.h"

#include "db/connection.h"
#include "db/result.h"

namespace {

SQLCHAR* SqlChars(const std::string& text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())); }

SQLPOINTER AttributeValue(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(value); }

}  // namespace

Statement::Statement(const Connection& session) : session_(const_cast<Connection&>(session)) { Allocate(); }

void Statement::Allocate() {
    const SQLRETURN rc = stmt_.Allocate(session_.ConnectionHandle());
    if (!OdbcOk(rc)) {
        stmt_.release();  // nothing was allocated
        throw MakeDbException(rc, session_.ConnectionHandle(), SQL_NULL_HSTMT);
    }
    session_.ApplyQueryTimeout(stmt_.get());
}

Result Statement::Execute(const std::string& sql, const Setup& setup) {
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

Result Statement::PrimaryKeys(const std::string& table) {
    return Run([&](SQLHSTMT h) { return SQLPrimaryKeys(h, nullptr, 0, nullptr, 0, SqlChars(table), SQL_NTS); }, {});
}

Result Statement::Run(const std::function<SQLRETURN(SQLHSTMT)>& call, const Setup& setup) {
    // A kept connection lost since its last operation: the session connects
    // again and the statement runs once more on a new handle.
    const SQLRETURN rc = session_.Reconnecting(
        [&] {
            if (!stmt_) Allocate();
            if (setup) setup(*this);
            const SQLRETURN answer = RetryWhileExecuting([&] { return call(stmt_.get()); });
            if (answer == SQL_SUCCESS || answer == SQL_SUCCESS_WITH_INFO || answer == SQL_NO_DATA) return answer;
            CDBException failure = MakeDbException(answer, session_.ConnectionHandle(), stmt_.get());
            SQLCancel(stmt_.get());
            stmt_.reset();
            throw failure;
        },
        true);
    return Result(stmt_.get(), session_, rc);
}

void Statement::UseStaticReadOnlyCursor() {
    Check(SQLSetStmtAttr(get(), SQL_ATTR_CURSOR_TYPE, AttributeValue(SQL_CURSOR_STATIC), 0));
    Check(SQLSetStmtAttr(get(), SQL_ATTR_CONCURRENCY, AttributeValue(SQL_CONCUR_READ_ONLY), 0));
}

void Statement::BindParameter(SQLUSMALLINT number, const ParameterBinding& p) {
    Check(SQLBindParameter(get(), number, SQL_PARAM_INPUT, p.cType, p.sqlType, p.size, p.digits, p.buffer,
                           p.bufferLength, p.indicator));
}

bool Statement::TakesParameterRows(SQLULEN rows) {
    if (!OdbcOk(SQLSetStmtAttr(get(), SQL_ATTR_PARAMSET_SIZE, AttributeValue(rows), 0))) return false;
    SQLULEN kept = 0;
    if (!OdbcOk(SQLGetStmtAttr(get(), SQL_ATTR_PARAMSET_SIZE, &kept, 0, nullptr))) return false;
    return kept == rows;
}

void Statement::UseParameterRows(SQLULEN rows, SQLULEN* processed) {
    Check(SQLSetStmtAttr(get(), SQL_ATTR_PARAM_BIND_TYPE, AttributeValue(SQL_PARAM_BIND_BY_COLUMN), 0));
    Check(SQLSetStmtAttr(get(), SQL_ATTR_PARAMSET_SIZE, AttributeValue(rows), 0));
    Check(SQLSetStmtAttr(get(), SQL_ATTR_PARAMS_PROCESSED_PTR, processed, 0));
}

void Statement::CloseCursor() {
    if (!stmt_) return;
    SQLFreeStmt(stmt_.get(), SQL_CLOSE);
    SQLFreeStmt(stmt_.get(), SQL_UNBIND);
}

void Statement::Check(SQLRETURN rc) const {
    if (!OdbcOk(rc)) Fail(rc);
}

void Statement::Fail(SQLRETURN rc) const {
    throw MakeDbException(rc, session_.ConnectionHandle(), stmt_.get());
}

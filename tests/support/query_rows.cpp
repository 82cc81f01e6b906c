#include "tests/support/query_rows.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "db/odbc_handle.h"
#include "db/session.h"

namespace {

[[noreturn]] void Fail(const std::string& sql, const std::string& what) {
    ADD_FAILURE() << "query failed: " << sql << "\n" << what;
    throw std::runtime_error("query failed: " + sql + "\n" + what);
}

[[noreturn]] void FailWithDiagnostics(const std::string& sql, SQLRETURN rc, const CDatabase& session,
                                      const StatementHandle& stmt) {
    const CDBException e = MakeDbException(rc, session.ConnectionHandle(), stmt.get());
    Fail(sql, e.ErrorText + e.StateText);
}

// One column of the current row as text, read in pieces so that no length is
// assumed; nullopt for NULL.
std::optional<std::string> ColumnText(const std::string& sql, const CDatabase& session, const StatementHandle& stmt,
                                      SQLUSMALLINT column) {
    std::string value;
    char piece[512];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt.get(), column, SQL_C_CHAR, piece, sizeof piece, &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) FailWithDiagnostics(sql, rc, session, stmt);
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        // A truncated piece fills the buffer less its terminator; a complete
        // one holds exactly `indicator` bytes (which may include zero bytes).
        const bool truncated =
            rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= SQLLEN(sizeof piece));
        value.append(piece, truncated ? sizeof piece - 1 : static_cast<std::size_t>(indicator));
        if (!truncated) break;
    }
    return value;
}

}  // namespace

std::vector<TextRow> QueryRows(const CDatabase& session, const std::string& sql) {
    if (!session.IsOpen()) Fail(sql, "the session is not open");
    StatementHandle stmt;
    SQLRETURN rc = stmt.Allocate(session.ConnectionHandle());
    if (!SQL_SUCCEEDED(rc)) Fail(sql, "cannot allocate a statement");
    rc = SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    if (rc == SQL_NO_DATA) return {};  // a searched statement that touched no row
    if (!SQL_SUCCEEDED(rc)) FailWithDiagnostics(sql, rc, session, stmt);
    SQLSMALLINT columns = 0;
    rc = SQLNumResultCols(stmt.get(), &columns);
    if (!SQL_SUCCEEDED(rc)) FailWithDiagnostics(sql, rc, session, stmt);
    std::vector<TextRow> rows;
    while (columns > 0) {
        rc = SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) FailWithDiagnostics(sql, rc, session, stmt);
        TextRow row;
        for (SQLSMALLINT c = 1; c <= columns; ++c)
            row.push_back(ColumnText(sql, session, stmt, static_cast<SQLUSMALLINT>(c)));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<std::string> QueryValue(const CDatabase& session, const std::string& sql) {
    auto rows = QueryRows(session, sql);
    if (rows.empty() || rows[0].empty()) return std::nullopt;
    return rows[0][0];
}

long CountRows(const CDatabase& session, const std::string& table, const std::string& where) {
    const std::string sql = "select count(*) from " + table + (where.empty() ? "" : " where " + where);
    const auto value = QueryValue(session, sql);
    if (!value) Fail(sql, "no count answered");
    try {
        return std::stol(*value);
    } catch (const std::exception&) {
        Fail(sql, "the count is no number: " + *value);
    }
}

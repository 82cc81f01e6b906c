#include "tests/support/query_rows.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "db/odbc_handle.h"
#include "db/session.h"

std::vector<TextRow> QueryRows(const CDatabase& session, const std::string& sql) {
    StatementHandle stmt;
    SQLRETURN rc = stmt.Allocate(session.ConnectionHandle());
    if (!SQL_SUCCEEDED(rc)) {
        ADD_FAILURE() << "cannot allocate a statement for: " << sql;
        throw std::runtime_error("statement allocation failed");
    }
    rc = SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        std::string why = MakeDbException(rc, session.ConnectionHandle(), stmt.get()).ErrorText;
        ADD_FAILURE() << "query failed: " << sql << "\n" << why;
        throw std::runtime_error("query failed: " + why);
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt.get(), &columns);
    std::vector<TextRow> rows;
    while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
        TextRow row;
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
            std::string value;
            char chunk[512];
            SQLLEN indicator = 0;
            bool isNull = false;
            for (;;) {
                rc = SQLGetData(stmt.get(), c, SQL_C_CHAR, chunk, sizeof chunk, &indicator);
                if (rc == SQL_NO_DATA) break;
                if (!SQL_SUCCEEDED(rc)) {
                    ADD_FAILURE() << "cannot read column " << c << " of: " << sql;
                    throw std::runtime_error("SQLGetData failed");
                }
                if (indicator == SQL_NULL_DATA) {
                    isNull = true;
                    break;
                }
                value += chunk;
                if (rc == SQL_SUCCESS) break;
            }
            row.push_back(isNull ? std::nullopt : std::optional<std::string>(value));
        }
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
    auto value = QueryValue(session, "select count(*) from " + table + (where.empty() ? "" : " where " + where));
    return value ? std::stol(*value) : -1;
}

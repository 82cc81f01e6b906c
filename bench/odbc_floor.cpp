#include "bench/odbc_floor.h"

#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

namespace {

// Rows fetched per SQLFetch.
constexpr SQLULEN kRowArray = 128;
// Widest text column bound, in characters (UTF-8: four bytes each).
constexpr SQLULEN kMaxTextChars = 1024;

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

SQLCHAR* Chars(const std::string& text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())); }

// The driver's messages on a handle, one per line.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> message(1024);
        SQLSMALLINT length = 0;
        if (!Ok(SQLGetDiagRec(type, handle, record, state, &native, message.data(),
                              static_cast<SQLSMALLINT>(message.size()), &length)))
            break;
        text += reinterpret_cast<char*>(state) + std::string(": ") + reinterpret_cast<char*>(message.data()) + "\n";
    }
    return text;
}

// The C type a column is read as: the program's own choices for numbers and
// times, text for the rest.
SQLSMALLINT CTypeOf(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_SMALLINT: case SQL_INTEGER: case SQL_TINYINT: case SQL_BIT: return SQL_C_SLONG;
        case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE: return SQL_C_DOUBLE;
        case SQL_TYPE_TIMESTAMP: case SQL_TYPE_DATE: case SQL_DATETIME: return SQL_C_TYPE_TIMESTAMP;
        default: return SQL_C_CHAR;
    }
}

SQLLEN WidthOf(SQLSMALLINT cType, SQLULEN columnSize) {
    switch (cType) {
        case SQL_C_SLONG: return sizeof(SQLINTEGER);
        case SQL_C_DOUBLE: return sizeof(double);
        case SQL_C_TYPE_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
        default: return static_cast<SQLLEN>(std::clamp<SQLULEN>(columnSize, 32, kMaxTextChars) * 4 + 1);
    }
}

}  // namespace

FloorClient::FloorClient(const std::string& connectString) {
    if (!Ok(env_.Allocate(SQL_NULL_HANDLE))) throw std::runtime_error("floor: no ODBC environment");
    SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!Ok(dbc_.Allocate(env_.get()))) Fail("connection handle", SQL_HANDLE_ENV, env_.get());
    if (!Ok(SQLDriverConnect(dbc_.get(), nullptr, Chars(connectString), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT)))
        Fail("connect", SQL_HANDLE_DBC, dbc_.get());
    connected_ = true;
}

FloorClient::~FloorClient() {
    stmt_.reset();
    if (connected_) SQLDisconnect(dbc_.get());
}

void FloorClient::Replay(const Recording& recording, std::vector<double>* seconds) {
    for (const RecordedCall& call : recording.calls) {
        const auto begin = std::chrono::steady_clock::now();
        Send(call);
        if (seconds != nullptr)
            seconds->push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
}

void FloorClient::Send(const RecordedCall& call) {
    SQLRETURN rc = SQL_SUCCESS;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (call.kind != CallKind::Connect && call.kind != CallKind::AutoCommit && call.kind != CallKind::EndTran) {
        // A statement handle of its own per statement, with the driver's
        // defaults: no cursor type, no timeout, nothing the program chose.
        if (!Ok(stmt_.Allocate(dbc_.get()))) Fail("statement handle", SQL_HANDLE_DBC, dbc_.get());
        stmt = stmt_.get();
    }
    switch (call.kind) {
        case CallKind::Connect: return;
        case CallKind::AutoCommit:
            rc = SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(call.value)), 0);
            if (Ok(rc) != call.succeeded) Fail("autocommit", SQL_HANDLE_DBC, dbc_.get());
            return;
        case CallKind::EndTran:
            rc = SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), static_cast<SQLSMALLINT>(call.value));
            if (Ok(rc) != call.succeeded) Fail("end of transaction", SQL_HANDLE_DBC, dbc_.get());
            return;
        case CallKind::PrimaryKeys:
            rc = SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, Chars(call.text), SQL_NTS);
            break;
        case CallKind::ExecDirect:
        case CallKind::PrepareExecute: {
            // The values are bound from a copy that lives until the call is done.
            std::vector<RecordedParam> params = call.params;
            SQLUSMALLINT number = 0;
            for (RecordedParam& p : params) {
                if (!Ok(SQLBindParameter(stmt, ++number, SQL_PARAM_INPUT, p.cType, p.sqlType, p.size, p.digits,
                                         p.bytes.data(), static_cast<SQLLEN>(p.bytes.size()), &p.indicator)))
                    Fail("parameter of " + call.text, SQL_HANDLE_STMT, stmt);
            }
            // Every statement is sent once: one SQLExecDirect, never a prepare.
            rc = SQLExecDirect(stmt, Chars(call.text), SQL_NTS);
            const bool succeeded = Ok(rc) || rc == SQL_NO_DATA;
            if (succeeded != call.succeeded) Fail(call.text, SQL_HANDLE_STMT, stmt);
            if (succeeded) FetchAll();
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_RESET_PARAMS);
            return;
        }
    }
    const bool succeeded = Ok(rc);
    if (succeeded != call.succeeded) Fail(call.text, SQL_HANDLE_STMT, stmt);
    if (succeeded) FetchAll();
    SQLFreeStmt(stmt, SQL_CLOSE);
}

void FloorClient::FetchAll() {
    SQLHSTMT stmt = stmt_.get();
    do {
        SQLSMALLINT columns = 0;
        if (!Ok(SQLNumResultCols(stmt, &columns)) || columns == 0) continue;
        // The buffers of earlier results are reused: they only ever grow.
        if (columns_.size() < static_cast<std::size_t>(columns)) columns_.resize(static_cast<std::size_t>(columns));
        SQLULEN fetched = 0;
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRowArray), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columns); ++i) {
            SQLCHAR name[128];
            SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            SQLDescribeCol(stmt, i, name, sizeof name, &nameLength, &sqlType, &size, &digits, &nullable);
            BoundColumn& c = columns_[i - 1];
            c.cType = CTypeOf(sqlType);
            c.width = WidthOf(c.cType, size);
            if (c.data.size() < static_cast<std::size_t>(c.width) * kRowArray)
                c.data.resize(static_cast<std::size_t>(c.width) * kRowArray);
            c.indicators.resize(kRowArray);
            if (!Ok(SQLBindCol(stmt, i, c.cType, c.data.data(), c.width, c.indicators.data())))
                Fail("bind column", SQL_HANDLE_STMT, stmt);
        }
        SQLRETURN rc;
        while (Ok(rc = SQLFetch(stmt))) {
        }
        if (rc != SQL_NO_DATA) Fail("fetch", SQL_HANDLE_STMT, stmt);
        SQLFreeStmt(stmt, SQL_UNBIND);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    } while (Ok(SQLMoreResults(stmt)));
}

void FloorClient::Fail(const std::string& what, SQLSMALLINT type, SQLHANDLE handle) {
    throw std::runtime_error("floor: " + what + ": " + Diagnostics(type, handle));
}

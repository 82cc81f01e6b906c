#include "db/connection.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace {

// The one environment of the process and the number of connections made through it.
struct Environment {
    SQLHENV henv = SQL_NULL_HENV;
    int connections = 0;
};

Environment& Env() {
    static Environment env;
    return env;
}

}  // namespace

std::recursive_mutex& Connection::ProcessLock() {
    static std::recursive_mutex lock;
    return lock;
}

void SplitOriginPrefixes(const std::string& message, std::string& text, std::string& origins) {
    std::string rest = message;
    origins.clear();
    while (!rest.empty() && rest[0] == '[') {
        size_t close = rest.find(']');
        if (close == std::string::npos) break;
        origins += rest.substr(0, close + 1);
        rest.erase(0, close + 1);
        if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    }
    text = rest;
}

CDBException MakeDbException(SQLRETURN rc, SQLHDBC hdbc, SQLHSTMT hstmt) {
    SQLSMALLINT handleType = SQL_HANDLE_STMT;
    SQLHANDLE handle = hstmt;
    if (hstmt == SQL_NULL_HSTMT) {
        handleType = SQL_HANDLE_DBC;
        handle = hdbc;
    }
    if (handle == SQL_NULL_HANDLE) {
        handleType = SQL_HANDLE_ENV;
        handle = Env().henv;
    }
    std::vector<DiagnosticRecord> records;
    for (SQLSMALLINT record = 1; handle != SQL_NULL_HANDLE; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN drc = SQLGetDiagRec(handleType, handle, record, state, &native, nullptr, 0, &length);
        if (!OdbcOk(drc)) break;
        std::string message(static_cast<size_t>(length) + 1, '\0');
        drc = SQLGetDiagRec(handleType, handle, record, state, &native,
                            reinterpret_cast<SQLCHAR*>(message.data()), static_cast<SQLSMALLINT>(message.size()),
                            &length);
        if (!OdbcOk(drc)) break;
        message.resize(std::min(static_cast<size_t>(length), message.size() - 1));
        DiagnosticRecord r;
        r.sqlState = reinterpret_cast<char*>(state);
        if (r.sqlState == "00000") break;
        r.nativeError = native;
        SplitOriginPrefixes(message, r.text, r.origins);
        records.push_back(std::move(r));
    }
    return CDBException(static_cast<short>(rc), std::move(records));
}

namespace OdbcEnvironment {
SQLHENV Handle() {
    std::lock_guard guard(Connection::ProcessLock());
    return Env().henv;
}
int ConnectionCount() {
    std::lock_guard guard(Connection::ProcessLock());
    return Env().connections;
}
}  // namespace OdbcEnvironment

Connection::~Connection() {
    FreeConnection();
    ReleaseEnvironmentIfUnused();
}

void Connection::ReleaseEnvironmentIfUnused() {
    Environment& env = Env();
    std::lock_guard guard(ProcessLock());
    if (env.connections == 0 && env.henv != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, env.henv);
        env.henv = SQL_NULL_HENV;
    }
}

void Connection::AllocateConnection() {
    if (hdbc_ != SQL_NULL_HDBC) return;
    Environment& env = Env();
    std::lock_guard guard(ProcessLock());
    if (env.henv == SQL_NULL_HENV) {
        if (!OdbcOk(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env.henv))) {
            env.henv = SQL_NULL_HENV;
            throw std::bad_alloc();
        }
        SQLSetEnvAttr(env.henv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, env.henv, &hdbc_);
    if (!OdbcOk(rc)) {
        hdbc_ = SQL_NULL_HDBC;
        throw MakeDbException(rc, SQL_NULL_HDBC, SQL_NULL_HSTMT);
    }
    ++env.connections;
}

SQLRETURN Connection::DriverConnect(const std::string& connectString, SQLUSMALLINT completion,
                                    std::string& completed) {
    std::string out(1024, '\0');
    SQLSMALLINT outLength = 0;
    SQLRETURN rc;
    do {
        rc = SQLDriverConnect(hdbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectString.c_str())),
                              SQL_NTS, reinterpret_cast<SQLCHAR*>(out.data()), static_cast<SQLSMALLINT>(out.size()),
                              &outLength, completion);
    } while (rc == SQL_STILL_EXECUTING);
    if (!OdbcOk(rc)) return rc;
    connected_ = true;
    out.resize(std::min(static_cast<size_t>(std::max<SQLSMALLINT>(outLength, 0)), out.size() - 1));
    completed = out.c_str();
    return rc;
}

SQLRETURN Connection::SetAttribute(SQLINTEGER attribute, SQLULEN value) {
    return SQLSetConnectAttr(hdbc_, attribute, reinterpret_cast<SQLPOINTER>(value), 0);
}

SQLRETURN Connection::EndTransaction(SQLSMALLINT completion) { return SQLEndTran(SQL_HANDLE_DBC, hdbc_, completion); }

bool Connection::KnownDead() const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (!OdbcOk(SQLGetConnectAttr(hdbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr))) return false;
    return dead == SQL_CD_TRUE;
}

std::optional<std::string> Connection::InfoText(SQLUSMALLINT what) const {
    if (hdbc_ == SQL_NULL_HDBC) return std::nullopt;
    std::string buffer(256, '\0');
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetInfo(hdbc_, what, buffer.data(), static_cast<SQLSMALLINT>(buffer.size()), &length);
    if (!OdbcOk(rc)) return std::nullopt;
    return std::string(buffer.c_str());
}

SQLUINTEGER Connection::InfoNumber(SQLUSMALLINT what) const {
    SQLUINTEGER value = 0;
    const SQLRETURN rc = SQLGetInfo(hdbc_, what, &value, sizeof value, nullptr);
    if (!OdbcOk(rc)) throw MakeDbException(rc, hdbc_, SQL_NULL_HSTMT);
    return value;
}

SQLUSMALLINT Connection::InfoSmallNumber(SQLUSMALLINT what) const {
    SQLUSMALLINT value = 0;
    const SQLRETURN rc = SQLGetInfo(hdbc_, what, &value, sizeof value, nullptr);
    if (!OdbcOk(rc)) throw MakeDbException(rc, hdbc_, SQL_NULL_HSTMT);
    return value;
}

void Connection::FreeConnection() {
    Environment& env = Env();
    std::lock_guard guard(ProcessLock());
    if (hdbc_ == SQL_NULL_HDBC) return;
    dialect_ = SqlDialect();
    timeoutHeldBySession_ = false;
    if (connected_) SQLDisconnect(hdbc_);
    connected_ = false;
    SQLFreeHandle(SQL_HANDLE_DBC, hdbc_);
    hdbc_ = SQL_NULL_HDBC;
    --env.connections;
}

void Connection::ApplyQueryTimeout(SQLHSTMT stmt) {
    if (queryTimeout_ == ~SQLUINTEGER{0} || timeoutHeldBySession_) return;
    SQLRETURN rc =
        SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN{queryTimeout_}), 0);
    if (!OdbcOk(rc)) queryTimeout_ = ~SQLUINTEGER{0};
}

bool Connection::RecoverLostConnection(const CDBException& failure) {
    if (!std::exchange(reconnectArmed_, false) || !dialect_.TellsOfLostConnection(failure)) return false;
    return Reconnect();
}

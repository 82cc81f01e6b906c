#include "db/session.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <new>
#include <utility>
#include <cstdlib>

#include "db/odbc_handle.h"
#include "db/recordset.h"
#include "db/sql_text.h"
#include "db/statement.h"

namespace {

// The one environment of the process, the number of connections made through
// it, and the re-entrant lock that guards both and every session's list of
// record sets (closing a session closes its record sets, which lock again).
struct Environment {
    std::recursive_mutex lock;
    SQLHENV henv = SQL_NULL_HENV;
    int connections = 0;
};

Environment& Env() {
    static Environment env;
    return env;
}

// Reads a character answer of SQLGetInfo; nullopt when the question fails.
std::optional<std::string> InfoText(SQLHDBC hdbc, SQLUSMALLINT what) {
    char buffer[256] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetInfo(hdbc, what, buffer, sizeof buffer, &length);
    if (!OdbcOk(rc)) return std::nullopt;
    return std::string(buffer);
}

template <typename T>
bool InfoNumber(SQLHDBC hdbc, SQLUSMALLINT what, T& out) {
    T value{};
    SQLRETURN rc = SQLGetInfo(hdbc, what, &value, sizeof value, nullptr);
    if (!OdbcOk(rc)) return false;
    out = value;
    return true;
}

}  // namespace

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
    std::lock_guard guard(Env().lock);
    return Env().henv;
}
int ConnectionCount() {
    std::lock_guard guard(Env().lock);
    return Env().connections;
}
}  // namespace OdbcEnvironment

CDatabase::CDatabase() = default;

CDatabase::~CDatabase() {
    Close();
    Environment& env = Env();
    std::lock_guard guard(env.lock);
    if (env.connections == 0 && env.henv != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, env.henv);
        env.henv = SQL_NULL_HENV;
    }
}

bool CDatabase::Open(const std::string& connectString, unsigned options) {
    updatable_ = (options & OpenOptions::ReadOnly) == 0;
    connect_ = connectString;
    openedWith_ = connectString;
    openOptions_ = options;
    inTransaction_ = false;
    try {
        if (hdbc_ == SQL_NULL_HDBC) {
            Environment& env = Env();
            std::lock_guard guard(env.lock);
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

        // Results of these options are not checked: a driver that lacks one
        // still connects. The ODBC cursor library is deliberately not loaded,
        // even when asked for: through unixODBC's cursor library positioned
        // statements fail on every driver, and the record sets write rows with
        // searched statements of their own.
        SQLSetConnectAttr(hdbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN{loginTimeout_}), 0);
        if (!updatable_)
            SQLSetConnectAttr(hdbc_, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);

        SQLUSMALLINT completion = SQL_DRIVER_COMPLETE;
        if (options & OpenOptions::NoOdbcDialog)
            completion = SQL_DRIVER_NOPROMPT;
        else if (options & OpenOptions::ForceOdbcDialog)
            completion = SQL_DRIVER_PROMPT;

        std::string out(1024, '\0');
        SQLSMALLINT outLength = 0;
        SQLRETURN rc = RetryWhileExecuting([&] {
            return SQLDriverConnect(hdbc_, nullptr,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectString.c_str())), SQL_NTS,
                                    reinterpret_cast<SQLCHAR*>(out.data()), static_cast<SQLSMALLINT>(out.size()),
                                    &outLength, completion);
        });
        if (rc == SQL_NO_DATA) {
            FreeConnection();
            return false;
        }
        if (!OdbcOk(rc)) throw MakeDbException(rc, hdbc_, SQL_NULL_HSTMT);
        connected_ = true;
        out.resize(std::min(static_cast<size_t>(std::max<SQLSMALLINT>(outLength, 0)), out.size() - 1));
        connect_ = "ODBC;" + std::string(out.c_str());

        SQLUSMALLINT apiConformance = 0, sqlConformance = 0;
        rc = SQLGetInfo(hdbc_, SQL_ODBC_API_CONFORMANCE, &apiConformance, sizeof apiConformance, nullptr);
        if (!OdbcOk(rc)) throw MakeDbException(rc, hdbc_, SQL_NULL_HSTMT);
        if (apiConformance < SQL_OAC_LEVEL1) throw CDBException::Layer(LayerError::ApiConformance);
        rc = SQLGetInfo(hdbc_, SQL_ODBC_SQL_CONFORMANCE, &sqlConformance, sizeof sqlConformance, nullptr);
        if (!OdbcOk(rc)) throw MakeDbException(rc, hdbc_, SQL_NULL_HSTMT);
        // Every SQL grammar level meets the minimum the program needs; the
        // question must still be answered.

        Probe();
        KeepBackslashesLiteral();
        return true;
    } catch (...) {
        FreeConnection();
        throw;
    }
}

void CDatabase::Probe() {
    // Of the driver's capabilities only these are asked: whether it has
    // transactions, whether the data source may be written, and which
    // product it is.
    SQLUSMALLINT txnCapable = SQL_TC_NONE;
    canTransact_ = InfoNumber(hdbc_, SQL_TXN_CAPABLE, txnCapable) && txnCapable != SQL_TC_NONE;

    if (updatable_) {
        auto readOnly = InfoText(hdbc_, SQL_DATA_SOURCE_READ_ONLY);
        updatable_ = readOnly && readOnly->size() == 1 && (*readOnly)[0] != 'Y';
    } else {
        SQLSetConnectAttr(hdbc_, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
    }

    dialect_ = SqlDialect::ForProductName(InfoText(hdbc_, SQL_DBMS_NAME).value_or(std::string()));
}

bool CDatabase::SeemsAlive() const {
    if (hdbc_ == SQL_NULL_HDBC) return false;
    if (!dialect_.AnswersConnectionDeadLocally()) return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (!OdbcOk(SQLGetConnectAttr(hdbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr))) return true;
    return dead != SQL_CD_TRUE;
}

void CDatabase::DetachRecordsets() {
    std::lock_guard guard(Env().lock);
    // Detaching removes the record set from the list, so work on a copy.
    std::vector<CRecordset*> open = recordsets_;
    for (CRecordset* rs : open) rs->DetachFromSession();
    recordsets_.clear();
}

bool CDatabase::RecoverLostConnection(const CDBException& failure) {
    if (!std::exchange(reconnectArmed_, false) || !dialect_.TellsOfLostConnection(failure)) return false;
    const bool inTransaction = inTransaction_;
    {
        std::lock_guard guard(Env().lock);
        for (CRecordset* rs : recordsets_) rs->DropStatement();
        FreeConnection();
    }
    try {
        if (!Open(openedWith_, openOptions_ | OpenOptions::NoOdbcDialog)) return false;
    } catch (const CDBException&) {
        return false;  // the caller reports the original failure
    }
    if (inTransaction && !BeginTransaction()) return false;
    return true;
}

void CDatabase::KeepBackslashesLiteral() {
    const std::string statement = dialect_.NoBackslashEscapesStatement();
    if (statement.empty()) return;
    try {
        ExecuteDirect(statement);
    } catch (const CDBException&) {
        // The server keeps reading backslashes as escapes: literals double them.
        dialect_.KeepBackslashEscapes();
    }
}

void CDatabase::FreeConnection() {
    Environment& env = Env();
    std::lock_guard guard(env.lock);
    if (hdbc_ == SQL_NULL_HDBC) return;
    dialect_ = SqlDialect();
    primaryKeys_.clear();
    if (connected_) SQLDisconnect(hdbc_);
    connected_ = false;
    SQLFreeHandle(SQL_HANDLE_DBC, hdbc_);
    hdbc_ = SQL_NULL_HDBC;
    --env.connections;
}

void CDatabase::Close() {
    std::lock_guard guard(Env().lock);
    DetachRecordsets();
    FreeConnection();
}

void CDatabase::AttachRecordset(CRecordset* rs) {
    std::lock_guard guard(Env().lock);
    if (std::find(recordsets_.begin(), recordsets_.end(), rs) == recordsets_.end()) recordsets_.push_back(rs);
}

void CDatabase::DetachRecordset(CRecordset* rs) {
    std::lock_guard guard(Env().lock);
    recordsets_.erase(std::remove(recordsets_.begin(), recordsets_.end(), rs), recordsets_.end());
}

const CDatabase::KeyColumns* CDatabase::KnownPrimaryKey(const std::string& table) const {
    const auto found = primaryKeys_.find(table);
    return found == primaryKeys_.end() ? nullptr : &found->second;
}

void CDatabase::RememberPrimaryKey(const std::string& table, KeyColumns columns) {
    primaryKeys_[table] = std::move(columns);
}

void CDatabase::ApplyQueryTimeout(SQLHSTMT stmt) {
    if (queryTimeout_ == ~SQLUINTEGER{0}) return;
    SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN{queryTimeout_}), 0);
    if (!OdbcOk(rc)) queryTimeout_ = ~SQLUINTEGER{0};
}

std::string CDatabase::DbmsName() const {
    if (hdbc_ == SQL_NULL_HDBC) return {};
    return InfoText(hdbc_, SQL_DBMS_NAME).value_or(std::string());
}

void CDatabase::ExecuteDirect(const std::string& sql) {
    Statement stmt(*this);
    stmt.Execute(sql);
    // Every result is consumed so that the statement is dropped clean.
    stmt.Discard();
}

bool CDatabase::BeginTransaction() {
    if (!canTransact_ || hdbc_ == SQL_NULL_HDBC) return false;
    // MariaDB's driver sends the change to the server, so a lost kept
    // connection can show here first.
    SQLRETURN rc =
        SQLSetConnectAttr(hdbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    if (!OdbcOk(rc) && reconnectArmed_ && RecoverLostConnection(MakeDbException(rc, hdbc_, SQL_NULL_HSTMT)))
        rc = SQLSetConnectAttr(hdbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    inTransaction_ = OdbcOk(rc);
    return inTransaction_;
}

namespace {
bool EndTransaction(SQLHDBC hdbc, SQLSMALLINT completion, std::string& error) {
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, hdbc, completion);
    bool ok = OdbcOk(rc);
    error = ok ? std::string() : MakeDbException(rc, hdbc, SQL_NULL_HSTMT).ErrorText;
    if (!ok && error.empty()) error = "SQLEndTran failed (return code " + std::to_string(rc) + ")\n";
    SQLSetConnectAttr(hdbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return ok;
}
}  // namespace

bool CDatabase::CommitTransaction() {
    if (!canTransact_ || hdbc_ == SQL_NULL_HDBC) return false;
    inTransaction_ = false;
    return EndTransaction(hdbc_, SQL_COMMIT, lastTransactionError_);
}

bool CDatabase::RollbackTransaction() {
    if (!canTransact_ || hdbc_ == SQL_NULL_HDBC) return false;
    inTransaction_ = false;
    return EndTransaction(hdbc_, SQL_ROLLBACK, lastTransactionError_);
}

std::optional<bool> QueryStationRowExists(const CDatabase& session, const std::string& table,
                                          const std::string& stationCode) {
    if (!session.IsOpen()) return std::nullopt;
    try {
        Statement stmt(session);
        stmt.Execute("select count(*) from " + table + " where STA=" + SqlQuote(stationCode));
        if (stmt.Fetch() == SQL_NO_DATA) return std::nullopt;
        // Read as a 32-bit count: a 16-bit one would wrap to 0 at 65536 rows.
        SQLINTEGER count = 0;
        SQLLEN indicator = 0;
        stmt.Check(SQLGetData(stmt.get(), 1, SQL_C_SLONG, &count, sizeof count, &indicator));
        return indicator != SQL_NULL_DATA && count != 0;
    } catch (const CDBException&) {
        return std::nullopt;  // the caller tells "could not ask" from "no row"
    }
}

bool StationRowExists(const CDatabase& session, const std::string& table, const std::string& stationCode) {
    return QueryStationRowExists(session, table, stationCode).value_or(false);
}

int NextStationIndex(const CDatabase& session) {
    if (!session.IsOpen()) return 0;
    try {
        Statement stmt(session);
        stmt.Execute("select max(NINDEX)+1 as maxindex from SITE");
        SQLINTEGER next = 0;
        SQLLEN indicator = 0;
        stmt.Check(SQLBindCol(stmt.get(), 1, SQL_C_SLONG, &next, sizeof next, &indicator));
        if (stmt.Fetch() == SQL_NO_DATA) return 0;
        // An empty SITE yields NULL: the first station gets number 1.
        if (indicator == SQL_NULL_DATA) return 1;
        return static_cast<int>(next);
    } catch (const CDBException&) {
        return 0;
    }
}

namespace {

// The end of the value that starts at `from`: the ";" after it, or the end of
// the text. A braced value runs to its closing brace ("}}" stands for one
// brace inside), so it may hold semicolons; an unclosed one runs to the end.
std::size_t ValueEnd(const std::string& text, std::size_t from) {
    if (from < text.size() && text[from] == '{') {
        std::size_t i = from + 1;
        while (i < text.size()) {
            if (text[i] == '}') {
                if (i + 1 < text.size() && text[i + 1] == '}') {
                    i += 2;
                    continue;
                }
                break;
            }
            ++i;
        }
        if (i >= text.size()) return text.size();
        from = i;
    }
    const std::size_t semicolon = text.find(';', from);
    return semicolon == std::string::npos ? text.size() : semicolon;
}

bool IsPasswordKey(std::string key) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    key.erase(std::remove_if(key.begin(), key.end(), blank), key.end());
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::toupper(c); });
    return key == "PWD" || key == "PASSWORD";
}

}  // namespace

std::string MaskPassword(const std::string& connectString) {
    std::string out;
    std::size_t pos = 0;
    while (pos < connectString.size()) {
        const std::size_t equals = connectString.find_first_of("=;", pos);
        std::size_t end = 0;
        if (equals == std::string::npos || connectString[equals] == ';') {
            // An item without a value, such as "ODBC".
            end = equals == std::string::npos ? connectString.size() : equals;
            out.append(connectString, pos, end - pos);
        } else {
            end = ValueEnd(connectString, equals + 1);
            out.append(connectString, pos, equals + 1 - pos);
            if (IsPasswordKey(connectString.substr(pos, equals - pos)))
                out += "****";
            else
                out.append(connectString, equals + 1, end - equals - 1);
        }
        if (end >= connectString.size()) break;
        out += ';';
        pos = end + 1;
    }
    return out;
}

SessionFactory DefaultSessionFactory() {
    return [] { return std::make_unique<CDatabase>(); };
}

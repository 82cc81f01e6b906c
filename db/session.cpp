#include "db/session.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <utility>

#include "db/result.h"
#include "db/statement.h"

CDatabase::CDatabase() = default;

CDatabase::~CDatabase() { Close(); }

bool CDatabase::Open(const std::string& connectString, unsigned options) {
    updatable_ = (options & OpenOptions::ReadOnly) == 0;
    connect_ = connectString;
    openedWith_ = connectString;
    openOptions_ = options;
    inTransaction_ = false;
    try {
        AllocateConnection();

        // Results of these options are not checked: a driver that lacks one
        // still connects. The ODBC cursor library is deliberately not loaded,
        // even when asked for: through unixODBC's cursor library positioned
        // statements fail on every driver, and the record sets write rows with
        // searched statements of their own.
        SetAttribute(SQL_ATTR_LOGIN_TIMEOUT, loginTimeout_);
        if (!updatable_) SetAttribute(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY);

        SQLUSMALLINT completion = SQL_DRIVER_COMPLETE;
        if (options & OpenOptions::NoOdbcDialog)
            completion = SQL_DRIVER_NOPROMPT;
        else if (options & OpenOptions::ForceOdbcDialog)
            completion = SQL_DRIVER_PROMPT;

        std::string completed;
        const SQLRETURN rc = DriverConnect(connectString, completion, completed);
        if (rc == SQL_NO_DATA) {
            Disconnect();
            return false;
        }
        if (!OdbcOk(rc)) throw MakeDbException(rc, ConnectionHandle(), SQL_NULL_HSTMT);
        connect_ = "ODBC;" + completed;

        if (InfoSmallNumber(SQL_ODBC_API_CONFORMANCE) < SQL_OAC_LEVEL1)
            throw CDBException::Layer(LayerError::ApiConformance);
        // Every SQL grammar level meets the minimum the program needs; the
        // question must still be answered.
        InfoSmallNumber(SQL_ODBC_SQL_CONFORMANCE);

        Probe();
        KeepBackslashesLiteral();
        LimitStatementsBySession();
        return true;
    } catch (...) {
        Disconnect();
        throw;
    }
}

void CDatabase::Probe() {
    // Of the driver's capabilities only these are asked: whether it has
    // transactions, whether the data source may be written, and which
    // product it is.
    try {
        canTransact_ = InfoSmallNumber(SQL_TXN_CAPABLE) != SQL_TC_NONE;
    } catch (const CDBException&) {
        canTransact_ = false;  // a driver that cannot tell has none
    }

    if (updatable_) {
        auto readOnly = InfoText(SQL_DATA_SOURCE_READ_ONLY);
        updatable_ = readOnly && readOnly->size() == 1 && (*readOnly)[0] != 'Y';
    } else {
        SetAttribute(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY);
    }

    dialect_ = SqlDialect::ForProductName(InfoText(SQL_DBMS_NAME).value_or(std::string()));
}

bool CDatabase::SeemsAlive() const {
    if (!IsOpen()) return false;
    if (!dialect_.AnswersConnectionDeadLocally()) return true;
    return !KnownDead();
}

void CDatabase::DetachUsers() {
    std::lock_guard guard(ProcessLock());
    // Detaching removes the user from the list, so work on a copy.
    std::vector<SessionUser*> attached = users_;
    for (SessionUser* user : attached) user->SessionClosing();
    users_.clear();
}

bool CDatabase::Reconnect() {
    const bool inTransaction = inTransaction_;
    {
        std::lock_guard guard(ProcessLock());
        for (SessionUser* user : users_) user->SessionReconnecting();
        Disconnect();
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

void CDatabase::LimitStatementsBySession() {
    const std::string statement = dialect_.SessionTimeoutStatement(QueryTimeoutSeconds());
    if (statement.empty()) return;
    // Held before the statement runs, so that it does not carry the limit itself.
    SetTimeoutHeldBySession(true);
    try {
        ExecuteDirect(statement);
    } catch (const CDBException&) {
        // Each statement carries the limit instead.
        SetTimeoutHeldBySession(false);
    }
}

void CDatabase::Disconnect() {
    std::lock_guard guard(ProcessLock());
    primaryKeys_.clear();
    FreeConnection();
}

void CDatabase::Close() {
    std::lock_guard guard(ProcessLock());
    DetachUsers();
    Disconnect();
}

void CDatabase::AttachUser(SessionUser* user) {
    std::lock_guard guard(ProcessLock());
    if (std::find(users_.begin(), users_.end(), user) == users_.end()) users_.push_back(user);
}

void CDatabase::DetachUser(SessionUser* user) {
    std::lock_guard guard(ProcessLock());
    users_.erase(std::remove(users_.begin(), users_.end(), user), users_.end());
}

const CDatabase::KeyColumns* CDatabase::KnownPrimaryKey(const std::string& table) const {
    const auto found = primaryKeys_.find(table);
    return found == primaryKeys_.end() ? nullptr : &found->second;
}

void CDatabase::RememberPrimaryKey(const std::string& table, KeyColumns columns) {
    primaryKeys_[table] = std::move(columns);
}

std::string CDatabase::DbmsName() const { return InfoText(SQL_DBMS_NAME).value_or(std::string()); }

void CDatabase::ExecuteDirect(const std::string& sql) {
    Statement stmt(*this);
    // Every result is consumed so that the statement is dropped clean.
    stmt.Execute(sql).Discard();
}

bool CDatabase::BeginTransaction() {
    if (!canTransact_ || !IsOpen()) return false;
    // MariaDB's driver sends the change to the server, so a lost kept
    // connection can show here first. The change reaching the server does
    // not disarm the reconnect: psqlODBC keeps it to itself.
    try {
        Reconnecting(
            [this] {
                const SQLRETURN rc = SetAttribute(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
                if (!OdbcOk(rc)) throw MakeDbException(rc, ConnectionHandle(), SQL_NULL_HSTMT);
            },
            false);
        inTransaction_ = true;
    } catch (const CDBException&) {
        inTransaction_ = false;  // answered as false: the caller goes on without a transaction
    }
    return inTransaction_;
}

bool CDatabase::EndTransactionAs(SQLSMALLINT completion) {
    if (!canTransact_ || !IsOpen()) return false;
    inTransaction_ = false;
    const SQLRETURN rc = EndTransaction(completion);
    const bool ok = OdbcOk(rc);
    lastTransactionError_ = ok ? std::string() : MakeDbException(rc, ConnectionHandle(), SQL_NULL_HSTMT).ErrorText;
    if (!ok && lastTransactionError_.empty())
        lastTransactionError_ = "SQLEndTran failed (return code " + std::to_string(rc) + ")\n";
    SetAttribute(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
    return ok;
}

bool CDatabase::CommitTransaction() { return EndTransactionAs(SQL_COMMIT); }

bool CDatabase::RollbackTransaction() { return EndTransactionAs(SQL_ROLLBACK); }

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

#pragma once
// The connection handle: the process-wide ODBC environment, one connection on
// it, the calls made on the connection itself, the diagnostics of a failed
// call, and the one place a lost kept connection is replaced.

#include <sql.h>
#include <sqlext.h>

#include <mutex>
#include <optional>
#include <string>
#include <type_traits>

#include "db/db_exception.h"
#include "db/dialect.h"

// SUCCESS or SUCCESS_WITH_INFO: the call did what was asked. SQL_NO_DATA is
// told apart by each caller (a searched statement that touched no row, the
// end of a result, a cancelled driver completion).
inline bool OdbcOk(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Builds a CDBException from the diagnostics of a failed call on the given
// handles (statement may be null). The shared environment is used.
CDBException MakeDbException(SQLRETURN rc, SQLHDBC hdbc, SQLHSTMT hstmt);

// Splits one driver message into the text without its leading "[...]"
// origin prefixes and the prefixes themselves.
void SplitOriginPrefixes(const std::string& message, std::string& text, std::string& origins);

// The process-wide ODBC environment and its connection count.
namespace OdbcEnvironment {
SQLHENV Handle();  // null before the first Open
int ConnectionCount();
}  // namespace OdbcEnvironment

// One ODBC connection handle and what is asked and set on it. The session
// (CDatabase) builds on it; statements need only this part of it.
class Connection {
public:
    Connection() = default;
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    SQLHDBC ConnectionHandle() const { return hdbc_; }
    bool IsOpen() const { return hdbc_ != SQL_NULL_HDBC; }
    // What differs by product, chosen when the connection opened (the
    // generic product while closed).
    const SqlDialect& SessionDialect() const { return dialect_; }

    // Sets the query timeout on a new statement, until the driver once
    // refuses it, unless the session holds the limit itself. Every statement
    // of a session gets the same value: psqlODBC sends a setting statement to
    // the server whenever the value changes from one statement to the next on
    // a connection.
    void ApplyQueryTimeout(SQLHSTMT stmt);

    // Reuse of a kept connection: the next statement is the first of an
    // operation, and a connection lost meanwhile may be replaced once.
    void ArmReconnect() { reconnectArmed_ = true; }
    // A statement reached the server: a later failure is the operation's own.
    void DisarmReconnect() { reconnectArmed_ = false; }
    // Called with the failure of a call. When the session was armed and the
    // failure tells of a lost connection, connects again (see Reconnect) and
    // answers true: the caller makes the call once more. Disarms.
    bool RecoverLostConnection(const CDBException& failure);

    // Makes `attempt` (which throws CDBException on failure) and, when it
    // fails on a lost kept connection that could be replaced, makes it once
    // more: the one place a reconnect is applied. `disarm`: a success means
    // the server was reached, so later failures are the operation's own.
    template <typename Attempt>
    auto Reconnecting(Attempt&& attempt, bool disarm) -> decltype(attempt()) {
        for (;;) {
            try {
                if constexpr (std::is_void_v<decltype(attempt())>) {
                    attempt();
                    if (disarm) DisarmReconnect();
                    return;
                } else {
                    auto answer = attempt();
                    if (disarm) DisarmReconnect();
                    return answer;
                }
            } catch (const CDBException& failure) {
                if (!RecoverLostConnection(failure)) throw;
            }
        }
    }

    // A character answer of SQLGetInfo; nullopt when the question fails.
    std::optional<std::string> InfoText(SQLUSMALLINT what) const;
    // A numeric answer of SQLGetInfo; throws CDBException when the question fails.
    SQLUINTEGER InfoNumber(SQLUSMALLINT what) const;
    SQLUSMALLINT InfoSmallNumber(SQLUSMALLINT what) const;

    // The re-entrant process lock that guards the environment, its
    // connection count and every session's list of record sets.
    static std::recursive_mutex& ProcessLock();

protected:
    // Connects the replacement of a lost connection; false when it failed.
    virtual bool Reconnect() = 0;

    // Allocates the connection handle (and the environment when it is the
    // first). Throws CDBException.
    void AllocateConnection();
    // Connects with the connect string; answers the driver's return code and
    // the completed connect string in `completed`.
    SQLRETURN DriverConnect(const std::string& connectString, SQLUSMALLINT completion, std::string& completed);
    // Sets a connection attribute; answers the driver's return code.
    SQLRETURN SetAttribute(SQLINTEGER attribute, SQLULEN value);
    // Commits or rolls back (SQL_COMMIT, SQL_ROLLBACK).
    SQLRETURN EndTransaction(SQLSMALLINT completion);
    // True when the driver already knows the connection is lost (asked only
    // of drivers that answer from their own state).
    bool KnownDead() const;
    // Disconnects and frees the handle; the dialect goes back to the generic one.
    void FreeConnection();
    // The limit of every statement, in seconds.
    SQLUINTEGER QueryTimeoutSeconds() const { return queryTimeout_; }
    // Whether the server session holds the statements' limit (then none is
    // set on each statement); false again when the connection is freed.
    void SetTimeoutHeldBySession(bool held) { timeoutHeldBySession_ = held; }
    // Frees the environment when no connection is left on it.
    static void ReleaseEnvironmentIfUnused();

    SqlDialect dialect_;
    bool connected_ = false;

private:
    SQLHDBC hdbc_ = SQL_NULL_HDBC;
    SQLUINTEGER queryTimeout_ = 15;
    bool timeoutHeldBySession_ = false;
    bool reconnectArmed_ = false;
};

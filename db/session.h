#pragma once
// A database session: one ODBC connection, its transactions and direct queries.

#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/db_exception.h"
#include "db/dialect.h"

class CRecordset;

// Options of CDatabase::Open (bit values).
namespace OpenOptions {
inline constexpr unsigned ReadOnly = 2;
inline constexpr unsigned UseCursorLibrary = 4;
inline constexpr unsigned NoOdbcDialog = 8;
inline constexpr unsigned ForceOdbcDialog = 16;
}  // namespace OpenOptions

// One ODBC connection. Closed on construction; Open connects; Close (also run
// by the destructor) closes the record sets opened on it, then disconnects.
// The write and transaction operations are virtual so that tests can stand in
// a session whose driver lacks transactions or fails on a chosen statement.
class CDatabase {
public:
    CDatabase();
    virtual ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // True on success, false when the driver's completion was cancelled;
    // every other failure throws CDBException.
    virtual bool Open(const std::string& connectString, unsigned options);
    void Close();
    bool IsOpen() const { return hdbc_ != SQL_NULL_HDBC; }

    // Runs one statement and discards whatever it returns. Throws on failure.
    virtual void ExecuteDirect(const std::string& sql);

    // Never throw; see the comments in session.cpp.
    virtual bool BeginTransaction();
    virtual bool CommitTransaction();
    virtual bool RollbackTransaction();

    SQLHDBC ConnectionHandle() const { return hdbc_; }
    const std::string& ConnectString() const { return connect_; }
    bool CanTransact() const { return canTransact_; }
    bool CanUpdate() const { return updatable_; }
    // The product name the driver reports (SQL_DBMS_NAME), empty when unknown.
    std::string DbmsName() const;
    // What differs by product, chosen when the connection opened (the
    // generic product while closed).
    const SqlDialect& SessionDialect() const { return dialect_; }

    // Sets the query timeout on a new statement, until the driver once
    // refuses it. Every statement of a session gets the same value: psqlODBC
    // sends a setting statement to the server whenever the value changes
    // from one statement to the next on a connection.
    void ApplyQueryTimeout(SQLHSTMT stmt);

    // Diagnostics of the last failed CommitTransaction/RollbackTransaction
    // (driver text), empty when the last one succeeded.
    const std::string& LastTransactionError() const { return lastTransactionError_; }

    // Record sets register and unregister themselves under the process lock.
    void AttachRecordset(CRecordset* rs);
    void DetachRecordset(CRecordset* rs);
    // Closes the record sets opened on the session and lets them go, as Close
    // does, but keeps the connection.
    void DetachRecordsets();

    // True while a transaction begun here has not been committed or rolled back.
    bool InTransaction() const { return inTransaction_; }
    // False when the driver already knows the connection is lost. Asked only
    // where the driver answers from its own state: MariaDB's driver would
    // ping the server, so there it always answers true.
    bool SeemsAlive() const;

    // Reuse of a kept connection: the next statement is the first of an
    // operation, and a connection lost meanwhile may be replaced once.
    void ArmReconnect() { reconnectArmed_ = true; }
    // A statement reached the server: a later failure is the operation's own.
    void StatementSucceeded() { reconnectArmed_ = false; }
    // Called with the failure of a statement. When the session was armed and
    // the failure tells of a lost connection, connects again with the same
    // connect string (back in a transaction if one was begun), drops the
    // statements of its record sets (they are made again at their next Open)
    // and answers true: the caller runs the statement once more. Disarms.
    bool RecoverLostConnection(const CDBException& failure);

    // The primary key columns of a table as the driver answered them on this
    // connection (nullopt inside: it could not answer); asked once per
    // connection, not per operation. Null when not yet asked.
    using KeyColumns = std::optional<std::vector<std::string>>;
    const KeyColumns* KnownPrimaryKey(const std::string& table) const;
    void RememberPrimaryKey(const std::string& table, KeyColumns columns);

private:
    void Probe();
    // A server that reads a backslash inside a literal as an escape is told
    // to read it as an ordinary character. Where the server refuses, the
    // session's dialect doubles backslashes in the literals it sends.
    void KeepBackslashesLiteral();
    void FreeConnection();

    SQLHDBC hdbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    std::string connect_;
    SQLUINTEGER loginTimeout_ = 15;
    SQLUINTEGER queryTimeout_ = 15;
    bool updatable_ = true;
    bool canTransact_ = false;
    std::vector<CRecordset*> recordsets_;
    std::map<std::string, KeyColumns> primaryKeys_;
    std::string lastTransactionError_;
    SqlDialect dialect_;
    std::string openedWith_;      // the connect string Open was given
    unsigned openOptions_ = 0;
    bool reconnectArmed_ = false;
    bool inTransaction_ = false;
};

// Builds a CDBException from the diagnostics of a failed call on the given
// handles (statement may be null). The shared environment is used.
CDBException MakeDbException(SQLRETURN rc, SQLHDBC hdbc, SQLHSTMT hstmt);

// Splits one driver message into the text without its leading "[...]"
// origin prefixes and the prefixes themselves.
void SplitOriginPrefixes(const std::string& message, std::string& text, std::string& origins);

// The success test every ODBC return code is judged by: SUCCESS,
// SUCCESS_WITH_INFO and NO_DATA count as success.
inline bool OdbcSucceeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA;
}

// The process-wide ODBC environment and its connection count.
namespace OdbcEnvironment {
SQLHENV Handle();          // null before the first Open
int ConnectionCount();
}

// True when at least one row of `table` has `stationCode` in column STA.
// Runs on the session's connection; never throws.
bool StationRowExists(const CDatabase& session, const std::string& table, const std::string& stationCode);

// The same question, telling a failure apart from "no row": nullopt when the
// query could not run (for instance on a lost connection).
std::optional<bool> QueryStationRowExists(const CDatabase& session, const std::string& table,
                                          const std::string& stationCode);

// One above the largest NINDEX of SITE, or 0 on failure. Never throws.
int NextStationIndex(const CDatabase& session);

// The connect string as shown to the user: the whole value of PWD= (or
// PASSWORD=), braced or not, as "****". Takes any text.
std::string MaskPassword(const std::string& connectString);

// Opens an operation session; tests hand in sessions with chosen faults.
using SessionFactory = std::function<std::unique_ptr<CDatabase>()>;
SessionFactory DefaultSessionFactory();

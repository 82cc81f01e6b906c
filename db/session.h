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

#include "db/connection.h"
#include "db/db_exception.h"
#include "db/dialect.h"

// Options of CDatabase::Open (bit values).
namespace OpenOptions {
inline constexpr unsigned ReadOnly = 2;
inline constexpr unsigned UseCursorLibrary = 4;
inline constexpr unsigned NoOdbcDialog = 8;
inline constexpr unsigned ForceOdbcDialog = 16;
}  // namespace OpenOptions

// What a session tells the users registered on it (the record sets).
class SessionUser {
public:
    // The session closes: the user closes and forgets the session.
    virtual void SessionClosing() = 0;
    // The session is about to connect again: the user drops its statement.
    virtual void SessionReconnecting() = 0;

protected:
    ~SessionUser() = default;
};

// One ODBC connection. Closed on construction; Open connects; Close (also run
// by the destructor) closes the record sets opened on it, then disconnects.
// The write and transaction operations are virtual so that tests can stand in
// a session whose driver lacks transactions or fails on a chosen statement.
class CDatabase : public Connection {
public:
    CDatabase();
    ~CDatabase() override;

    // True on success, false when the driver's completion was cancelled;
    // every other failure throws CDBException.
    virtual bool Open(const std::string& connectString, unsigned options);
    void Close();

    // Runs one statement and discards whatever it returns. Throws on failure.
    virtual void ExecuteDirect(const std::string& sql);
    // Told of each write statement about to go in a request of several
    // statements (a batch), which does not pass through ExecuteDirect: a
    // stand-in session fails or acts there as it would in ExecuteDirect.
    virtual void SendingInBatch(const std::string& sql) const { static_cast<void>(sql); }

    // Never throw; see the comments in session.cpp.
    virtual bool BeginTransaction();
    virtual bool CommitTransaction();
    virtual bool RollbackTransaction();

    const std::string& ConnectString() const { return connect_; }
    bool CanTransact() const { return canTransact_; }
    bool CanUpdate() const { return updatable_; }
    // The product name the driver reports (SQL_DBMS_NAME), empty when unknown.
    std::string DbmsName() const;

    // Diagnostics of the last failed CommitTransaction/RollbackTransaction
    // (driver text), empty when the last one succeeded.
    const std::string& LastTransactionError() const { return lastTransactionError_; }

    // Users (record sets) register and unregister themselves under the process lock.
    void AttachUser(SessionUser* user);
    void DetachUser(SessionUser* user);
    // Closes the record sets opened on the session and lets them go, as Close
    // does, but keeps the connection.
    void DetachUsers();

    // True while a transaction begun here has not been committed or rolled back.
    bool InTransaction() const { return inTransaction_; }
    // False when the driver already knows the connection is lost. Asked only
    // where the driver answers from its own state: MariaDB's driver would
    // ping the server, so there it always answers true.
    bool SeemsAlive() const;

    // The primary key columns of a table as the driver answered them on this
    // connection (nullopt inside: it could not answer); asked once per
    // connection, not per operation. Null when not yet asked.
    using KeyColumns = std::optional<std::vector<std::string>>;
    const KeyColumns* KnownPrimaryKey(const std::string& table) const;
    void RememberPrimaryKey(const std::string& table, KeyColumns columns);

protected:
    // Connects again with the same connect string (back in a transaction if
    // one was begun), after the users dropped their statements.
    bool Reconnect() override;

private:
    void Probe();
    // A server that reads a backslash inside a literal as an escape is told
    // to read it as an ordinary character. Where the server refuses, the
    // session's dialect doubles backslashes in the literals it sends.
    void KeepBackslashesLiteral();
    // Where the product has it, one session setting limits every statement's
    // time, so that no statement carries the limit to the server itself.
    void LimitStatementsBySession();
    void Disconnect();
    bool EndTransactionAs(SQLSMALLINT completion);

    std::string connect_;
    SQLUINTEGER loginTimeout_ = 15;
    bool updatable_ = true;
    bool canTransact_ = false;
    std::vector<SessionUser*> users_;
    std::map<std::string, KeyColumns> primaryKeys_;
    std::string lastTransactionError_;
    std::string openedWith_;      // the connect string Open was given
    unsigned openOptions_ = 0;
    bool inTransaction_ = false;
};

// The connect string as shown to the user: the whole value of PWD= (or
// PASSWORD=), braced or not, as "****". Takes any text.
std::string MaskPassword(const std::string& connectString);

// Opens an operation session; tests hand in sessions with chosen faults.
using SessionFactory = std::function<std::unique_ptr<CDatabase>()>;
SessionFactory DefaultSessionFactory();

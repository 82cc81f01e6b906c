#pragma once
// The one road every statement of the program takes to the server.

#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <string>

#include "db/odbc_handle.h"

class Connection;
class Result;

// One parameter of a statement as it is bound: its C and SQL types, declared
// size and digits, and the program's storage of its value (an array of
// `bufferLength`-byte slots for an execution with several parameter rows).
struct ParameterBinding {
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    void* buffer = nullptr;
    SQLLEN bufferLength = 0;
    SQLLEN* indicator = nullptr;
};

// One statement handle on a session's connection, owned for the statement's
// life. Every statement runs through Execute, which applies in one place:
// the session's query timeout (one value per connection, so that no driver
// sends a setting of its own before each statement), the text as the
// session's dialect must send it (SqlDialect::SendableText), the repetition of
// calls while the driver is still executing, the one reconnect of a kept
// connection found lost at an operation's first statement, and the
// diagnostics of every failure as a CDBException. Statements are sent once,
// with SQLExecDirect: never a separate prepare round trip. What the statement
// answers is read through the Result that Execute gives.
class Statement {
public:
    // What a statement sets on its handle before it runs (attributes, bound
    // parameters); applied again to a new handle after a reconnect.
    using Setup = std::function<void(Statement&)>;

    // Allocates the handle on the session's connection; throws CDBException.
    // A session held const may still have its lost connection replaced:
    // that changes nothing its holder sees.
    explicit Statement(const Connection& session);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT get() const { return stmt_.get(); }
    Connection& Session() const { return session_; }

    // Runs the text once and gives its result; throws CDBException on failure.
    Result Execute(const std::string& sql, const Setup& setup = {});
    // Asks the driver for the primary key columns of a table (SQLPrimaryKeys),
    // on the same road; column 4 of each row is a column name.
    Result PrimaryKeys(const std::string& table);

    // Settings made in a Setup or before Execute; each throws on failure.
    // A forward-read static cursor that takes no locks.
    void UseStaticReadOnlyCursor();
    // Binds one input parameter (numbered from 1).
    void BindParameter(SQLUSMALLINT number, const ParameterBinding& parameter);
    // Asks for `rows` parameter rows at the next execution; false when the
    // driver refuses arrays (an error, or another value kept).
    bool TakesParameterRows(SQLULEN rows);
    // Binds the parameters column-wise for `rows` parameter rows; the driver
    // counts the rows it ran in `processed`.
    void UseParameterRows(SQLULEN rows, SQLULEN* processed);

    // Closes the cursor of the last result and lets go of bound columns,
    // keeping the handle.
    void CloseCursor();
    // Frees the handle (the connection is going); the next Execute makes a new one.
    void FreeHandle() { stmt_.reset(); }

    // Throws when the call failed, with this statement's diagnostics.
    void Check(SQLRETURN rc) const;
    [[noreturn]] void Fail(SQLRETURN rc) const;

private:
    void Allocate();
    // Runs one call that sends the statement, as Execute describes.
    Result Run(const std::function<SQLRETURN(SQLHSTMT)>& call, const Setup& setup);

    Connection& session_;
    StatementHandle stmt_;
};

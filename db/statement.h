#pragma once
// The one road every statement of the program takes to the server.

#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <string>

#include "db/odbc_handle.h"

class CDatabase;

// One statement handle on a session's connection, owned for the statement's
// life. Every statement runs through Execute, which applies in one place:
// the session's query timeout (one value per connection, so that no driver
// sends a setting of its own before each statement), the text as the
// session's dialect must send it (SqlDialect::SendableText), the repetition of
// calls while the driver is still executing, the one reconnect of a kept
// connection found lost at an operation's first statement, and the
// diagnostics of every failure as a CDBException. Statements are sent once,
// with SQLExecDirect: never a separate prepare round trip.
class Statement {
public:
    // What a statement sets on its handle before it runs (attributes, bound
    // parameters); applied again to a new handle after a reconnect.
    using Setup = std::function<void(Statement&)>;

    // Allocates the handle on the session's connection; throws CDBException.
    // A session held const may still have its lost connection replaced:
    // that changes nothing its holder sees.
    explicit Statement(const CDatabase& session);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT get() const { return stmt_.get(); }
    CDatabase& Session() const { return session_; }

    // Runs the text once. Answers SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or
    // SQL_NO_DATA (a searched statement that touched no row); throws
    // CDBException on failure.
    SQLRETURN Execute(const std::string& sql, const Setup& setup = {});
    // Asks the driver for the primary key columns of a table (SQLPrimaryKeys),
    // on the same road; the answer is read as a result.
    SQLRETURN PrimaryKeys(const std::string& table);
    // Fetches the next row: SQL_SUCCESS or SQL_SUCCESS_WITH_INFO for a row,
    // SQL_NO_DATA past the last one; throws on failure.
    SQLRETURN Fetch();
    // Moves on to the result of the next statement of a batch: false when
    // the batch has no further result; throws when that statement failed.
    bool NextResult();
    // Consumes every row of every result, so that the statement ends clean.
    void Discard();
    // Closes the cursor of the last result, keeping the handle.
    void CloseCursor();
    // Frees the handle (the connection is going); the next Execute makes a new one.
    void FreeHandle() { stmt_.reset(); }

    // Throws when the call failed, with this statement's diagnostics.
    void Check(SQLRETURN rc) const;
    [[noreturn]] void Fail(SQLRETURN rc) const;

private:
    void Allocate();
    // Runs one call that sends the statement, as Execute describes.
    SQLRETURN Run(const std::function<SQLRETURN(SQLHSTMT)>& call, const Setup& setup);

    CDatabase& session_;
    StatementHandle stmt_;
};

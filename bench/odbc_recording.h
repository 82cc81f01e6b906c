#pragma once
// Recording the ODBC calls of this process that reach a database server, so
// that the raw client of the floor can send exactly the same ones. The calls
// are caught at the link (the benchmark is linked with --wrap for each of the
// functions below); outside a recording they pass straight through.

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

// One parameter as it was bound when its statement ran, with its value.
struct RecordedParam {
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLLEN indicator = 0;  // SQL_NULL_DATA, or the length of a text value
    std::string bytes;     // the value's bytes
};

// What a recorded call did.
enum class CallKind {
    ExecDirect,      // SQLExecDirect of text with params
    PrepareExecute,  // SQLPrepare of text, then SQLExecute with params
    PrimaryKeys,     // SQLPrimaryKeys of the table in text
    AutoCommit,      // SQLSetConnectAttr(SQL_ATTR_AUTOCOMMIT, value)
    EndTran,         // SQLEndTran(value)
    Connect,         // SQLDriverConnect: counted, not replayed (the floor keeps its connection)
};

// One call that reached the driver, and whether it succeeded.
struct RecordedCall {
    CallKind kind;
    std::string text;
    std::vector<RecordedParam> params;  // the parameters (of the first row of an array execution)
    long value = 0;
    bool succeeded = true;
    // Every parameter row of an execution with an array of parameter rows
    // (SQL_ATTR_PARAMSET_SIZE above 1), in order; empty for one row.
    std::vector<std::vector<RecordedParam>> paramRows = {};
};

// The calls of one operation, in order.
struct Recording {
    std::vector<RecordedCall> calls;

    int Statements() const;         // statements and catalog questions sent
    int Connects() const;
    int Matching(const std::string& prefix) const;  // statements whose text starts so (case-blind)
};

// Starts recording every call of the process; a recording already running is dropped.
void StartRecording();
// Ends the recording and answers what it caught.
Recording StopRecording();

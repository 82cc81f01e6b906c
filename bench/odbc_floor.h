#pragma once
// The raw ODBC floor: a minimal client on one kept connection with the
// driver's defaults that sends an operation's statements, each once with
// SQLExecDirect, fetching every result with bound columns and a row array,
// and nothing else.

#include <sql.h>

#include <string>
#include <vector>

#include "bench/odbc_recording.h"
#include "db/odbc_handle.h"

// One kept connection of the floor. Throws std::runtime_error (with the
// driver's text) when it cannot connect or when a replayed call ends
// otherwise than it ended for the program.
class FloorClient {
public:
    explicit FloorClient(const std::string& connectString);
    ~FloorClient();
    FloorClient(const FloorClient&) = delete;
    FloorClient& operator=(const FloorClient&) = delete;

    // Sends the calls in order; with `seconds`, also the time each call took.
    void Replay(const Recording& recording, std::vector<double>* seconds = nullptr);

private:
    void Send(const RecordedCall& call);
    void FetchAll();
    [[noreturn]] void Fail(const std::string& what, SQLSMALLINT type, SQLHANDLE handle);

    // One result column bound column-wise for a whole row array.
    struct BoundColumn {
        SQLSMALLINT cType = SQL_C_CHAR;
        SQLLEN width = 0;
        std::vector<char> data;
        std::vector<SQLLEN> indicators;
    };

    OdbcHandle<SQL_HANDLE_ENV> env_;
    OdbcHandle<SQL_HANDLE_DBC> dbc_;
    StatementHandle stmt_;
    bool connected_ = false;
    std::vector<BoundColumn> columns_;
};

#include "bench/odbc_recording.h"

#include "db/odbc_handle.h"

#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

// The real functions, as the linker's --wrap names them.
extern "C" {
SQLRETURN __real_SQLExecDirect(SQLHSTMT, SQLCHAR*, SQLINTEGER);
SQLRETURN __real_SQLPrepare(SQLHSTMT, SQLCHAR*, SQLINTEGER);
SQLRETURN __real_SQLExecute(SQLHSTMT);
SQLRETURN __real_SQLBindParameter(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN,
                                  SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
SQLRETURN __real_SQLFreeStmt(SQLHSTMT, SQLUSMALLINT);
SQLRETURN __real_SQLSetStmtAttr(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
SQLRETURN __real_SQLFreeHandle(SQLSMALLINT, SQLHANDLE);
SQLRETURN __real_SQLPrimaryKeys(SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT);
SQLRETURN __real_SQLSetConnectAttr(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER);
SQLRETURN __real_SQLEndTran(SQLSMALLINT, SQLHANDLE, SQLSMALLINT);
SQLRETURN __real_SQLDriverConnect(SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*,
                                  SQLUSMALLINT);
}

namespace {

// A parameter binding: where its value will be read when the statement runs.
struct Binding {
    RecordedParam shape;
    SQLPOINTER buffer = nullptr;
    SQLLEN bufferLength = 0;
    SQLLEN* indicator = nullptr;
};

// What the recorder knows of one statement handle.
struct StatementState {
    std::string prepared;
    std::map<SQLUSMALLINT, Binding> bindings;
    SQLULEN paramSetSize = 1;                     // rows of parameters per execution
    SQLULEN paramBindType = SQL_PARAM_BIND_BY_COLUMN;  // or the size of one row's structure
};

struct Recorder {
    std::mutex lock;
    bool on = false;
    Recording recording;
    std::map<SQLHSTMT, StatementState> statements;
};

Recorder& TheRecorder() {
    static Recorder recorder;
    return recorder;
}

std::string Text(const SQLCHAR* text, SQLLEN length) {
    if (text == nullptr) return {};
    const char* chars = reinterpret_cast<const char*>(text);
    return length == SQL_NTS ? std::string(chars) : std::string(chars, static_cast<std::size_t>(length));
}

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA; }

// The values of parameter row `row` as they stand now, in parameter order.
// Column-wise arrays hold a row's value `row` slots on (a slot is the buffer
// length, or the size of a fixed-length type), row-wise ones `row` structures
// on; the indicators follow the same rule.
std::vector<RecordedParam> CaptureParams(const StatementState& state, SQLULEN row = 0) {
    std::vector<RecordedParam> params;
    for (const auto& [number, b] : state.bindings) {
        RecordedParam p = b.shape;
        const bool byColumn = state.paramBindType == SQL_PARAM_BIND_BY_COLUMN;
        const std::size_t fixed = FixedParamBytes(p.cType);
        const std::size_t slot = fixed != 0 ? fixed : static_cast<std::size_t>(std::max<SQLLEN>(b.bufferLength, 0));
        const std::size_t valueOffset = row * (byColumn ? slot : state.paramBindType);
        const std::size_t indicatorOffset = row * (byColumn ? sizeof(SQLLEN) : state.paramBindType);
        const SQLLEN* indicator =
            b.indicator != nullptr
                ? reinterpret_cast<const SQLLEN*>(reinterpret_cast<const char*>(b.indicator) + indicatorOffset)
                : nullptr;
        SQLLEN length = indicator != nullptr ? *indicator : SQL_NTS;
        p.indicator = length;
        if (length != SQL_NULL_DATA && b.buffer != nullptr) {
            const char* bytes = static_cast<const char*>(b.buffer) + valueOffset;
            std::size_t n = 0;
            switch (p.cType) {
                case SQL_C_CHAR: n = length == SQL_NTS ? std::strlen(bytes) : static_cast<std::size_t>(length); break;
                case SQL_C_SLONG: case SQL_C_DOUBLE: case SQL_C_TYPE_TIMESTAMP: n = fixed; break;
                default: n = static_cast<std::size_t>(std::max<SQLLEN>(b.bufferLength, 0)); break;
            }
            p.bytes.assign(bytes, n);
            if (p.cType == SQL_C_CHAR) p.indicator = static_cast<SQLLEN>(n);
        }
        params.push_back(std::move(p));
    }
    return params;
}

// A call that sends a statement with the statement's parameters: every row
// of them when an array is bound.
RecordedCall StatementCall(CallKind kind, std::string text, const StatementState& state) {
    RecordedCall call{kind, std::move(text), CaptureParams(state)};
    if (state.paramSetSize > 1)
        for (SQLULEN row = 0; row < state.paramSetSize; ++row) call.paramRows.push_back(CaptureParams(state, row));
    return call;
}

// Runs the call and, while recording, appends what `make` describes.
template <typename Call, typename Make>
SQLRETURN Recorded(Call&& call, Make&& make) {
    Recorder& r = TheRecorder();
    std::optional<RecordedCall> entry;
    {
        std::lock_guard guard(r.lock);
        if (r.on) entry = make(r);
    }
    const SQLRETURN rc = call();
    if (entry) {
        entry->succeeded = Succeeded(rc);
        std::lock_guard guard(r.lock);
        if (r.on) r.recording.calls.push_back(std::move(*entry));
    }
    return rc;
}

}  // namespace

int Recording::Statements() const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const RecordedCall& c) {
        return c.kind == CallKind::ExecDirect || c.kind == CallKind::PrepareExecute || c.kind == CallKind::PrimaryKeys;
    }));
}

int Recording::Connects() const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [](const RecordedCall& c) { return c.kind == CallKind::Connect; }));
}

int Recording::Matching(const std::string& prefix) const {
    auto starts = [&](const std::string& text) {
        return text.size() >= prefix.size() &&
               std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
                   return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
               });
    };
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const RecordedCall& c) {
        return (c.kind == CallKind::ExecDirect || c.kind == CallKind::PrepareExecute) && starts(c.text);
    }));
}

void StartRecording() {
    Recorder& r = TheRecorder();
    std::lock_guard guard(r.lock);
    r.recording = {};
    r.on = true;
}

Recording StopRecording() {
    Recorder& r = TheRecorder();
    std::lock_guard guard(r.lock);
    r.on = false;
    return std::move(r.recording);
}

// The wrappers. Parameter bindings and prepared texts are tracked always, so
// that a recording started between a bind and its execution still sees them.
extern "C" {

SQLRETURN __wrap_SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
    return Recorded([&] { return __real_SQLExecDirect(stmt, text, length); },
                    [&](Recorder& r) { return StatementCall(CallKind::ExecDirect, Text(text, length), r.statements[stmt]); });
}

SQLRETURN __wrap_SQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
    {
        Recorder& r = TheRecorder();
        std::lock_guard guard(r.lock);
        r.statements[stmt].prepared = Text(text, length);
    }
    return __real_SQLPrepare(stmt, text, length);
}

SQLRETURN __wrap_SQLExecute(SQLHSTMT stmt) {
    return Recorded([&] { return __real_SQLExecute(stmt); },
                    [&](Recorder& r) {
                        const StatementState& s = r.statements[stmt];
                        return StatementCall(CallKind::PrepareExecute, s.prepared, s);
                    });
}

SQLRETURN __wrap_SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT io, SQLSMALLINT cType,
                                  SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER buffer,
                                  SQLLEN bufferLength, SQLLEN* indicator) {
    {
        Recorder& r = TheRecorder();
        std::lock_guard guard(r.lock);
        Binding b;
        b.shape.cType = cType;
        b.shape.sqlType = sqlType;
        b.shape.size = size;
        b.shape.digits = digits;
        b.buffer = buffer;
        b.bufferLength = bufferLength;
        b.indicator = indicator;
        r.statements[stmt].bindings[number] = b;
    }
    return __real_SQLBindParameter(stmt, number, io, cType, sqlType, size, digits, buffer, bufferLength, indicator);
}

SQLRETURN __wrap_SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
    if (option == SQL_RESET_PARAMS) {
        Recorder& r = TheRecorder();
        std::lock_guard guard(r.lock);
        r.statements[stmt].bindings.clear();
    }
    return __real_SQLFreeStmt(stmt, option);
}

SQLRETURN __wrap_SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
    const SQLRETURN rc = __real_SQLSetStmtAttr(stmt, attribute, value, length);
    if ((attribute == SQL_ATTR_PARAMSET_SIZE || attribute == SQL_ATTR_PARAM_BIND_TYPE) &&
        (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)) {
        Recorder& r = TheRecorder();
        std::lock_guard guard(r.lock);
        StatementState& s = r.statements[stmt];
        const auto number = reinterpret_cast<SQLULEN>(value);
        if (attribute == SQL_ATTR_PARAMSET_SIZE)
            s.paramSetSize = number;
        else
            s.paramBindType = number;
    }
    return rc;
}

SQLRETURN __wrap_SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    if (type == SQL_HANDLE_STMT) {
        Recorder& r = TheRecorder();
        std::lock_guard guard(r.lock);
        r.statements.erase(handle);
    }
    return __real_SQLFreeHandle(type, handle);
}

SQLRETURN __wrap_SQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                                SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength) {
    return Recorded(
        [&] { return __real_SQLPrimaryKeys(stmt, catalog, catalogLength, schema, schemaLength, table, tableLength); },
        [&](Recorder&) { return RecordedCall{CallKind::PrimaryKeys, Text(table, tableLength), {}}; });
}

SQLRETURN __wrap_SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
    if (attribute != SQL_ATTR_AUTOCOMMIT) return __real_SQLSetConnectAttr(dbc, attribute, value, length);
    return Recorded([&] { return __real_SQLSetConnectAttr(dbc, attribute, value, length); },
                    [&](Recorder&) {
                        return RecordedCall{CallKind::AutoCommit, {}, {}, static_cast<long>(reinterpret_cast<SQLULEN>(value))};
                    });
}

SQLRETURN __wrap_SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
    return Recorded([&] { return __real_SQLEndTran(type, handle, completion); },
                    [&](Recorder&) { return RecordedCall{CallKind::EndTran, {}, {}, completion}; });
}

SQLRETURN __wrap_SQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                  SQLSMALLINT outCapacity, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
    return Recorded(
        [&] { return __real_SQLDriverConnect(dbc, window, in, inLength, out, outCapacity, outLength, completion); },
        [&](Recorder&) { return RecordedCall{CallKind::Connect, {}, {}, 0}; });
}

}  // extern "C"

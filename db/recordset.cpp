#include "db/recordset.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string_view>
#include <variant>

#include "db/odbc_handle.h"
#include "db/select_rows.h"
#include "db/statement.h"

// How a changed row is written
// ----------------------------
// The layer writes rows with statements of its own on a second statement
// handle, never through the cursor. Measured with the drivers installed here:
// SQLSetPos updates work only on psqlODBC (SQLite3 answers "incompatible
// rowset", MariaDB forces the static cursor read-only), SQLSetPos add on
// SQLite3 stores 0 for ignored columns instead of leaving them NULL, and
// "WHERE CURRENT OF" fails on all three. A plain INSERT and a searched UPDATE
// with bound parameters work on all three.
//
// The searched UPDATE names its row by the declared primary key
// (SQLPrimaryKeys), which all three drivers answer for SITE and SITECHAN;
// psqlODBC answers it even for the unquoted upper-case name. The driver's row
// identifier (SQLSpecialColumns SQL_BEST_ROWID) was measured too and is not
// usable alike: psqlODBC answers nothing (07009 for the upper-case name, no
// row for the folded one), MariaDB nothing for a table without a key, and
// SQLite "_ROWID_", a column the SELECT does not read. Without a key whose
// columns are all bound, the row is named by every value the fetch read.
//
// The values in the WHERE are the ones the fetch read, compared so that the
// stored row is found again although the fetch rounded them: a date-time by
// the whole second it falls in (the fetch drops fractions, and another program
// may have stored them), a floating value within a relative 1e-6 (a REAL or
// FLOAT column widened to double is not equal to the double the driver
// converted from its text), a NULL as IS NULL, an empty text as an empty text.
//
// Before writing, the layer counts the rows that the WHERE names: none raises
// "no row affected", more than one "more than one row affected", and nothing
// is written in either case, so two identical rows of a table without a key
// are never both changed. After the UPDATE a count of 0 is taken at its word
// only when the row is gone: MariaDB counts only rows whose values changed
// (unless FOUND_ROWS is set on the connection), so an UPDATE that writes the
// values already stored answers 0 there although its row exists.
//
// Queued inserts
// --------------
// Between QueueInserts and FlushInserts, new rows are kept with the very
// column list and parameters the one-row INSERT would send, and the flush
// sends all rows of one column list with one INSERT whose parameters are
// bound column-wise as arrays (SQL_ATTR_PARAMSET_SIZE rows) and executed
// once. Measured with the drivers installed here: psqlODBC sends such an
// execution as one query holding every row, MariaDB's driver as its prepare
// and one bulk execution (two requests), SQLite3 ODBC runs its statement
// once per row; all three store exactly the values the one-row INSERTs
// store. A failing row fails the whole execution, and the per-row status
// array is not usable on psqlODBC or MariaDB: the failure is the driver's
// diagnostics of the statement. A driver that refuses parameter arrays (the
// attribute is refused or changed) gets one execution per row.

namespace {

// The declared size of a text parameter at least: texts up to this many
// characters travel without the driver asking for a longer one.
constexpr std::size_t kTextMaxChars = 255;
// A text column is read in pieces of this many bytes, as long as it is.
constexpr std::size_t kTextPieceBytes = 1024;

// Relative tolerance for finding a floating value again.
constexpr double kFloatTolerance = 1e-6;

// The SQLSTATEs of the diagnostics a statement holds.
std::vector<std::string> DiagStates(SQLHSTMT stmt) {
    std::vector<std::string> states;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!OdbcOk(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, record, state, &native, nullptr, 0, &length))) break;
        states.emplace_back(reinterpret_cast<char*>(state));
    }
    return states;
}

bool HasState(const std::vector<std::string>& states, std::string_view state) {
    for (const std::string& s : states)
        if (s == state) return true;
    return false;
}

// A stored date and time as its wall-clock parts; fractions of a second are
// dropped. Every year the columns hold (1 to 9999) reads as stored.
WallClock WallClockOf(const SQL_TIMESTAMP_STRUCT& stamp) {
    return {stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second};
}

// The stamp that writes a wall-clock time as it stands.
SQL_TIMESTAMP_STRUCT StampOf(const WallClock& clock) {
    SQL_TIMESTAMP_STRUCT stamp{};
    stamp.year = static_cast<SQLSMALLINT>(clock.year);
    stamp.month = static_cast<SQLUSMALLINT>(clock.month);
    stamp.day = static_cast<SQLUSMALLINT>(clock.day);
    stamp.hour = static_cast<SQLUSMALLINT>(clock.hour);
    stamp.minute = static_cast<SQLUSMALLINT>(clock.minute);
    stamp.second = static_cast<SQLUSMALLINT>(clock.second);
    stamp.fraction = 0;
    return stamp;
}

// A wall-clock time as text, "YYYY-MM-DD HH:MM:SS" and `fraction` after it.
std::string StampText(const SQL_TIMESTAMP_STRUCT& stamp, const char* fraction) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u%s", stamp.year, stamp.month, stamp.day, stamp.hour,
                  stamp.minute, stamp.second, fraction);
    return text;
}

// A field's program-side value, by kind.
using Value = std::variant<std::string, int, double, DateTimeField>;

Value ReadMember(const FieldBinding& b) {
    switch (b.kind) {
        case FieldKind::Text: return *static_cast<std::string*>(b.value);
        case FieldKind::Integer: return *static_cast<int*>(b.value);
        case FieldKind::Floating: return *static_cast<double*>(b.value);
        case FieldKind::DateTime: return *static_cast<DateTimeField*>(b.value);
    }
    return {};
}

void WriteMember(const FieldBinding& b, const Value& v) {
    switch (b.kind) {
        case FieldKind::Text: *static_cast<std::string*>(b.value) = std::get<std::string>(v); break;
        case FieldKind::Integer: *static_cast<int*>(b.value) = std::get<int>(v); break;
        case FieldKind::Floating: *static_cast<double*>(b.value) = std::get<double>(v); break;
        case FieldKind::DateTime: *static_cast<DateTimeField*>(b.value) = std::get<DateTimeField>(v); break;
    }
}

Value NullValue(FieldKind kind) {
    switch (kind) {
        case FieldKind::Text: return std::string();
        case FieldKind::Integer: return NullMarker::Integer;
        case FieldKind::Floating: return NullMarker::Floating;
        case FieldKind::DateTime: return DateTimeField{};
    }
    return {};
}

// Values differ when their bits differ: a NaN equals itself, -0.0 differs from 0.0.
bool SameValue(const Value& a, const Value& b) {
    if (std::holds_alternative<double>(a) && std::holds_alternative<double>(b))
        return std::bit_cast<std::uint64_t>(std::get<double>(a)) == std::bit_cast<std::uint64_t>(std::get<double>(b));
    return a == b;
}

// A value written as NULL: the empty text, and a numeric or date-time field
// holding its kind's null marker (what a NULL column reads as is written back
// as NULL, not as the marker value).
bool WritesAsNull(FieldKind kind, const Value& v) { return SameValue(v, NullValue(kind)); }

// The whole text of a character column of the fetched row, read in pieces
// until the driver has no more; nullopt for NULL.
std::optional<std::string> ReadTextColumn(SQLHDBC hdbc, SQLHSTMT stmt, SQLUSMALLINT column) {
    std::string text;
    std::vector<char> piece(kTextPieceBytes + 1);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, piece.data(), static_cast<SQLLEN>(piece.size()),
                                        &indicator);
        if (rc == SQL_NO_DATA) break;  // the previous piece was the last
        if (!OdbcOk(rc)) throw MakeDbException(rc, hdbc, stmt);
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        // A full piece (more follows) holds its size less the terminating
        // zero; the last one holds what the indicator says.
        const bool more = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(piece.size());
        const std::size_t got = more ? piece.size() - 1 : static_cast<std::size_t>(indicator);
        text.append(piece.data(), got);
        if (!more) break;
    }
    return text;
}

// One column of the fetched row as a value of its kind (a date-time as its
// stamp in `stamp`); nullopt for NULL.
std::optional<Value> ReadColumn(SQLHDBC hdbc, SQLHSTMT stmt, SQLUSMALLINT column, FieldKind kind,
                                SQL_TIMESTAMP_STRUCT& stamp) {
    if (kind == FieldKind::Text) {
        std::optional<std::string> text = ReadTextColumn(hdbc, stmt, column);
        if (!text) return std::nullopt;
        return Value(std::move(*text));
    }
    SQLINTEGER integer = 0;
    double floating = 0.0;
    SQLLEN indicator = 0;
    SQLRETURN rc = SQL_ERROR;
    switch (kind) {
        case FieldKind::Integer:
            rc = SQLGetData(stmt, column, SQL_C_SLONG, &integer, sizeof integer, &indicator);
            break;
        case FieldKind::Floating:
            rc = SQLGetData(stmt, column, SQL_C_DOUBLE, &floating, sizeof floating, &indicator);
            break;
        case FieldKind::DateTime:
            rc = SQLGetData(stmt, column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &indicator);
            break;
        case FieldKind::Text: break;
    }
    if (!OdbcOk(rc)) throw MakeDbException(rc, hdbc, stmt);
    if (rc == SQL_SUCCESS_WITH_INFO && HasState(DiagStates(stmt), "01004"))
        throw CDBException::Layer(LayerError::DataTruncated);
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    switch (kind) {
        case FieldKind::Integer: return Value(static_cast<int>(integer));
        case FieldKind::Floating: return Value(floating);
        default: return Value(DateTimeField{WallClockOf(stamp)});
    }
}

// One parameter of a writing statement with the storage it is bound to.
struct Param {
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    std::string text;
    SQLINTEGER integer = 0;
    double floating = 0.0;
    SQL_TIMESTAMP_STRUCT stamp{};
    SQLLEN indicator = 0;

    static Param Null(FieldKind kind) {
        Param p = OfKind(kind);
        p.indicator = SQL_NULL_DATA;
        return p;
    }
    static Param Text(std::string v) {
        Param p = OfKind(FieldKind::Text);
        p.text = std::move(v);
        p.indicator = static_cast<SQLLEN>(p.text.size());
        p.size = std::max<SQLULEN>(kTextMaxChars, p.text.size());
        return p;
    }
    // A bound of a time range, sent as text: the drivers compare it as a
    // time, and SQLite, which stores times as text, as text.
    static Param StampBound(std::string v, SQLSMALLINT digits) {
        Param p = OfKind(FieldKind::DateTime);
        p.cType = SQL_C_CHAR;
        p.text = std::move(v);
        p.indicator = static_cast<SQLLEN>(p.text.size());
        p.size = p.text.size();
        p.digits = digits;
        return p;
    }
    static Param Integer(int v) {
        Param p = OfKind(FieldKind::Integer);
        p.integer = v;
        return p;
    }
    static Param Floating(double v) {
        Param p = OfKind(FieldKind::Floating);
        p.floating = v;
        return p;
    }
    static Param Stamp(const SQL_TIMESTAMP_STRUCT& v) {
        Param p = OfKind(FieldKind::DateTime);
        p.stamp = v;
        return p;
    }
    // The parameter of a value as the program holds it.
    static Param Of(FieldKind kind, const Value& v) {
        if (WritesAsNull(kind, v)) return Null(kind);
        switch (kind) {
            case FieldKind::Text: return Text(std::get<std::string>(v));
            case FieldKind::Integer: return Integer(std::get<int>(v));
            case FieldKind::Floating: return Floating(std::get<double>(v));
            case FieldKind::DateTime: return Stamp(StampOf(*std::get<DateTimeField>(v)));
        }
        return Null(kind);
    }

    void* Buffer() {
        switch (cType) {
            case SQL_C_SLONG: return &integer;
            case SQL_C_DOUBLE: return &floating;
            case SQL_C_TYPE_TIMESTAMP: return &stamp;
            default: return text.data();
        }
    }

private:
    static Param OfKind(FieldKind kind) {
        Param p;
        switch (kind) {
            case FieldKind::Text: p.cType = SQL_C_CHAR, p.sqlType = SQL_VARCHAR, p.size = kTextMaxChars; break;
            case FieldKind::Integer: p.cType = SQL_C_SLONG, p.sqlType = SQL_INTEGER, p.size = 10; break;
            case FieldKind::Floating: p.cType = SQL_C_DOUBLE, p.sqlType = SQL_DOUBLE, p.size = 15; break;
            case FieldKind::DateTime: p.cType = SQL_C_TYPE_TIMESTAMP, p.sqlType = SQL_TYPE_TIMESTAMP, p.size = 23; break;
        }
        return p;
    }
};

// Runs a writing statement or a row count with the parameters bound (again
// on a new handle after a reconnect); answers the affected-row count, or -1
// when the driver gives none.
SQLLEN ExecuteWith(Statement& stmt, const std::string& sql, std::deque<Param>& params) {
    stmt.Execute(sql, [&](Statement& s) {
        SQLUSMALLINT number = 0;
        for (Param& p : params)
            s.Check(SQLBindParameter(s.get(), ++number, SQL_PARAM_INPUT, p.cType, p.sqlType, p.size, p.digits,
                                     p.Buffer(), p.cType == SQL_C_CHAR ? static_cast<SQLLEN>(p.text.size()) : 0,
                                     &p.indicator));
    });
    SQLLEN rows = -1;
    if (!OdbcOk(SQLRowCount(stmt.get(), &rows))) rows = -1;
    return rows;
}

// Runs a SELECT COUNT(*) with the parameters and answers its count.
long long CountWith(CDatabase& session, const std::string& sql, std::deque<Param>& params) {
    Statement stmt(session);
    ExecuteWith(stmt, sql, params);
    if (stmt.Fetch() == SQL_NO_DATA) return 0;
    SQLBIGINT count = 0;
    SQLLEN indicator = 0;
    stmt.Check(SQLGetData(stmt.get(), 1, SQL_C_SBIGINT, &count, sizeof count, &indicator));
    return indicator == SQL_NULL_DATA ? 0 : static_cast<long long>(count);
}

// The INSERT of one new row: the columns it names, in binding order, and
// their parameters.
struct InsertRow {
    std::vector<std::string> columns;
    std::deque<Param> params;
};

// The INSERT text of a column list: "INSERT INTO T (A,B) VALUES (?,?)".
std::string InsertText(const std::string& table, const std::vector<std::string>& columns) {
    std::string names, marks;
    for (const std::string& column : columns) {
        names += column + ",";
        marks += "?,";
    }
    names.back() = ')';
    marks.back() = ')';
    return "INSERT INTO " + table + " (" + names + " VALUES (" + marks;
}

// Runs the INSERT of one row and checks that it stored one row.
void InsertOne(CDatabase& session, const std::string& sql, std::deque<Param>& params) {
    Statement stmt(session);
    SQLLEN rows = ExecuteWith(stmt, sql, params);
    if (rows == 0) throw CDBException::Layer(LayerError::NoRowAffected);
    if (rows > 1) throw CDBException::Layer(LayerError::MoreThanOneRowAffected);
}

// One parameter of an INSERT bound column-wise for an array of rows: every
// row's value in a slot of `width` bytes, side by side, and one indicator
// per row. The slots are sized from the values, so no text is cut.
struct ParamColumn {
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    std::size_t width = 0;
    std::vector<char> data;
    std::vector<SQLLEN> indicators;
};

// The parameter `column` of every row as one array. The rows share their
// column list, so each column has one kind; its declared size is the largest
// any row declares, so every row travels as its one-row INSERT sends it.
ParamColumn ColumnOfRows(std::vector<std::deque<Param>>& rows, std::size_t column) {
    ParamColumn c;
    const Param& first = rows.front()[column];
    c.cType = first.cType;
    c.sqlType = first.sqlType;
    c.digits = first.digits;
    for (const std::deque<Param>& row : rows) {
        const Param& p = row[column];
        c.size = std::max(c.size, p.size);
        c.width = std::max(c.width, c.cType == SQL_C_CHAR ? p.text.size() + 1 : FixedParamBytes(c.cType));
    }
    c.data.assign(c.width * rows.size(), '\0');
    c.indicators.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Param& p = rows[i][column];
        const std::size_t bytes = c.cType == SQL_C_CHAR ? p.text.size() : FixedParamBytes(c.cType);
        if (p.indicator != SQL_NULL_DATA) std::memcpy(c.data.data() + i * c.width, p.Buffer(), bytes);
        c.indicators.push_back(p.indicator);
    }
    return c;
}

// Sets the number of parameter rows of the statement's next execution;
// false when the driver refuses arrays (an error, or another value kept).
bool TakesParamArrays(const Statement& stmt, SQLULEN rows) {
    if (!OdbcOk(SQLSetStmtAttr(stmt.get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0)))
        return false;
    SQLULEN kept = 0;
    if (!OdbcOk(SQLGetStmtAttr(stmt.get(), SQL_ATTR_PARAMSET_SIZE, &kept, 0, nullptr))) return false;
    return kept == rows;
}

// Sends the INSERT for every row: one execution with arrays of parameters,
// or one per row when there is one row or the driver takes no arrays.
void InsertRows(CDatabase& session, const std::string& sql, std::vector<std::deque<Param>>& rows) {
    const SQLULEN count = rows.size();
    if (count > 1) {
        Statement stmt(session);
        if (TakesParamArrays(stmt, count)) {
            std::vector<ParamColumn> columns;
            for (std::size_t i = 0; i < rows.front().size(); ++i) columns.push_back(ColumnOfRows(rows, i));
            SQLULEN processed = 0;
            stmt.Execute(sql, [&](Statement& s) {
                s.Check(SQLSetStmtAttr(s.get(), SQL_ATTR_PARAM_BIND_TYPE,
                                       reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0));
                s.Check(SQLSetStmtAttr(s.get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(count), 0));
                s.Check(SQLSetStmtAttr(s.get(), SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
                SQLUSMALLINT number = 0;
                for (ParamColumn& c : columns)
                    s.Check(SQLBindParameter(s.get(), ++number, SQL_PARAM_INPUT, c.cType, c.sqlType, c.size, c.digits,
                                             c.data.data(),
                                             c.cType == SQL_C_CHAR ? static_cast<SQLLEN>(c.width) : 0,
                                             c.indicators.data()));
            });
            // Every row was run (all three drivers count them), and the
            // affected rows are the sum of all rows (SQLite3, MariaDB) or
            // the last row's (psqlODBC): none, or more than all, is wrong.
            SQLLEN stored = -1;
            if (!OdbcOk(SQLRowCount(stmt.get(), &stored))) stored = -1;
            if (processed != count || stored == 0) throw CDBException::Layer(LayerError::NoRowAffected);
            if (stored > static_cast<SQLLEN>(count)) throw CDBException::Layer(LayerError::MoreThanOneRowAffected);
            return;
        }
    }
    for (std::deque<Param>& row : rows) InsertOne(session, sql, row);
}

// The upper-case form of an ASCII identifier, for comparing column names
// that drivers may answer folded.
std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}


// The declared primary key of a table, its column names in upper case, as
// the driver answers it: asked once per connection. nullopt when the driver
// cannot answer; the row is then named by all its values.
CDatabase::KeyColumns PrimaryKeyOf(CDatabase& session, const std::string& table) {
    if (const CDatabase::KeyColumns* known = session.KnownPrimaryKey(table)) return *known;
    CDatabase::KeyColumns key;
    try {
        Statement catalog(session);
        catalog.PrimaryKeys(table);
        char name[256] = {};
        SQLLEN indicator = 0;
        catalog.Check(SQLBindCol(catalog.get(), 4, SQL_C_CHAR, name, sizeof name, &indicator));
        std::vector<std::string> columns;
        while (catalog.Fetch() != SQL_NO_DATA)
            columns.push_back(indicator == SQL_NULL_DATA ? std::string() : UpperAscii(name));
        key = std::move(columns);
    } catch (const CDBException&) {
        key.reset();  // a driver without the catalog question: every bound column names the row
    }
    session.RememberPrimaryKey(table, key);
    return key;
}
}  // namespace

// One column of the record set: what the current row held in it, and the
// value remembered at BeginEdit or BeginInsert.
struct BoundField {
    FieldBinding binding;

    // The current row as stored, to find it again when it is changed.
    bool rowNull = true;
    Value rowValue;
    SQL_TIMESTAMP_STRUCT rowStamp{};

    Value saved;
    bool dirty = false;
};

enum class EditMode { None, Edit, Insert };

// Kept new rows that share one column list.
struct InsertBatch {
    std::vector<std::string> columns;
    std::vector<std::deque<Param>> rows;
};

struct CRecordset::Impl {
    std::unique_ptr<Statement> stmt;
    bool open = false;
    bool updatable = false;
    bool appendable = false;
    EditMode mode = EditMode::None;
    std::string table;
    std::vector<BoundField> fields;
    // Fields that name a row in the WHERE of an UPDATE; empty until first needed.
    std::vector<std::size_t> key;
    bool keyKnown = false;
    // New rows kept by QueueInserts until FlushInserts, by column list.
    bool queueing = false;
    std::vector<InsertBatch> queued;
};

CRecordset::CRecordset(CDatabase* session) : session_(session), impl_(std::make_unique<Impl>()) {
    if (session_ == nullptr) return;
    // A failed allocation is tried again at Open.
    if (session_->IsOpen()) {
        try {
            impl_->stmt = std::make_unique<Statement>(*session_);
        } catch (const CDBException&) {
            impl_->stmt.reset();
        }
    }
    session_->AttachRecordset(this);
}

CRecordset::~CRecordset() {
    Close();
    if (session_ != nullptr) session_->DetachRecordset(this);
}

bool CRecordset::IsOpen() const { return impl_->open; }

void CRecordset::DetachFromSession() {
    Close();
    impl_->stmt.reset();
    session_ = nullptr;
}

std::string CRecordset::ComposeSelectText() {
    // Every name followed by a comma, the last comma then overwritten by a
    // blank: two blanks stand before FROM.
    const std::vector<FieldBinding> bindings = BindColumns();
    std::string sql = "SELECT ";
    for (const FieldBinding& b : bindings) sql += std::string(b.column) + ",";
    if (!bindings.empty()) sql.back() = ' ';
    sql += " FROM " + DefaultSql();
    if (!Filter.empty()) sql += " WHERE " + Filter;
    if (!Sort.empty()) sql += " ORDER BY " + Sort;
    if (!RowLock.empty()) sql += " " + RowLock;
    return sql;
}

void CRecordset::DropStatement() { Close(); }

void CRecordset::Close() {
    Impl& m = *impl_;
    // Only the handle goes: the statement object may be the one running
    // when its session connects again, and it makes a new handle itself.
    if (m.stmt) {
        m.stmt->CloseCursor();
        m.stmt->FreeHandle();
    }
    m.open = false;
    m.updatable = m.appendable = false;
    m.mode = EditMode::None;
    m.fields.clear();
    m.key.clear();
    m.keyKnown = false;
    // Rows kept and not flushed are not written.
    m.queueing = false;
    m.queued.clear();
    beginOfSet_ = endOfSet_ = true;
}

Statement& CRecordset::ReadyStatement() {
    if (impl_->open) Close();  // a statement allocated at construction is kept
    Impl& m = *impl_;
    if (session_ == nullptr) throw CDBException::Layer(LayerError::NoStatementHandle);
    if (!session_->IsOpen()) {
        // Only a record set made on a closed session gets here; the program
        // always opens its sessions first.
        std::string connect = DefaultConnect();
        if (connect.rfind("ODBC;", 0) == 0) connect.erase(0, 5);
        if (!session_->Open(connect, OpenOptions::UseCursorLibrary))
            throw CDBException::Layer(LayerError::NoStatementHandle);
    }
    if (!m.stmt) {
        try {
            m.stmt = std::make_unique<Statement>(*session_);
        } catch (const CDBException&) {
            throw CDBException::Layer(LayerError::NoStatementHandle);
        }
        session_->AttachRecordset(this);
    }
    Statement& stmt = *m.stmt;
    // Whatever a failed earlier Open left on the statement goes.
    stmt.CloseCursor();
    if (stmt.get() != SQL_NULL_HSTMT) SQLFreeStmt(stmt.get(), SQL_UNBIND);

    const SQLHDBC hdbc = session_->ConnectionHandle();
    SQLUINTEGER scrollOptions = 0;
    SQLRETURN rc = SQLGetInfo(hdbc, SQL_SCROLL_OPTIONS, &scrollOptions, sizeof scrollOptions, nullptr);
    if (!OdbcOk(rc)) throw MakeDbException(rc, hdbc, SQL_NULL_HSTMT);
    if ((scrollOptions & SQL_SO_STATIC) == 0) throw CDBException::Layer(LayerError::NoStaticCursor);
    char odbcVersion[32] = {};
    rc = SQLGetInfo(hdbc, SQL_ODBC_VER, odbcVersion, sizeof odbcVersion, nullptr);
    if (!OdbcOk(rc)) throw MakeDbException(rc, hdbc, SQL_NULL_HSTMT);
    if (std::atoi(odbcVersion) < 2) throw CDBException::Layer(LayerError::OdbcVersion);
    return stmt;
}

void CRecordset::ExecuteSelect(Statement& stmt, const std::string& sql) {
    // A static cursor, only read: rows are written by statements of their own
    // (see the top of this file), so it asks for no locks or row versions.
    // The SELECT is sent once, with SQLExecDirect: a prepare of its own would
    // cost MariaDB's driver a round trip for a statement that runs once.
    stmt.Execute(sql, [](Statement& s) {
        s.Check(SQLSetStmtAttr(s.get(), SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
        s.Check(SQLSetStmtAttr(s.get(), SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0));
    });
}

void CRecordset::StartReading() {
    Impl& m = *impl_;
    // The fields are made after the statement ran: a reconnect on the way
    // closes the record set's earlier state.
    m.table = DefaultSql();
    std::vector<FieldBinding> bindings = BindColumns();
    m.fields.clear();
    m.fields.reserve(bindings.size());
    for (const FieldBinding& b : bindings) {
        BoundField f;
        f.binding = b;
        f.rowValue = f.saved = NullValue(b.kind);
        m.fields.push_back(std::move(f));
    }
    // The derived classes read one table by its bare name; writing needs
    // only a session that may write.
    m.updatable = m.appendable = session_->CanUpdate();

    m.open = true;
    endOfSet_ = false;
    Fetch();
    beginOfSet_ = endOfSet_;
}

bool CRecordset::Open() {
    Statement& stmt = ReadyStatement();
    selectText_ = ComposeSelectText();
    ExecuteSelect(stmt, selectText_);
    StartReading();
    return true;
}

bool CRecordset::OpenBatch(CRecordset& next) {
    Statement& stmt = ReadyStatement();
    selectText_ = ComposeSelectText();
    next.Close();
    next.selectText_ = next.ComposeSelectText();
    ExecuteSelect(stmt, selectText_ + ";" + next.selectText_);
    StartReading();
    return true;
}

bool CRecordset::OpenNextResult(CRecordset& previous) {
    if (previous.session_ != session_ || !previous.impl_->open || !previous.impl_->stmt)
        throw CDBException::Layer(LayerError::NoStatementHandle);
    // The batch's statement, already made ready by `previous`, comes over;
    // `previous` keeps this one's (or none) and closes.
    if (impl_->open) Close();
    std::swap(impl_->stmt, previous.impl_->stmt);
    previous.Close();
    Statement& stmt = *impl_->stmt;
    // A driver that ran the first SELECT alone fails here.
    if (!stmt.NextResult()) stmt.Fail(SQL_ERROR);
    StartReading();
    return true;
}

void CRecordset::MoveNext() {
    if (endOfSet_) throw CDBException::Layer(LayerError::MovePastEnd);
    Fetch();
}

void CRecordset::Fetch() {
    Impl& m = *impl_;
    if (!m.open || !m.stmt || m.stmt->get() == SQL_NULL_HSTMT) {
        endOfSet_ = true;
        return;
    }
    SQLHSTMT stmt = m.stmt->get();
    const SQLRETURN rc = m.stmt->Fetch();
    if (rc == SQL_NO_DATA) {
        endOfSet_ = true;
        return;
    }
    if (rc == SQL_SUCCESS_WITH_INFO) {
        std::vector<std::string> states = DiagStates(stmt);
        if (HasState(states, "01004")) throw CDBException::Layer(LayerError::DataTruncated);
        if (HasState(states, "01S01")) throw CDBException::Layer(LayerError::RowError);
    }

    // The columns are read one by one in their order, none bound: a text
    // column comes in pieces, so no length of text is ever cut.
    SQLUSMALLINT column = 0;
    for (BoundField& f : m.fields) {
        const FieldBinding& b = f.binding;
        ++column;
        f.dirty = false;
        Value v = NullValue(b.kind);
        std::optional<Value> read = ReadColumn(session_->ConnectionHandle(), stmt, column, b.kind, f.rowStamp);
        f.rowNull = !read.has_value();
        if (read) {
            if (b.kind == FieldKind::DateTime) f.rowStamp.fraction = 0;
            v = std::move(*read);
        }
        f.rowValue = v;
        WriteMember(b, v);
    }
    AfterFetch();
}

void CRecordset::BeginInsert() {
    Impl& m = *impl_;
    if (!m.open || !m.appendable) throw CDBException::Layer(LayerError::NotUpdatable);
    for (BoundField& f : m.fields) {
        f.saved = NullValue(f.binding.kind);
        WriteMember(f.binding, f.saved);
        f.dirty = false;
    }
    m.mode = EditMode::Insert;
}

void CRecordset::BeginEdit() {
    Impl& m = *impl_;
    if (!m.open || !m.updatable) throw CDBException::Layer(LayerError::NotUpdatable);
    if (endOfSet_) throw CDBException::Layer(LayerError::NoCurrentRecord);
    for (BoundField& f : m.fields) {
        f.saved = ReadMember(f.binding);
        f.dirty = false;
    }
    m.mode = EditMode::Edit;
}

bool CRecordset::Update() {
    Impl& m = *impl_;
    if (m.mode == EditMode::None) throw CDBException::Layer(LayerError::UpdateWithoutBegin);
    bool any = false;
    for (BoundField& f : m.fields) {
        f.dirty = !SameValue(ReadMember(f.binding), f.saved);
        any = any || f.dirty;
    }
    if (!any) return false;

    if (m.mode == EditMode::Insert && m.queueing) {
        // Kept for FlushInserts; the record set stays on the row it was on.
        QueueInsert();
        for (BoundField& f : m.fields) f.dirty = false;
        m.mode = EditMode::None;
        return true;
    }
    if (m.mode == EditMode::Insert)
        UpdateInsert();
    else
        UpdateEdit();

    // The written values are now the current row.
    for (BoundField& f : m.fields) {
        if (m.mode == EditMode::Insert || f.dirty) {
            Value v = ReadMember(f.binding);
            f.rowNull = WritesAsNull(f.binding.kind, v);
            f.rowValue = v;
            if (f.binding.kind == FieldKind::DateTime && !f.rowNull)
                f.rowStamp = StampOf(*std::get<DateTimeField>(v));
        }
        f.dirty = false;
    }
    if (m.mode == EditMode::Insert) beginOfSet_ = endOfSet_ = false;
    m.mode = EditMode::None;
    return true;
}

namespace {

// The INSERT of the dirty fields of a new row. A NULL is left out: the
// column takes NULL (or its default) by itself.
InsertRow ComposeInsert(const std::vector<BoundField>& fields) {
    InsertRow row;
    for (const BoundField& f : fields) {
        if (!f.dirty) continue;
        Value v = ReadMember(f.binding);
        if (WritesAsNull(f.binding.kind, v)) continue;
        row.columns.emplace_back(f.binding.column);
        row.params.push_back(Param::Of(f.binding.kind, v));
    }
    return row;
}

}  // namespace

void CRecordset::UpdateInsert() {
    Impl& m = *impl_;
    InsertRow row = ComposeInsert(m.fields);
    if (row.params.empty()) return;  // cannot happen: a dirty field differs from the null it started as
    InsertOne(*session_, InsertText(m.table, row.columns), row.params);
}

void CRecordset::QueueInsert() {
    Impl& m = *impl_;
    InsertRow row = ComposeInsert(m.fields);
    if (row.params.empty()) return;
    auto batch = std::find_if(m.queued.begin(), m.queued.end(),
                              [&](const InsertBatch& b) { return b.columns == row.columns; });
    if (batch == m.queued.end()) batch = m.queued.insert(m.queued.end(), InsertBatch{row.columns, {}});
    batch->rows.push_back(std::move(row.params));
}

void CRecordset::QueueInserts() { impl_->queueing = true; }

void CRecordset::FlushInserts() {
    Impl& m = *impl_;
    m.queueing = false;
    std::vector<InsertBatch> batches = std::move(m.queued);
    m.queued.clear();
    if (batches.empty()) return;
    if (session_ == nullptr) throw CDBException::Layer(LayerError::NoStatementHandle);
    for (InsertBatch& b : batches) InsertRows(*session_, InsertText(m.table, b.columns), b.rows);
}

void CRecordset::UpdateEdit() {
    Impl& m = *impl_;
    if (!m.keyKnown) {
        // The declared primary key names the row when every one of its
        // columns is bound; otherwise every bound column does.
        const CDatabase::KeyColumns declared = PrimaryKeyOf(*session_, m.table);
        std::vector<std::size_t> key;
        bool complete = declared.has_value() && !declared->empty();
        for (const std::string& column : declared.value_or(std::vector<std::string>())) {
            bool found = false;
            for (std::size_t i = 0; i < m.fields.size() && !found; ++i) {
                if (UpperAscii(m.fields[i].binding.column) == column) {
                    key.push_back(i);
                    found = true;
                }
            }
            complete = complete && found;
        }
        m.key.clear();
        if (complete) {
            m.key = key;
        } else {
            for (std::size_t i = 0; i < m.fields.size(); ++i) m.key.push_back(i);
        }
        m.keyKnown = true;
    }

    // WHERE: the current row as the fetch read it.
    std::string where;
    std::deque<Param> whereParams;
    for (std::size_t i : m.key) {
        const BoundField& f = m.fields[i];
        const std::string column = f.binding.column;
        std::string condition;
        if (f.rowNull) {
            condition = column + " IS NULL";
        } else {
            switch (f.binding.kind) {
                case FieldKind::Text:
                    condition = column + "=?";
                    whereParams.push_back(Param::Text(std::get<std::string>(f.rowValue)));
                    break;
                case FieldKind::Integer:
                    condition = column + "=?";
                    whereParams.push_back(Param::Integer(std::get<int>(f.rowValue)));
                    break;
                case FieldKind::Floating: {
                    double v = std::get<double>(f.rowValue);
                    if (!std::isfinite(v)) continue;
                    double tolerance = std::fabs(v) * kFloatTolerance;
                    condition = column + " BETWEEN ? AND ?";
                    whereParams.push_back(Param::Floating(v - tolerance));
                    whereParams.push_back(Param::Floating(v + tolerance));
                    break;
                }
                case FieldKind::DateTime:
                    // Every time within the second the fetch read: from the
                    // whole second (which sorts first also as SQLite's text)
                    // to its last microsecond, the finest the servers store.
                    condition = column + ">=? AND " + column + "<=?";
                    whereParams.push_back(Param::StampBound(StampText(f.rowStamp, ""), 0));
                    whereParams.push_back(Param::StampBound(StampText(f.rowStamp, ".999999"), 6));
                    break;
            }
        }
        where += (where.empty() ? " WHERE " : " AND ") + condition;
    }

    // SET: every dirty field, each item followed by a comma, the last comma
    // overwritten by a blank.
    std::string sql = "UPDATE " + m.table + " SET ";
    std::deque<Param> params;
    for (const BoundField& f : m.fields) {
        if (!f.dirty) continue;
        sql += std::string(f.binding.column) + "=?,";
        params.push_back(Param::Of(f.binding.kind, ReadMember(f.binding)));
    }
    sql.back() = ' ';
    sql += where;
    params.insert(params.end(), whereParams.begin(), whereParams.end());

    const std::string countSql = "SELECT COUNT(*) FROM " + m.table + where;
    auto countRows = [&] {
        std::deque<Param> copy = whereParams;
        return CountWith(*session_, countSql, copy);
    };
    long long matching = countRows();
    if (matching == 0) throw CDBException::Layer(LayerError::NoRowAffected);
    if (matching > 1) throw CDBException::Layer(LayerError::MoreThanOneRowAffected);

    Statement stmt(*session_);
    SQLLEN rows = ExecuteWith(stmt, sql, params);
    if (rows > 1) throw CDBException::Layer(LayerError::MoreThanOneRowAffected);
    if (rows == 0 && countRows() != 1) throw CDBException::Layer(LayerError::NoRowAffected);
}

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
#include "db/result.h"
#include "db/statement.h"

namespace {

// The declared size of a text parameter at least: texts up to this many
// characters travel without the driver asking for a longer one.
constexpr std::size_t kTextMaxChars = 255;
// Relative tolerance for finding a floating value again.
constexpr double kFloatTolerance = 1e-6;

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

// One column of the fetched row as a value of its kind; nullopt for NULL.
std::optional<Value> ReadColumn(Result& result, int column, FieldKind kind) {
    switch (kind) {
        case FieldKind::Text:
            if (auto text = result.Text(column)) return Value(std::move(*text));
            return std::nullopt;
        case FieldKind::Integer:
            if (auto integer = result.Int32(column)) return Value(*integer);
            return std::nullopt;
        case FieldKind::Floating:
            if (auto floating = result.Number(column)) return Value(*floating);
            return std::nullopt;
        case FieldKind::DateTime:
            if (auto clock = result.DateTime(column)) return Value(DateTimeField{*clock});
            return std::nullopt;
    }
    return std::nullopt;
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

    // The binding of this parameter to its own storage.
    ParameterBinding Binding() {
        return {cType, sqlType, size, digits, Buffer(), cType == SQL_C_CHAR ? static_cast<SQLLEN>(text.size()) : 0,
                &indicator};
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
Result ExecuteWith(Statement& stmt, const std::string& sql, std::deque<Param>& params) {
    return stmt.Execute(sql, [&](Statement& s) {
        SQLUSMALLINT number = 0;
        for (Param& p : params) s.BindParameter(++number, p.Binding());
    });
}

// Runs a SELECT COUNT(*) with the parameters and answers its count.
long long CountWith(CDatabase& session, const std::string& sql, std::deque<Param>& params) {
    Statement stmt(session);
    Result result = ExecuteWith(stmt, sql, params);
    if (!result.Next()) return 0;
    return result.Int64(1).value_or(0);
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
    const long long rows = ExecuteWith(stmt, sql, params).AffectedRows();
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

// Sends the INSERT for every row: one execution with arrays of parameters,
// or one per row when there is one row or the driver takes no arrays.
void InsertRows(CDatabase& session, const std::string& sql, std::vector<std::deque<Param>>& rows) {
    const SQLULEN count = rows.size();
    if (count > 1) {
        Statement stmt(session);
        if (stmt.TakesParameterRows(count)) {
            std::vector<ParamColumn> columns;
            for (std::size_t i = 0; i < rows.front().size(); ++i) columns.push_back(ColumnOfRows(rows, i));
            SQLULEN processed = 0;
            Result result = stmt.Execute(sql, [&](Statement& s) {
                s.UseParameterRows(count, &processed);
                SQLUSMALLINT number = 0;
                for (ParamColumn& c : columns)
                    s.BindParameter(++number, {c.cType, c.sqlType, c.size, c.digits, c.data.data(),
                                               c.cType == SQL_C_CHAR ? static_cast<SQLLEN>(c.width) : 0,
                                               c.indicators.data()});
            });
            // Every row was run (all three drivers count them), and the
            // affected rows are the sum of all rows (SQLite3, MariaDB) or
            // the last row's (psqlODBC): none, or more than all, is wrong.
            const long long stored = result.AffectedRows();
            if (processed != count || stored == 0) throw CDBException::Layer(LayerError::NoRowAffected);
            if (stored > static_cast<long long>(count)) throw CDBException::Layer(LayerError::MoreThanOneRowAffected);
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
        Result result = catalog.PrimaryKeys(table);
        std::vector<std::string> columns;
        while (result.Next()) columns.push_back(UpperAscii(result.Text(4).value_or(std::string())));
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
    // The result being read; it belongs to stmt.
    std::optional<Result> result;
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
    session_->AttachUser(this);
}

CRecordset::~CRecordset() {
    Close();
    if (session_ != nullptr) session_->DetachUser(this);
}

bool CRecordset::IsOpen() const { return impl_->open; }

void CRecordset::SessionClosing() {
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

void CRecordset::SessionReconnecting() { Close(); }

void CRecordset::Close() {
    Impl& m = *impl_;
    // Only the handle goes: the statement object may be the one running
    // when its session connects again, and it makes a new handle itself.
    m.result.reset();
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
        session_->AttachUser(this);
    }
    Statement& stmt = *m.stmt;
    // Whatever a failed earlier Open left on the statement goes.
    stmt.CloseCursor();

    if ((session_->InfoNumber(SQL_SCROLL_OPTIONS) & SQL_SO_STATIC) == 0)
        throw CDBException::Layer(LayerError::NoStaticCursor);
    const std::optional<std::string> odbcVersion = session_->InfoText(SQL_ODBC_VER);
    if (!odbcVersion) throw MakeDbException(SQL_ERROR, session_->ConnectionHandle(), SQL_NULL_HSTMT);
    if (std::atoi(odbcVersion->c_str()) < 2) throw CDBException::Layer(LayerError::OdbcVersion);
    return stmt;
}

void CRecordset::ExecuteSelect(Statement& stmt, const std::string& sql) {
    // A static cursor, only read: rows are written by statements of their own
    // (see recordset.h), so it asks for no locks or row versions. The SELECT
    // is sent once, with SQLExecDirect: a prepare of its own would cost
    // MariaDB's driver a round trip for a statement that runs once.
    impl_->result.emplace(stmt.Execute(sql, [](Statement& s) { s.UseStaticReadOnlyCursor(); }));
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

bool CRecordset::OpenWithoutRows() {
    if (impl_->open) Close();
    if (session_ == nullptr) throw CDBException::Layer(LayerError::NoStatementHandle);
    impl_->result.reset();
    selectText_.clear();
    // With no result to fetch from, the record set stands at its end.
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
    impl_->result = std::move(previous.impl_->result);
    previous.impl_->result.reset();
    previous.Close();
    Statement& stmt = *impl_->stmt;
    // A driver that ran the first SELECT alone fails here.
    if (!impl_->result || !impl_->result->NextResult()) stmt.Fail(SQL_ERROR);
    StartReading();
    return true;
}

void CRecordset::MoveNext() {
    if (endOfSet_) throw CDBException::Layer(LayerError::MovePastEnd);
    Fetch();
}

void CRecordset::Fetch() {
    Impl& m = *impl_;
    if (!m.open || !m.stmt || m.stmt->get() == SQL_NULL_HSTMT || !m.result) {
        endOfSet_ = true;
        return;
    }
    Result& result = *m.result;
    if (!result.Next()) {
        endOfSet_ = true;
        return;
    }
    if (const std::optional<CDBException> warnings = result.FetchWarnings()) {
        if (warnings->HasState("01004")) throw CDBException::Layer(LayerError::DataTruncated);
        if (warnings->HasState("01S01")) throw CDBException::Layer(LayerError::RowError);
    }

    // The columns are read one by one in their order, none bound: a text
    // column comes in pieces, so no length of text is ever cut.
    int column = 0;
    for (BoundField& f : m.fields) {
        const FieldBinding& b = f.binding;
        ++column;
        f.dirty = false;
        Value v = NullValue(b.kind);
        std::optional<Value> read = ReadColumn(result, column, b.kind);
        f.rowNull = !read.has_value();
        if (read) v = std::move(*read);
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

namespace {

// The WHERE of a searched statement that names one row, with its parameters.
struct RowCondition {
    std::string where;  // " WHERE ..." (empty when no field names the row)
    std::deque<Param> params;
};

// The fields that name a row in the WHERE of an UPDATE: the declared primary
// key when every one of its columns is bound; otherwise every bound field.
std::vector<std::size_t> KeyFields(CDatabase& session, const std::string& table, const std::vector<BoundField>& fields) {
    const CDatabase::KeyColumns declared = PrimaryKeyOf(session, table);
    std::vector<std::size_t> key;
    bool complete = declared.has_value() && !declared->empty();
    for (const std::string& column : declared.value_or(std::vector<std::string>())) {
        bool found = false;
        for (std::size_t i = 0; i < fields.size() && !found; ++i) {
            if (UpperAscii(fields[i].binding.column) == column) {
                key.push_back(i);
                found = true;
            }
        }
        complete = complete && found;
    }
    if (complete) return key;
    key.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) key.push_back(i);
    return key;
}

// The current row as the fetch read it, by its key fields, compared so that
// the stored row is found again although the fetch rounded it: a date-time by
// the whole second it falls in (the fetch drops fractions, and another
// program may have stored them), a floating value within a relative 1e-6 (a
// REAL or FLOAT column widened to double is not equal to the double the
// driver converted from its text), a NULL as IS NULL, an empty text as an
// empty text. A field holding no finite number names nothing.
RowCondition ComposeRowCondition(const std::vector<BoundField>& fields, const std::vector<std::size_t>& key) {
    RowCondition row;
    for (std::size_t i : key) {
        const BoundField& f = fields[i];
        const std::string column = f.binding.column;
        std::string condition;
        if (f.rowNull) {
            condition = column + " IS NULL";
        } else {
            switch (f.binding.kind) {
                case FieldKind::Text:
                    condition = column + "=?";
                    row.params.push_back(Param::Text(std::get<std::string>(f.rowValue)));
                    break;
                case FieldKind::Integer:
                    condition = column + "=?";
                    row.params.push_back(Param::Integer(std::get<int>(f.rowValue)));
                    break;
                case FieldKind::Floating: {
                    double v = std::get<double>(f.rowValue);
                    if (!std::isfinite(v)) continue;
                    double tolerance = std::fabs(v) * kFloatTolerance;
                    condition = column + " BETWEEN ? AND ?";
                    row.params.push_back(Param::Floating(v - tolerance));
                    row.params.push_back(Param::Floating(v + tolerance));
                    break;
                }
                case FieldKind::DateTime: {
                    // Every time within the second the fetch read: from the
                    // whole second (which sorts first also as SQLite's text)
                    // to its last microsecond, the finest the servers store.
                    const SQL_TIMESTAMP_STRUCT stamp = StampOf(*std::get<DateTimeField>(f.rowValue));
                    condition = column + ">=? AND " + column + "<=?";
                    row.params.push_back(Param::StampBound(StampText(stamp, ""), 0));
                    row.params.push_back(Param::StampBound(StampText(stamp, ".999999"), 6));
                    break;
                }
            }
        }
        row.where += (row.where.empty() ? " WHERE " : " AND ") + condition;
    }
    return row;
}

}  // namespace

void CRecordset::UpdateEdit() {
    Impl& m = *impl_;
    if (!m.keyKnown) {
        m.key = KeyFields(*session_, m.table, m.fields);
        m.keyKnown = true;
    }
    const RowCondition row = ComposeRowCondition(m.fields, m.key);

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
    sql += row.where;
    params.insert(params.end(), row.params.begin(), row.params.end());

    // Before writing, the rows the WHERE names are counted: none is "no row
    // affected", more than one "more than one row affected", and nothing is
    // written in either case, so two identical rows of a table without a key
    // are never both changed. After the UPDATE a count of 0 is taken at its
    // word only when the row is gone: MariaDB counts only rows whose values
    // changed, so an UPDATE that writes the values already stored answers 0
    // there although its row exists.
    const std::string countSql = "SELECT COUNT(*) FROM " + m.table + row.where;
    auto countRows = [&] {
        std::deque<Param> copy = row.params;
        return CountWith(*session_, countSql, copy);
    };
    long long matching = countRows();
    if (matching == 0) throw CDBException::Layer(LayerError::NoRowAffected);
    if (matching > 1) throw CDBException::Layer(LayerError::MoreThanOneRowAffected);

    Statement stmt(*session_);
    const long long rows = ExecuteWith(stmt, sql, params).AffectedRows();
    if (rows > 1) throw CDBException::Layer(LayerError::MoreThanOneRowAffected);
    if (rows == 0 && countRows() != 1) throw CDBException::Layer(LayerError::NoRowAffected);
}

#pragma once
// The record-set layer: one statement over one table, bound typed fields,
// forward reading and writing of one new or changed row.
//
// Rows are read with a forward static read-only cursor and written with
// statements of their own, never through the cursor: a plain INSERT, and a
// searched UPDATE whose WHERE names the row by the table's declared primary
// key (every bound column when the key is not all bound), with the values
// the fetch read compared as the fetch rounded them. The rows the WHERE names
// are counted first: anything but one writes nothing and fails. Queued new
// rows are sent per column list as one INSERT with column-wise parameter
// arrays; a driver that refuses arrays gets one execution per row.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/db_exception.h"
#include "db/field_kind.h"
#include "db/session.h"
#include "db/wall_clock.h"

class Statement;

// A date-time field: the stored wall-clock time, nullopt for NULL.
using DateTimeField = std::optional<WallClock>;

// One bound column as a derived class declares it: the column name, its kind
// and the member that holds its value (std::string, int, double, DateTimeField).
struct FieldBinding {
    std::string column;
    FieldKind kind;
    void* value;
};

// Null markers: what a field holds after fetching a NULL column.
namespace NullMarker {
inline constexpr int Integer = 1246576928;  // 0x4A4D4120
inline constexpr double Floating = -9.123e19;
inline constexpr DateTimeField DateTime{};  // told apart from every instant
}  // namespace NullMarker

// Base of CSite and CSiteChan. A derived class supplies its table name and its
// column list; users set Filter, Open, read with IsEndOfSet/MoveNext, and write
// one row with BeginInsert or BeginEdit, assigning fields, then Update.
// Between QueueInserts and FlushInserts, an Update after BeginInsert keeps
// the new row instead of sending it, and FlushInserts sends all kept rows
// together (see recordset.cpp).
class CRecordset : public SessionUser {
public:
    explicit CRecordset(CDatabase* session);
    virtual ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    std::string Filter;  // appended after " WHERE " when not empty
    std::string Sort;    // appended after " ORDER BY " when not empty
    std::string RowLock; // appended last when not empty: a clause such as "for
                         // update" that locks the rows read until the
                         // transaction ends

    bool Open();
    // Opens the record set on no rows without sending its SELECT, for a
    // caller that knows the SELECT would find none and only inserts rows.
    bool OpenWithoutRows();
    // Opens this record set and `next` with one request, for a driver that
    // sends a batch of statements as one (PostgreSQL's): this SELECT, then
    // next's, in one text. This one stands on its first row; once it has
    // been read, next.OpenNextResult(*this) reads the second result. The
    // second SELECT runs after the first one has ended, so it sees what the
    // first one waited for.
    bool OpenBatch(CRecordset& next);
    // Reads the next result of the batch `previous` sent (see OpenBatch),
    // taking over its statement; `previous` is closed. Throws CDBException,
    // with the driver's text when that SELECT failed.
    bool OpenNextResult(CRecordset& previous);
    bool IsOpen() const;
    bool IsEndOfSet() const { return endOfSet_; }
    bool IsBeginOfSet() const { return beginOfSet_; }
    void MoveNext();
    void BeginInsert();
    void BeginEdit();
    bool Update();
    void Close();

    // From now on, rows written by BeginInsert and Update are kept, not sent:
    // Update answers as it would, and the row written does not become the
    // current row (the record set stays where it was).
    void QueueInserts();
    // Sends the kept rows, one INSERT with an array of parameter rows per
    // column list (rows whose NULL fields differ have different lists), in
    // the order the lists first came, and stops keeping rows. A failure of
    // any row fails its whole INSERT: CDBException with the driver's
    // diagnostics; the kept rows are dropped either way. A driver without
    // parameter arrays gets one execution per row.
    void FlushInserts();

    // The SELECT text the last Open (or ReadTextColumn) sent; of a batch,
    // this record set's own SELECT.
    const std::string& SelectText() const { return selectText_; }
    // The SELECT text Open sends: every bound column, the table, Filter, Sort,
    // RowLock.
    std::string ComposeSelectText();
    // Sends the statement Open sends and answers one text column (by binding
    // position) of every row, fetched with a bound row array; NULL reads as
    // empty. No text is cut: the buffers follow the described column size,
    // and a longer text makes the read run once more with wider buffers.
    // Leaves the record set closed. Throws CDBException.
    std::vector<std::string> ReadTextColumn(std::size_t fieldIndex);

    virtual std::string DefaultConnect() const = 0;
    virtual std::string DefaultSql() const = 0;

protected:
    // The bound columns in binding order. Called once, at Open.
    virtual std::vector<FieldBinding> BindColumns() = 0;
    // Runs after every fetch, for per-class rules on the fetched values.
    virtual void AfterFetch() {}

private:
    void SessionClosing() override;       // called by CDatabase::Close under the lock
    void SessionReconnecting() override;  // called by CDatabase before it connects again

    struct Impl;
    // The steps of opening: the statement made ready, the SELECT sent, the
    // fields made and the first row fetched.
    Statement& ReadyStatement();
    void ExecuteSelect(Statement& stmt, const std::string& sql);
    void StartReading();
    void Fetch();
    void UpdateInsert();
    void QueueInsert();
    void UpdateEdit();

    CDatabase* session_;
    std::unique_ptr<Impl> impl_;
    std::string selectText_;
    bool beginOfSet_ = true;
    bool endOfSet_ = true;
};

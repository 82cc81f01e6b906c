#pragma once
// What a statement answers: its rows read one at a time, each column as the
// kind asked for with NULL told apart, its row count and its description.

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/db_exception.h"
#include "db/described_column.h"
#include "db/row_block.h"
#include "db/wall_clock.h"

class Connection;

// One text column of a block of rows, as TextsInBlocks reads it.
struct ColumnTexts {
    std::vector<std::string> texts;  // NULL reads as empty
    std::size_t needed = 0;          // bytes the longest cut text needs; 0 when none was cut
};

// The result of one execution of a Statement (see Statement::Execute), read
// on the statement's handle, which must outlive it. Every call repeats while
// the driver is still executing and throws CDBException with the
// statement's diagnostics when it fails. Columns are numbered from 1.
class Result {
public:
    Result(SQLHSTMT stmt, const Connection& session, SQLRETURN executed)
        : stmt_(stmt), session_(&session), executed_(executed) {}

    // False for a searched statement that touched no row (SQL_NO_DATA).
    bool Touched() const { return executed_ != SQL_NO_DATA; }
    // Rows the statement wrote, -1 when the driver gives no count.
    long long AffectedRows() const;
    // The number of result columns; 0 for a statement that returns no rows.
    int ColumnCount() const;
    // What the driver describes of a column; throws when it cannot tell.
    DescribedColumn Describe(int column) const;

    // Fetches the next row: false past the last one.
    bool Next();
    // The diagnostics the last fetch came with (SUCCESS_WITH_INFO), or
    // nullopt when it came without.
    std::optional<CDBException> FetchWarnings() const;
    // Moves on to the result of the next statement of a batch: false when
    // the batch has no further result; throws when that statement failed.
    bool NextResult();
    // Consumes every row of every result, so that the statement ends clean;
    // a fetch that fails while discarding is not the statement's failure.
    void Discard();

    // A column of the fetched row, nullopt for NULL. Text is read whole, in
    // pieces, whatever its length. A number or date-time cut to fit its type
    // (01004) is a layer error (DataTruncated). A date-time drops fractions
    // of a second.
    std::optional<std::string> Text(int column);
    std::optional<long long> Int64(int column);
    std::optional<int> Int32(int column);
    std::optional<double> Number(int column);
    std::optional<WallClock> DateTime(int column);

    // Reads `column` of every remaining row as text, fetched in blocks of
    // `blockRows` rows bound as arrays of `width`-byte slots. A row the
    // driver marks failed is a layer error (RowError).
    ColumnTexts TextsInBlocks(int column, std::size_t width, std::size_t blockRows);

    // Reads every remaining row in blocks of `blockRows` rows, column
    // firstColumn + i bound as kinds[i] (a text in slots of widths[i] bytes, its terminating
    // zero included), and hands each block to `take`. Answers per column the
    // bytes a text longer than its slot needs, 0 where none was cut: from
    // the block that cut one on nothing more is handed on, and the caller
    // reads again with wider slots. A row the driver marks failed is a layer
    // error (RowError), a number or date-time cut to fit (01004) DataTruncated.
    std::vector<std::size_t> RowsInBlocks(const std::vector<FieldKind>& kinds, const std::vector<std::size_t>& widths,
                                          std::size_t blockRows, const std::function<void(const RowBlock&)>& take,
                                          int firstColumn = 1);

private:
    // Reads a fixed-size column; false for NULL.
    bool Fixed(int column, SQLSMALLINT cType, void* value, SQLLEN size);

    // Throws when the call failed, with the statement's diagnostics.
    void Check(SQLRETURN rc) const;

    SQLHSTMT stmt_;
    const Connection* session_;
    SQLRETURN executed_;
    SQLRETURN lastFetch_ = SQL_SUCCESS;
};

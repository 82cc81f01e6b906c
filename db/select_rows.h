#pragma once
// Reading the rows of one query with NULL told apart from every value, for
// programs that must see the catalogue as it is stored.

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "db/field_kind.h"
#include "db/wall_clock.h"

class CDatabase;
class RowBlock;


// One column's value; std::monostate for NULL.
using CellValue = std::variant<std::monostate, std::string, double, WallClock>;
using ValueRow = std::vector<CellValue>;

// Runs one SELECT on the session and answers every row. Column i is read as
// kinds[i] (an integer as a double); columns beyond the list are read as text. Texts are read whole,
// whatever their length. Throws CDBException when the query fails.
std::vector<ValueRow> SelectRows(const CDatabase& session, const std::string& sql,
                                 const std::vector<FieldKind>& kinds = {});

// As SelectRows, but hands each row to `take` as it is fetched instead of
// keeping them all: a whole table is read in the memory of one row.
void ForEachRow(const CDatabase& session, const std::string& sql, const std::vector<FieldKind>& kinds,
                const std::function<void(ValueRow&)>& take);

// As ForEachRow, but the rows are fetched in blocks of bound columns and
// each block handed to `take` (column i read as kinds[i]): no call to the
// driver per value. A text column is bound as wide as the driver describes
// it; when a text is longer (SQLite keeps any length), `restart` is called
// and the query sent once more with slots that hold it, so `take` sees
// every row again from the first.
void ForEachBlock(const CDatabase& session, const std::string& sql, const std::vector<FieldKind>& kinds,
                  const std::function<void(const RowBlock&)>& take, const std::function<void()>& restart);

// The rows of each result of a batch of SELECTs sent as one request (for a
// driver that takes several statements in one text, PostgreSQL's): result
// i's columns read as kinds[i]. Throws CDBException when one fails.
std::vector<std::vector<ValueRow>> SelectBatchRows(const CDatabase& session, const std::string& sql,
                                                   const std::vector<std::vector<FieldKind>>& kinds);

// The value as the type asked for, nullopt for NULL (or another kind).
std::optional<std::string> TextOf(const CellValue& value);
std::optional<double> NumberOf(const CellValue& value);
std::optional<WallClock> DateTimeOf(const CellValue& value);

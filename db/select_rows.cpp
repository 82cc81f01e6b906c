#include "db/select_rows.h"

#include "db/session.h"
#include "db/statement.h"

namespace {

// One column of the current row as text, read in pieces so that no length is
// assumed.
CellValue ReadText(const Statement& stmt, SQLUSMALLINT column) {
    std::string value;
    char piece[512];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt.get(), column, SQL_C_CHAR, piece, sizeof piece, &indicator);
        if (rc == SQL_NO_DATA) break;
        stmt.Check(rc);
        if (indicator == SQL_NULL_DATA) return std::monostate{};
        // A truncated piece fills the buffer less its terminator; a complete
        // one holds exactly `indicator` bytes.
        const bool truncated =
            rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= SQLLEN(sizeof piece));
        value.append(piece, truncated ? sizeof piece - 1 : static_cast<std::size_t>(indicator));
        if (!truncated) break;
    }
    return value;
}

CellValue ReadNumber(const Statement& stmt, SQLUSMALLINT column) {
    double value = 0;
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt.get(), column, SQL_C_DOUBLE, &value, sizeof value, &indicator);
    stmt.Check(rc);
    if (indicator == SQL_NULL_DATA) return std::monostate{};
    return value;
}

CellValue ReadDateTime(const Statement& stmt, SQLUSMALLINT column) {
    SQL_TIMESTAMP_STRUCT stamp{};
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt.get(), column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &indicator);
    stmt.Check(rc);
    if (indicator == SQL_NULL_DATA) return std::monostate{};
    return WallClock{stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second};
}

}  // namespace

std::vector<ValueRow> SelectRows(const CDatabase& session, const std::string& sql,
                                 const std::vector<ColumnKind>& kinds) {
    std::vector<ValueRow> rows;
    ForEachRow(session, sql, kinds, [&rows](ValueRow& row) { rows.push_back(std::move(row)); });
    return rows;
}

namespace {

// Hands each row of the statement's current result to `take`.
void ReadResult(Statement& stmt, const std::vector<ColumnKind>& kinds, const std::function<void(ValueRow&)>& take) {
    SQLSMALLINT columns = 0;
    stmt.Check(SQLNumResultCols(stmt.get(), &columns));
    ValueRow row;
    row.reserve(static_cast<size_t>(columns));
    while (columns > 0 && stmt.Fetch() != SQL_NO_DATA) {
        row.clear();
        for (SQLSMALLINT c = 1; c <= columns; ++c) {
            const auto column = static_cast<SQLUSMALLINT>(c);
            const ColumnKind kind = static_cast<size_t>(c) <= kinds.size() ? kinds[c - 1] : ColumnKind::Text;
            switch (kind) {
                case ColumnKind::Text: row.push_back(ReadText(stmt, column)); break;
                case ColumnKind::Number: row.push_back(ReadNumber(stmt, column)); break;
                case ColumnKind::DateTime: row.push_back(ReadDateTime(stmt, column)); break;
            }
        }
        take(row);
    }
}

}  // namespace

void ForEachRow(const CDatabase& session, const std::string& sql, const std::vector<ColumnKind>& kinds,
                const std::function<void(ValueRow&)>& take) {
    Statement stmt(session);
    if (stmt.Execute(sql) == SQL_NO_DATA) return;
    ReadResult(stmt, kinds, take);
}

std::vector<std::vector<ValueRow>> SelectBatchRows(const CDatabase& session, const std::string& sql,
                                                   const std::vector<std::vector<ColumnKind>>& kinds) {
    std::vector<std::vector<ValueRow>> results(kinds.size());
    Statement stmt(session);
    // SQL_NO_DATA answers a first statement that touched no row; the
    // results of the others still follow.
    bool rows = stmt.Execute(sql) != SQL_NO_DATA;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (i > 0) {
            if (!stmt.NextResult()) break;
            rows = true;
        }
        if (rows) ReadResult(stmt, kinds[i], [&](ValueRow& row) { results[i].push_back(row); });
    }
    return results;
}

std::optional<std::string> TextOf(const CellValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return std::nullopt;
}

std::optional<double> NumberOf(const CellValue& value) {
    if (const auto* number = std::get_if<double>(&value)) return *number;
    return std::nullopt;
}

std::optional<WallClock> DateTimeOf(const CellValue& value) {
    if (const auto* stamp = std::get_if<WallClock>(&value)) return *stamp;
    return std::nullopt;
}

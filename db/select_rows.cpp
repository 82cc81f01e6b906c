#include "db/select_rows.h"

#include <algorithm>
#include <utility>

#include "db/result.h"
#include "db/session.h"
#include "db/statement.h"

std::vector<ValueRow> SelectRows(const CDatabase& session, const std::string& sql,
                                 const std::vector<FieldKind>& kinds) {
    std::vector<ValueRow> rows;
    ForEachRow(session, sql, kinds, [&rows](ValueRow& row) { rows.push_back(std::move(row)); });
    return rows;
}

namespace {

// Hands each row of the result's current statement to `take`.
void ReadResult(Result& result, const std::vector<FieldKind>& kinds, const std::function<void(ValueRow&)>& take) {
    const int columns = result.ColumnCount();
    ValueRow row;
    row.reserve(static_cast<size_t>(columns));
    // A column read as NULL is std::monostate: the value type's first alternative.
    const auto cell = [](auto value) { return value ? CellValue(std::move(*value)) : CellValue(); };
    while (columns > 0 && result.Next()) {
        row.clear();
        for (int c = 1; c <= columns; ++c) {
            const FieldKind kind = static_cast<size_t>(c) <= kinds.size() ? kinds[c - 1] : FieldKind::Text;
            switch (kind) {
                case FieldKind::Text: row.push_back(cell(result.Text(c))); break;
                case FieldKind::Integer:
                case FieldKind::Floating: row.push_back(cell(result.Number(c))); break;
                case FieldKind::DateTime: row.push_back(cell(result.DateTime(c))); break;
            }
        }
        take(row);
    }
}

}  // namespace

void ForEachRow(const CDatabase& session, const std::string& sql, const std::vector<FieldKind>& kinds,
                const std::function<void(ValueRow&)>& take) {
    Statement stmt(session);
    Result result = stmt.Execute(sql);
    if (!result.Touched()) return;
    ReadResult(result, kinds, take);
}

namespace {

// Rows fetched in one block, and the most bytes a text slot starts with
// per character of its described size (UTF-8) and in all.
constexpr std::size_t kBlockRows = 256;
constexpr std::size_t kBytesPerChar = 4;
constexpr SQLULEN kFirstWidthChars = 1024;

}  // namespace

void ForEachBlock(const CDatabase& session, const std::string& sql, const std::vector<FieldKind>& kinds,
                  const std::function<void(const RowBlock&)>& take, const std::function<void()>& restart) {
    Statement stmt(session);
    std::vector<std::size_t> widths;
    for (;;) {
        Result result = stmt.Execute(sql);
        if (!result.Touched()) return;
        if (widths.empty()) {
            widths.resize(kinds.size(), 0);
            for (std::size_t i = 0; i < kinds.size(); ++i)
                if (kinds[i] == FieldKind::Text)
                    widths[i] = std::clamp<SQLULEN>(result.Describe(static_cast<int>(i + 1)).size, 1,
                                                    kFirstWidthChars) * kBytesPerChar + 1;
        }
        const std::vector<std::size_t> needed = result.RowsInBlocks(kinds, widths, kBlockRows, take);
        if (std::all_of(needed.begin(), needed.end(), [](std::size_t n) { return n == 0; })) return;
        for (std::size_t i = 0; i < kinds.size(); ++i) widths[i] = std::max(widths[i], needed[i]);
        restart();
        stmt.CloseCursor();
    }
}

std::vector<std::vector<ValueRow>> SelectBatchRows(const CDatabase& session, const std::string& sql,
                                                   const std::vector<std::vector<FieldKind>>& kinds) {
    std::vector<std::vector<ValueRow>> results(kinds.size());
    Statement stmt(session);
    Result result = stmt.Execute(sql);
    // A first statement that touched no row has no rows; the results of the
    // others still follow.
    bool rows = result.Touched();
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (i > 0) {
            if (!result.NextResult()) break;
            rows = true;
        }
        if (rows) ReadResult(result, kinds[i], [&](ValueRow& row) { results[i].push_back(row); });
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

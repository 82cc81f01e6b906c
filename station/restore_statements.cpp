#include "station/restore_statements.h"

#include <charconv>
#include <cmath>
#include <span>

#include "db/sql_text.h"

namespace {

using catalogue::Column;
using catalogue::Kind;

std::string NumberLiteral(double value, Kind kind) {
    if (std::isnan(value)) return "'NaN'";
    if (std::isinf(value)) return value > 0 ? "'Infinity'" : "'-Infinity'";
    if (kind == Kind::Integer && value == std::trunc(value) && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    // Scientific notation: MariaDB reads a literal with an exponent as a
    // double, one without as an exact decimal.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    return std::string(buffer, result.ptr);
}

std::string Literal(const CellValue& value, Kind kind) {
    if (std::holds_alternative<std::monostate>(value)) return "NULL";
    if (const auto* text = std::get_if<std::string>(&value)) return SqlQuote(*text);
    if (const auto* stamp = std::get_if<WallClock>(&value)) return "{ts " + SqlQuote(WallClockText(*stamp)) + "}";
    return NumberLiteral(std::get<double>(value), kind);
}

std::string ValuesOf(const ValueRow& row, std::span<const Column> columns) {
    std::string values = "(";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) values += ',';
        values += Literal(i < row.size() ? row[i] : CellValue{}, columns[i].kind);
    }
    return values + ")";
}

std::string InsertHead(std::string_view table, std::span<const Column> columns) {
    std::string sql = "insert into " + std::string(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) sql += ',';
        sql += columns[i].name;
    }
    return sql + ") values ";
}

}  // namespace

std::vector<std::string> RestoreStatements(const ExactStation& rows) {
    std::vector<std::string> statements;
    if (rows.site)
        statements.push_back(InsertHead("SITE", catalogue::kSiteColumns) +
                             ValuesOf(*rows.site, catalogue::kSiteColumns));
    if (!rows.channels.empty()) {
        std::string sql = InsertHead("SITECHAN", catalogue::kSiteChanColumns);
        for (std::size_t i = 0; i < rows.channels.size(); ++i) {
            if (i > 0) sql += ',';
            sql += ValuesOf(rows.channels[i], catalogue::kSiteChanColumns);
        }
        statements.push_back(std::move(sql));
    }
    return statements;
}

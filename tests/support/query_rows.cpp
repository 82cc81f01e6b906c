#include "tests/support/query_rows.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "db/select_rows.h"
#include "db/session.h"

namespace {

[[noreturn]] void Fail(const std::string& sql, const std::string& what) {
    ADD_FAILURE() << "query failed: " << sql << "\n" << what;
    throw std::runtime_error("query failed: " + sql + "\n" + what);
}

}  // namespace

std::vector<TextRow> QueryRows(const CDatabase& session, const std::string& sql) {
    if (!session.IsOpen()) Fail(sql, "the session is not open");
    std::vector<TextRow> rows;
    try {
        for (const ValueRow& values : SelectRows(session, sql)) {
            TextRow row;
            for (const CellValue& value : values) row.push_back(TextOf(value));
            rows.push_back(std::move(row));
        }
    } catch (const CDBException& e) {
        Fail(sql, e.ErrorText + e.StateText);
    }
    return rows;
}

std::optional<std::string> QueryValue(const CDatabase& session, const std::string& sql) {
    auto rows = QueryRows(session, sql);
    if (rows.empty() || rows[0].empty()) return std::nullopt;
    return rows[0][0];
}

long CountRows(const CDatabase& session, const std::string& table, const std::string& where) {
    const std::string sql = "select count(*) from " + table + (where.empty() ? "" : " where " + where);
    const auto value = QueryValue(session, sql);
    if (!value) Fail(sql, "no count answered");
    try {
        return std::stol(*value);
    } catch (const std::exception&) {
        Fail(sql, "the count is no number: " + *value);
    }
}

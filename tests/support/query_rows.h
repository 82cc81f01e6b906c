#pragma once
// Reading a query's result as text, for tests that check what a database holds.

#include <optional>
#include <string>
#include <vector>

class CDatabase;

// One row: each column as text, nullopt for NULL.
using TextRow = std::vector<std::optional<std::string>>;

// Runs the query on the session and answers every row. Fails the test (and
// throws) when the query cannot run.
std::vector<TextRow> QueryRows(const CDatabase& session, const std::string& sql);

// The first column of the first row, nullopt for NULL or no row.
std::optional<std::string> QueryValue(const CDatabase& session, const std::string& sql);

// count(*) of a table with an optional WHERE condition.
long CountRows(const CDatabase& session, const std::string& table, const std::string& where = {});

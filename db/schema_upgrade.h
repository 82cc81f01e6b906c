#pragma once
// Brings the 36 schema columns up to date at every start, with ALTER TABLE
// statements worded for the database product behind the session.

#include <functional>
#include <span>
#include <string>

class CDatabase;

// The class of database product that words the ALTER TABLE statements.
enum class DbmsKind { Generic = 0, Microsoft = 1, Oracle = 2, MySql = 3, Postgres = 4, SQLite = 5 };

// One entry of the schema column list. A type of nullptr stands for the
// date-time type of the product.
struct SchemaColumn {
    const char* table;
    const char* column;
    const char* type;
};

// The 36 columns, in the order they are applied.
std::span<const SchemaColumn> SchemaColumns();

// Shows one failure message to the user (the program: a stop box).
using FailureReporter = std::function<void(const std::string& message)>;

// Classifies an upper- or mixed-case product name as SQL_DBMS_NAME gives it.
DbmsKind ClassifyDbmsName(const std::string& dbmsName);
// Asks the session's driver for the product name and classifies it.
DbmsKind DetectDbmsKind(const CDatabase& session);
// The type ONDATE and OFFDATE are declared with for that kind.
const char* DateTimeType(DbmsKind kind);
// True when "select <column> from <table> where 1=0" runs.
bool ColumnExists(const CDatabase& session, const std::string& table, const std::string& column);
// The statement that adds or re-declares the column; empty when nothing is
// to be sent (an existing column on SQLite).
std::string AlterStatement(DbmsKind kind, bool columnExists, const std::string& table,
                           const std::string& column, const std::string& type);
// Adds or re-declares one column; on failure reports the message and answers false.
bool AddOrAlterColumn(CDatabase& session, DbmsKind kind, const std::string& table, const std::string& column,
                      const std::string& type, const FailureReporter& report);
// The whole list, in order; failures are reported one by one and the list goes on.
void UpgradeSchema(CDatabase& session, const FailureReporter& report);

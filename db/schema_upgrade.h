#pragma once
// Brings the 36 schema columns up to date at every start, with ALTER TABLE
// statements worded for the database product behind the session. A column
// that already has its listed type is left alone.

#include <sql.h>

#include <functional>
#include <optional>
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
// What the driver describes of a column test's one result column.
struct DescribedColumn {
    SQLSMALLINT dataType = 0;   // SQL type code (SQLDescribeCol)
    SQLULEN size = 0;           // column size: characters for a text type
    SQLSMALLINT decimals = 0;   // decimal digits: fractional-second digits of a timestamp
    std::string typeName;       // the driver's type name (SQL_DESC_TYPE_NAME)
    bool isUnsigned = false;    // SQL_DESC_UNSIGNED
};

// The outcome of one column test.
struct ColumnTestResult {
    bool exists = false;
    std::optional<DescribedColumn> described;  // nullopt when it could not be read
};

// Runs "select <column> from <table> where 1=0": the column exists when it
// runs, and its result column describes the column's type.
ColumnTestResult TestColumn(const CDatabase& session, const std::string& table, const std::string& column);
// True when "select <column> from <table> where 1=0" runs.
bool ColumnExists(const CDatabase& session, const std::string& table, const std::string& column);
// True when the described column has the listed type as the product's driver
// reports it; false when it differs or the product's answers are not known.
bool HasListedType(DbmsKind kind, const DescribedColumn& described, const std::string& type);
// The statement that adds or re-declares the column; empty when nothing is
// to be sent (an existing column on SQLite).
std::string AlterStatement(DbmsKind kind, bool columnExists, const std::string& table,
                           const std::string& column, const std::string& type);
// Adds a missing column or re-declares one whose type differs (or cannot be
// read); on failure reports the message and answers false.
bool AddOrAlterColumn(CDatabase& session, DbmsKind kind, const std::string& table, const std::string& column,
                      const std::string& type, const FailureReporter& report);
// The whole list, in order; failures are reported one by one and the list goes on.
void UpgradeSchema(CDatabase& session, const FailureReporter& report);

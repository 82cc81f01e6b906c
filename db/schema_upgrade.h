#pragma once
// Brings the 36 schema columns up to date at every start, with ALTER TABLE
// statements worded for the database product behind the session. A column
// that already has its listed type is left alone.

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "db/db_exception.h"
#include "db/dialect.h"

class CDatabase;

// One entry of the schema column list. A type of nullptr stands for the
// date-time type of the product.
struct SchemaColumn {
    const char* table;
    const char* column;
    const char* type;
};

// The 36 columns, in the order they are applied.
std::span<const SchemaColumn> SchemaColumns();

// A column the upgrade could not add or re-declare: which one, and the
// driver's failure (its text, states and codes) as a CDBException.
class ColumnUpgradeFailure : public CDBException {
public:
    ColumnUpgradeFailure(std::string table, std::string column, const CDBException& cause)
        : CDBException(cause), Table(std::move(table)), Column(std::move(column)) {}
    std::string Table;
    std::string Column;
};

// Takes one failure as it happens (the program words it and shows it).
using FailureReporter = std::function<void(const ColumnUpgradeFailure& failure)>;

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
// Adds a missing column or re-declares one whose type differs (or cannot be
// read); on failure reports the message and answers false.
bool AddOrAlterColumn(CDatabase& session, const std::string& table, const std::string& column,
                      const std::string& type, const FailureReporter& report);
// The whole list, in order; failures are reported one by one and the list goes on.
void UpgradeSchema(CDatabase& session, const FailureReporter& report);

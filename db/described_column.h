#pragma once
// What the driver describes of a result column.

#include <sql.h>

#include <string>

// What the driver describes of a result column (SQLDescribeCol, SQLColAttribute).
struct DescribedColumn {
    SQLSMALLINT dataType = 0;   // SQL type code (SQLDescribeCol)
    SQLULEN size = 0;           // column size: characters for a text type
    SQLSMALLINT decimals = 0;   // decimal digits: fractional-second digits of a timestamp
    std::string typeName;       // the driver's type name (SQL_DESC_TYPE_NAME)
    bool isUnsigned = false;    // SQL_DESC_UNSIGNED
};

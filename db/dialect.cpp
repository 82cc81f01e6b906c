#include "db/dialect.h"

#include <string>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <utility>

#include <sqlext.h>
#include <sqlucode.h>

namespace {

bool Contains(const std::string& haystack, const char* needle) { return haystack.find(needle) != std::string::npos; }

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The name of the MariaDB writer lock: one per database (a name holds at
// most 64 characters).
constexpr const char* kWriterLockName = "concat('station-editor:', left(ifnull(database(), ''), 48))";
// The key of the PostgreSQL writer lock, "SITE" in ASCII; advisory locks are per database.
constexpr const char* kWriterLockKey = "1397310533";

// How each product's driver describes a column of a listed type, as measured
// on psqlODBC 13 and MariaDB Connector/ODBC 3.1. A listed VARCHAR(n) must also
// report size n. Products without rows here are always re-declared.
// psqlODBC reports an unbounded VARCHAR with the same size as VARCHAR(255)
// (its MaxVarcharSize), so the two read alike; an unbounded column holds
// every value a VARCHAR(255) holds.
struct DescribedAs {
    DbmsKind kind;
    const char* listed;        // the listed type without its length
    SQLSMALLINT dataType;
    const char* typeName;      // lower case
    SQLSMALLINT decimals;      // -1: not compared
    bool signedNumber;         // SQL_DESC_UNSIGNED must answer false
};
constexpr DescribedAs kDescribedAs[] = {
    {DbmsKind::Postgres, "INT", SQL_INTEGER, "int4", 0, true},
    {DbmsKind::Postgres, "VARCHAR", SQL_VARCHAR, "varchar", -1, false},
    {DbmsKind::Postgres, "VARCHAR", SQL_LONGVARCHAR, "varchar", -1, false},  // above MaxVarcharSize
    {DbmsKind::Postgres, "FLOAT", SQL_FLOAT, "float8", -1, true},
    {DbmsKind::Postgres, "TIMESTAMP", SQL_TYPE_TIMESTAMP, "timestamp without time zone", 6, false},
    {DbmsKind::MySql, "INT", SQL_INTEGER, "integer", 0, true},
    {DbmsKind::MySql, "VARCHAR", SQL_VARCHAR, "varchar", -1, false},
    {DbmsKind::MySql, "VARCHAR", SQL_WVARCHAR, "varchar", -1, false},
    {DbmsKind::MySql, "FLOAT", SQL_REAL, "float", -1, true},
    {DbmsKind::MySql, "DATETIME", SQL_TYPE_TIMESTAMP, "datetime", 0, false},
};

// How each product's server tells that it ended the connection, beyond
// SQLSTATE class 08: PostgreSQL's 57P01-57P03; MySQL's server gone away and
// lost during a query (2006, 2013, 2055) and MariaDB Connector/C's read and
// write errors on the socket (5013, 5014: "Write error: Broken pipe" when the
// server ended it).
struct LostConnectionSign {
    DbmsKind kind;
    const char* sqlState;  // nullptr: the native error tells
    long nativeError;
};
constexpr LostConnectionSign kLostConnectionSigns[] = {
    {DbmsKind::Postgres, "57P01", 0},   {DbmsKind::Postgres, "57P02", 0}, {DbmsKind::Postgres, "57P03", 0},
    {DbmsKind::MySql, nullptr, 2006L},  {DbmsKind::MySql, nullptr, 2013L}, {DbmsKind::MySql, nullptr, 2055L},
    {DbmsKind::MySql, nullptr, 5013L},  {DbmsKind::MySql, nullptr, 5014L},
};

bool Shows(const LostConnectionSign& sign, const DiagnosticRecord& r) {
    return sign.sqlState ? r.sqlState == sign.sqlState : r.nativeError == sign.nativeError;
}

// Splits "VARCHAR(6)" into "VARCHAR" and 6; a type without a length gives 0.
std::pair<std::string, SQLULEN> SplitLength(const std::string& type) {
    const size_t open = type.find('(');
    if (open == std::string::npos) return {type, 0};
    return {type.substr(0, open), static_cast<SQLULEN>(std::strtoul(type.c_str() + open + 1, nullptr, 10))};
}

}  // namespace

DbmsKind ClassifyDbmsName(const std::string& dbmsName) {
    // Product names are ASCII; upper-casing them needs no national letters.
    std::string name = dbmsName;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    // Each later word wins over the earlier ones: a name such as POSTGRESQL,
    // which also holds SQL, still ends as Postgres. MariaDB's driver answers
    // "MariaDB", which holds neither MYSQL nor SQL, yet speaks MySQL's
    // dialect. SQLite comes last so that its "SQL" does not make it Microsoft.
    DbmsKind kind = DbmsKind::Generic;
    if (Contains(name, "ACCESS")) kind = DbmsKind::Generic;
    if (Contains(name, "MICROSOFT") || Contains(name, "SQL")) kind = DbmsKind::Microsoft;
    if (Contains(name, "ORACLE")) kind = DbmsKind::Oracle;
    if (Contains(name, "MYSQL") || Contains(name, "MARIADB")) kind = DbmsKind::MySql;
    if (Contains(name, "POSTGRES")) kind = DbmsKind::Postgres;
    if (Contains(name, "SQLITE")) kind = DbmsKind::SQLite;
    return kind;
}

const char* SqlDialect::RowLockClause() const { return kind_ == DbmsKind::SQLite ? "" : "for update"; }

WriterLockStatements SqlDialect::CatalogueWriterLock(int waitSeconds) const {
    switch (kind_) {
        case DbmsKind::SQLite:
            // The SQLite driver begins its transactions deferred: the first
            // writing statement takes the file's write lock, whether or not
            // it touches a row.
            return {{}, "update SITE set STA=STA where 1=0", {}};
        case DbmsKind::Postgres:
            // Held to the transaction's end; each later statement (READ
            // COMMITTED) sees what the writer before committed.
            return {{}, std::string("select pg_advisory_xact_lock(") + kWriterLockKey + ")", {}};
        case DbmsKind::MySql:
            // A lock of the connection, taken before the transaction begins so
            // that its REPEATABLE READ snapshot is taken after it.
            return {std::string("select GET_LOCK(") + kWriterLockName + ", " + std::to_string(waitSeconds) + ")", {},
                    std::string("select RELEASE_LOCK(") + kWriterLockName + ")"};
        case DbmsKind::Generic:
        case DbmsKind::Microsoft:
        case DbmsKind::Oracle:
            break;
    }
    return {};
}

bool SqlDialect::TellsOfLostConnection(const CDBException& failure) const {
    // SQLite names no lost connection of its own; an unknown product may be any.
    const bool known = kind_ == DbmsKind::Postgres || kind_ == DbmsKind::MySql || kind_ == DbmsKind::SQLite;
    for (const DiagnosticRecord& r : failure.Records) {
        if (r.sqlState.rfind("08", 0) == 0) return true;
        for (const LostConnectionSign& sign : kLostConnectionSigns)
            if ((!known || sign.kind == kind_) && Shows(sign, r)) return true;
    }
    return false;
}

std::string SqlDialect::SessionTimeoutStatement(unsigned seconds) const {
    // psqlODBC sends a statement's query timeout to the server as a SET
    // whenever it differs from the one sent last, and runs its own catalog
    // query (the description of a result column) with none: each such
    // description cost a SET to 0 and one back. Set once for the session,
    // the limit holds for every statement and no SET follows.
    if (kind_ != DbmsKind::Postgres) return {};
    return "SET statement_timeout = " + std::to_string(seconds * 1000);
}

std::string SqlDialect::NoBackslashEscapesStatement() const {
    // A MySQL-kind server reads a backslash inside a literal as an escape, so
    // a typed backslash could end a literal early.
    if (kind_ != DbmsKind::MySql) return {};
    return "SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')";
}

std::string SqlDialect::SendableText(std::string_view sql) const {
    if (!backslashEscapes_) return std::string(sql);
    // The text is standard SQL: a quote inside a '...' literal is doubled and
    // a backslash is an ordinary character. Quoted names ("..." and `...`)
    // are copied as they are.
    std::string out;
    out.reserve(sql.size() + 8);
    char quote = 0;  // the quote that opened the literal or name being copied
    for (const char c : sql) {
        if (quote == 0) {
            if (c == '\'' || c == '"' || c == '`') quote = c;
        } else if (c == quote) {
            quote = 0;  // a doubled quote closes and opens again
        } else if (c == '\\' && quote == '\'') {
            out.push_back(c);
        }
        out.push_back(c);
    }
    return out;
}

std::optional<OwnTableWording> SqlDialect::OwnTable() const {
    switch (kind_) {
        case DbmsKind::SQLite:
            return OwnTableWording{"ID integer primary key autoincrement", "text",
                                   "strftime('%Y-%m-%d %H:%M:%f','now')", "NULL", "", "select last_insert_rowid()",
                                   false};
        case DbmsKind::Postgres:
            return OwnTableWording{"ID bigserial primary key", "text",
                                   "to_char(clock_timestamp() at time zone 'UTC','YYYY-MM-DD HH24:MI:SS.US')",
                                   "current_user", "", nullptr, true};
        case DbmsKind::MySql:
            return OwnTableWording{"ID bigint not null auto_increment primary key", "mediumtext",
                                   "date_format(utc_timestamp(6),'%Y-%m-%d %H:%i:%s.%f')",
                                   "substring_index(current_user(),'@',1)",
                                   " character set utf8mb4 collate utf8mb4_bin", nullptr, false};
        case DbmsKind::Microsoft:
        case DbmsKind::Oracle:
        case DbmsKind::Generic:
            break;
    }
    return std::nullopt;
}

const char* SqlDialect::DateTimeType() const {
    // Re-declaring ONDATE and OFFDATE happens at every start, so the type must
    // keep the time of day: PostgreSQL's and MariaDB's DATE would drop it.
    switch (kind_) {
        case DbmsKind::Postgres:
        case DbmsKind::SQLite:
            return "TIMESTAMP";
        case DbmsKind::MySql:
        case DbmsKind::Microsoft:
            return "DATETIME";
        case DbmsKind::Oracle:
        case DbmsKind::Generic:
            break;
    }
    return "DATE";
}

std::string SqlDialect::AlterStatement(bool columnExists, const std::string& table, const std::string& column,
                                    const std::string& type) const {
    std::string verb = "ADD";
    std::string fourth = " ";
    if (columnExists) {
        switch (kind_) {
            case DbmsKind::SQLite:
                // SQLite cannot re-declare a column; an existing one stays.
                return {};
            case DbmsKind::Generic:
                verb = "ALTER";
                break;
            case DbmsKind::Microsoft:
                verb = "ALTER COLUMN";
                break;
            case DbmsKind::Oracle:
            case DbmsKind::MySql:
                verb = "MODIFY";
                break;
            case DbmsKind::Postgres:
                verb = "ALTER";
                fourth = "TYPE";
                break;
        }
    }
    return "ALTER TABLE " + table + " " + verb + " " + column + " " + fourth + " " + type;
}

bool SqlDialect::HasListedType(const DescribedColumn& described, const std::string& type) const {
    const auto [listed, length] = SplitLength(type);
    const std::string typeName = Lower(described.typeName);
    return std::any_of(std::begin(kDescribedAs), std::end(kDescribedAs), [&](const DescribedAs& as) {
        return as.kind == kind_ && listed == as.listed && described.dataType == as.dataType &&
               typeName == as.typeName && (length == 0 || described.size == length) &&
               (as.decimals < 0 || described.decimals == as.decimals) &&
               (!as.signedNumber || !described.isUnsigned);
    });
}

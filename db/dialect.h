#pragma once
// What differs between the database products behind a session, answered by
// one object chosen when the connection opens (from SQL_DBMS_NAME): no other
// file tells products apart.

#include <sql.h>

#include <optional>
#include <string>
#include <string_view>

#include "db/db_exception.h"
#include "db/described_column.h"

// The class of database product.
enum class DbmsKind { Generic = 0, Microsoft = 1, Oracle = 2, MySql = 3, Postgres = 4, SQLite = 5 };

// Classifies an upper- or mixed-case product name as SQL_DBMS_NAME gives it.
DbmsKind ClassifyDbmsName(const std::string& dbmsName);

// The statements around a transaction that keep the catalogue's writers off
// each other; an empty text: nothing to send at that moment.
struct WriterLockStatements {
    std::string beforeBegin;  // a query answering 1 once the lock is held, 0 when the wait ran out
    std::string afterBegin;   // sent right after the transaction began; ends with it
    std::string afterEnd;     // releases what beforeBegin took
};

// How a product words a table of the program's own that keeps an
// increasing id, long texts kept byte for byte, the server's UTC time and
// the database user (the journal of station writes).
struct OwnTableWording {
    const char* idColumn;      // the increasing id's declaration
    const char* longTextType;  // a text of any length
    const char* utcClock;      // the server's time in UTC as "YYYY-MM-DD HH:MM:SS.f..."
    const char* user;          // the database user, or NULL
    const char* tableOptions;  // after the column list: the character set that keeps any text
    const char* lastId;        // the query of the id just inserted, where the driver answers
                               // no rows to "insert ... returning"; else null
    bool batches;              // the driver sends several statements in one text
};

class SqlDialect {
public:
    explicit SqlDialect(DbmsKind kind = DbmsKind::Generic) : kind_(kind) {}
    static SqlDialect ForProductName(const std::string& dbmsName) { return SqlDialect(ClassifyDbmsName(dbmsName)); }

    DbmsKind Kind() const { return kind_; }

    // The clause that follows a SELECT to lock the rows it reads until the
    // transaction ends; empty where the transaction's writer lock already
    // holds the whole file (SQLite).
    const char* RowLockClause() const;
    // True when a locking read of a join would show rows of different
    // moments (PostgreSQL: each table's rows as of the statement start, the
    // locked rows as last committed), so each table is read by a SELECT of its own.
    bool LocksTablesOneByOne() const { return kind_ == DbmsKind::Postgres; }
    // The catalogue writer lock: a wait longer than `waitSeconds` fails.
    WriterLockStatements CatalogueWriterLock(int waitSeconds) const;

    // True when the driver answers SQL_ATTR_CONNECTION_DEAD from its own
    // state (psqlODBC, SQLite); MariaDB's driver pings the server for it.
    bool AnswersConnectionDeadLocally() const { return kind_ != DbmsKind::MySql; }
    // True when a failure's diagnostics tell that the connection is gone:
    // SQLSTATE class 08 on every product, and the product's own states and
    // native errors; a product not told apart here is judged by all of them.
    bool TellsOfLostConnection(const CDBException& failure) const;

    // The statement that makes the server read a backslash inside a literal
    // as an ordinary character, its other modes kept; empty where it already does.
    std::string NoBackslashEscapesStatement() const;
    // The statement that limits every statement of the session, the driver's
    // own included, to `seconds`; empty where each statement carries its
    // limit (SQL_ATTR_QUERY_TIMEOUT) at no cost.
    std::string SessionTimeoutStatement(unsigned seconds) const;
    // The server refused that statement: its literals take doubled backslashes.
    void KeepBackslashEscapes() { backslashEscapes_ = true; }
    bool KeepsBackslashEscapes() const { return backslashEscapes_; }
    // The statement text as this server must read it: where it keeps
    // backslash escapes, each backslash inside a '...' literal is doubled, so
    // that every literal reads back as written (SqlQuote writes standard SQL).
    std::string SendableText(std::string_view sql) const;

    // The wording of a table of the program's own; nullopt for a product
    // whose wording is not known.
    std::optional<OwnTableWording> OwnTable() const;

    // The type ONDATE and OFFDATE are declared with: one that keeps the time of day.
    const char* DateTimeType() const;
    // The statement that adds or re-declares a column; empty when nothing is
    // to be sent (an existing column on SQLite).
    std::string AlterStatement(bool columnExists, const std::string& table, const std::string& column,
                               const std::string& type) const;
    // True when the described column has the listed type as this product's
    // driver reports it; false when it differs or the product's answers are not known.
    bool HasListedType(const DescribedColumn& described, const std::string& type) const;

private:
    DbmsKind kind_;
    bool backslashEscapes_ = false;
};

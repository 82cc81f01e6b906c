// The pool of kept operation sessions on every backend: what one operation
// leaves is not seen by the next, and a connection lost in between is
// replaced inside a transaction too.

#include <gtest/gtest.h>

#include <functional>

#include "db/schema_upgrade.h"
#include "db/session_pool.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"
#include "station/station_queries.h"

namespace {

class SessionPoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(admin.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        CreateStationTables(admin);
    }
    PooledSession Acquire() { return pool.Acquire(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary); }
    static bool Autocommit(const CDatabase& session) {
        SQLULEN on = SQL_AUTOCOMMIT_OFF;
        SQLGetConnectAttr(session.ConnectionHandle(), SQL_ATTR_AUTOCOMMIT, &on, 0, nullptr);
        return on == SQL_AUTOCOMMIT_ON;
    }
    // Ends the server side of the connection the pool keeps idle; false on
    // SQLite, whose file has no server that could end it.
    bool KillIdleConnection() {
        const std::string backend = CurrentBackend().name;
        if (backend == "sqlite") return false;
        const std::string pid = QueryValue(*Acquire(), PidQuery()).value_or("");
        EXPECT_FALSE(pid.empty());
        admin.ExecuteDirect(backend == "postgres" ? "select pg_terminate_backend(" + pid + ")" : "KILL " + pid);
        return true;
    }
    static std::string PidQuery() {
        return CurrentBackend().name == "postgres" ? "select pg_backend_pid()" : "select CONNECTION_ID()";
    }
    CDatabase admin;
    SessionPool pool{DefaultSessionFactory()};
};

}  // namespace

TEST_F(SessionPoolTest, ATransactionLeftOpenIsRolledBackBeforeReuse) {
    SQLHDBC first = SQL_NULL_HDBC;
    {
        PooledSession session = Acquire();
        first = session->ConnectionHandle();
        ASSERT_TRUE(session->BeginTransaction());
        session->ExecuteDirect("insert into SITE (STA, NINDEX) values ('LEFT', 1)");
    }
    PooledSession next = Acquire();
    EXPECT_EQ(next->ConnectionHandle(), first);
    EXPECT_FALSE(next->InTransaction());
    EXPECT_TRUE(Autocommit(*next));
    EXPECT_EQ(CountRows(admin, "SITE", "STA='LEFT'"), 0);
}

TEST_F(SessionPoolTest, AConnectionKilledBetweenOperationsIsReplacedInsideTheTransaction) {
    const std::string backend = CurrentBackend().name;
    if (backend == "sqlite") GTEST_SKIP() << "SQLite has no server to end the connection";
    const std::string pidQuery = backend == "postgres" ? "select pg_backend_pid()" : "select CONNECTION_ID()";
    const std::string pid = QueryValue(*Acquire(), pidQuery).value_or("");
    ASSERT_FALSE(pid.empty());
    admin.ExecuteDirect(backend == "postgres" ? "select pg_terminate_backend(" + pid + ")" : "KILL " + pid);

    PooledSession session = Acquire();
    ASSERT_TRUE(session->BeginTransaction());
    session->ExecuteDirect("insert into SITE (STA, NINDEX) values ('NEW', 1)");
    EXPECT_TRUE(session->InTransaction());
    EXPECT_EQ(CountRows(admin, "SITE", "STA='NEW'"), 0) << "the insert runs inside the transaction";
    EXPECT_TRUE(session->CommitTransaction()) << session->LastTransactionError();
    EXPECT_EQ(CountRows(admin, "SITE", "STA='NEW'"), 1);
    EXPECT_NE(QueryValue(*session, pidQuery).value_or(""), pid);
}

TEST_F(SessionPoolTest, EveryQueryAsAnOperationsFirstStatementReplacesAKilledConnection) {
    if (CurrentBackend().name == "sqlite") GTEST_SKIP() << "SQLite has no server to end the connection";
    admin.ExecuteDirect("insert into SITE (STA, NINDEX) values ('A', 7)");
    // Each query answers as if the connection had never been lost, not with
    // its failure value.
    const struct {
        const char* query;
        std::function<std::string(CDatabase&)> answer;
        const char* expected;
    } cases[] = {
        {"CheckedNextStationIndex", [](CDatabase& s) { return std::to_string(CheckedNextStationIndex(s)); }, "8"},
        {"CheckedStationRowExists",
         [](CDatabase& s) { return std::string(CheckedStationRowExists(s, "SITE", "A") ? "yes" : "no"); }, "yes"},
        {"SelectRows", [](CDatabase& s) { return QueryValue(s, "select NINDEX from SITE where STA='A'").value_or(""); },
         "7"},
        {"TestColumn", [](CDatabase& s) { return std::string(ColumnExists(s, "SITE", "NINDEX") ? "yes" : "no"); },
         "yes"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(KillIdleConnection());
        PooledSession session = Acquire();
        EXPECT_EQ(c.answer(*session), c.expected) << c.query;
    }
}

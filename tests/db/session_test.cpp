// The session against each real database: connecting, statements, errors,
// transactions and the direct queries.

#include <gtest/gtest.h>

#include "db/session.h"
#include "station/station_queries.h"
#include "station/station_recordsets.h"
#include "db/transaction.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"

namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        CreateStationTables(db);
    }
    CDatabase db;
};

}  // namespace

TEST_F(SessionTest, OpenCountsTheConnectionAndCloseReleasesIt) {
    const int before = OdbcEnvironment::ConnectionCount();
    {
        CDatabase second;
        ASSERT_TRUE(second.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        EXPECT_TRUE(second.IsOpen());
        EXPECT_EQ(second.ConnectString().rfind("ODBC;", 0), 0u) << second.ConnectString();
        EXPECT_EQ(OdbcEnvironment::ConnectionCount(), before + 1);
        second.Close();
        EXPECT_FALSE(second.IsOpen());
        EXPECT_EQ(OdbcEnvironment::ConnectionCount(), before);
        second.Close();  // harmless on a closed session
        ASSERT_TRUE(second.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        EXPECT_EQ(OdbcEnvironment::ConnectionCount(), before + 1);
    }
    EXPECT_EQ(OdbcEnvironment::ConnectionCount(), before);
    EXPECT_TRUE(db.CanTransact());
    EXPECT_TRUE(db.CanUpdate());
}

TEST_F(SessionTest, UnknownDataSourceThrowsTheDriverManagerTextWithoutPrefixes) {
    CDatabase other;
    const int before = OdbcEnvironment::ConnectionCount();
    try {
        other.Open("DSN=nosuch_source;UID=a;PWD=b;", OpenOptions::UseCursorLibrary);
        FAIL() << "open of a missing data source succeeded";
    } catch (const CDBException& e) {
        EXPECT_EQ(e.RetCode, SQL_ERROR);
        EXPECT_NE(e.ErrorText.find("Data source name not found"), std::string::npos) << e.ErrorText;
        EXPECT_NE(e.ErrorText.front(), '[') << e.ErrorText;
        EXPECT_EQ(e.ErrorText.back(), '\n');
        EXPECT_EQ(e.StateText.rfind("State:IM002,Native:", 0), 0u) << e.StateText;
        EXPECT_NE(e.StateText.find(",Origin:[unixODBC][Driver Manager]"), std::string::npos) << e.StateText;
    }
    EXPECT_FALSE(other.IsOpen());
    EXPECT_EQ(OdbcEnvironment::ConnectionCount(), before) << "a failed open keeps no connection";
}

TEST_F(SessionTest, RejectedStatementCarriesTheDriverText) {
    try {
        db.ExecuteDirect("select NOSUCHCOLUMN from SITE");
        FAIL() << "statement with a missing column ran";
    } catch (const CDBException& e) {
        EXPECT_EQ(e.RetCode, SQL_ERROR);
        ASSERT_FALSE(e.ErrorText.empty());
        EXPECT_NE(e.ErrorText.front(), '[') << e.ErrorText;
        EXPECT_EQ(e.StateText.rfind("State:", 0), 0u) << e.StateText;
        EXPECT_NE(e.StateText.find(",Origin:"), std::string::npos) << e.StateText;
    }
    // The session stays usable after a failure.
    db.ExecuteDirect("insert into SITE (STA) values ('AAA')");
    EXPECT_EQ(CountRows(db, "SITE"), 1);
}

TEST_F(SessionTest, StatementsThatReturnRowsAreConsumed) {
    db.ExecuteDirect("insert into SITE (STA) values ('A1')");
    db.ExecuteDirect("insert into SITE (STA) values ('A2')");
    db.ExecuteDirect("select STA from SITE");
    db.ExecuteDirect("delete from SITE where STA='nothing'");  // no row: still success
    db.ExecuteDirect("update SITE set DESCR='x'");
    EXPECT_EQ(CountRows(db, "SITE", "DESCR='x'"), 2);
}

TEST_F(SessionTest, RollbackUndoesAndCommitKeepsThenAutocommitReturns) {
    ASSERT_TRUE(db.BeginTransaction());
    db.ExecuteDirect("insert into SITE (STA) values ('RB')");
    EXPECT_TRUE(db.RollbackTransaction());
    EXPECT_EQ(CountRows(db, "SITE", "STA='RB'"), 0);

    ASSERT_TRUE(db.BeginTransaction());
    db.ExecuteDirect("insert into SITE (STA) values ('CM')");
    EXPECT_TRUE(db.CommitTransaction());
    EXPECT_TRUE(db.LastTransactionError().empty());

    // Autocommit is on again: another session sees a later insert at once.
    db.ExecuteDirect("insert into SITE (STA) values ('AC')");
    CDatabase other;
    ASSERT_TRUE(other.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
    EXPECT_EQ(CountRows(other, "SITE", "STA in ('CM','AC')"), 2);
}

TEST_F(SessionTest, TransactionCallsOnAClosedSessionAnswerFalse) {
    CDatabase closed;
    EXPECT_FALSE(closed.BeginTransaction());
    EXPECT_FALSE(closed.CommitTransaction());
    EXPECT_FALSE(closed.RollbackTransaction());
}

TEST_F(SessionTest, StationRowExistsAnswersForPresentAbsentQuotedAndMissingTables) {
    db.ExecuteDirect("insert into SITE (STA) values ('KIV')");
    db.ExecuteDirect("insert into SITE (STA) values ('O''B')");
    EXPECT_TRUE(CheckedStationRowExists(db, "SITE", "KIV"));
    EXPECT_FALSE(CheckedStationRowExists(db, "SITE", "NOPE"));
    EXPECT_TRUE(CheckedStationRowExists(db, "SITE", "O'B"));
    EXPECT_FALSE(CheckedStationRowExists(db, "SITE", "x' or '1'='1"));
    EXPECT_THROW(CheckedStationRowExists(db, "NO_SUCH_TABLE", "KIV"), CDBException);
    CDatabase closed;
    EXPECT_THROW(CheckedStationRowExists(closed, "SITE", "KIV"), CDBException);
}

TEST_F(SessionTest, NextStationIndexIsOneAboveTheLargest) {
    EXPECT_EQ(CheckedNextStationIndex(db), 1) << "an empty SITE starts at 1";
    db.ExecuteDirect("insert into SITE (STA, NINDEX) values ('A', 5)");
    db.ExecuteDirect("insert into SITE (STA, NINDEX) values ('B', 7)");
    db.ExecuteDirect("insert into SITE (STA) values ('C')");
    EXPECT_EQ(CheckedNextStationIndex(db), 8);
    db.ExecuteDirect("DROP TABLE SITE");
    EXPECT_THROW(CheckedNextStationIndex(db), CDBException) << "a failed query is no number";
    CDatabase closed;
    EXPECT_THROW(CheckedNextStationIndex(closed), CDBException);
}

// The lock a station's save or delete takes before it reads the station
// again: while it is held, another connection cannot write the station; once
// the transaction ends, it can. The other connection is told to give up
// waiting soon.
TEST_F(SessionTest, TheStationLockKeepsOtherWritersOutUntilTheTransactionEnds) {
    const Backend& backend = CurrentBackend();
    db.ExecuteDirect("insert into SITE (STA,NINDEX,NGROUPS) values ('LCK',1,1)");
    CDatabase other;
    ASSERT_TRUE(other.Open(backend.ConnectString() + (backend.name == "sqlite" ? "Timeout=200;" : ""),
                           OpenOptions::UseCursorLibrary));
    if (backend.name == "postgres") other.ExecuteDirect("set lock_timeout = 200");
    if (backend.name == "mariadb") other.ExecuteDirect("set session innodb_lock_wait_timeout = 1");
    const std::string write = "update SITE set STANAME='other' where STA='LCK'";
    {
        Transaction tx(db);
        ASSERT_TRUE(tx.Begun());
        CSite site(&db);
        site.Filter = "STA='LCK'";
        site.RowLock = LockStationForWriting(db).rowLock;
        site.Open();
        EXPECT_THROW(other.ExecuteDirect(write), CDBException);
    }
    other.ExecuteDirect(write);
    EXPECT_EQ(QueryValue(db, "select STANAME from SITE where STA='LCK'"), "other");
}

TEST_F(SessionTest, CheckedQueriesAnswerOrThrowWithTheDriverText) {
    EXPECT_EQ(CheckedNextStationIndex(db), 1);  // no station yet
    db.ExecuteDirect("insert into SITE (STA,NINDEX,NGROUPS) values ('ONE',41,1)");
    EXPECT_EQ(CheckedNextStationIndex(db), 42);
    EXPECT_TRUE(CheckedStationRowExists(db, "SITE", "ONE"));
    EXPECT_FALSE(CheckedStationRowExists(db, "SITE", "TWO"));
    try {
        CheckedStationRowExists(db, "NO_SUCH_TABLE", "ONE");
        ADD_FAILURE() << "a missing table answered";
    } catch (const CDBException& e) {
        EXPECT_NE(e.ErrorText.find_first_not_of(" \n"), std::string::npos);
    }
}

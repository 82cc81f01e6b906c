// The record-set layer on the real databases: the SELECT it sends, reading
// and NULLs, inserting and changing one row, the row counts and the layer
// errors, and record sets on a session that is closed under them.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>

#include "db/recordset.h"
#include "db/session.h"
#include "station/station_recordsets.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"

namespace {

// The layer error a call raises, 0 when it raises none. A layer error carries
// no driver text.
template <typename Call>
short LayerErrorOf(Call&& call) {
    try {
        call();
    } catch (const CDBException& e) {
        EXPECT_TRUE(e.ErrorText.empty()) << e.ErrorText;
        return e.RetCode;
    }
    return 0;
}

double Number(const std::optional<std::string>& text) { return text ? std::stod(*text) : NAN; }

// A table without a primary key, as some catalogues keep their side tables:
// a text, an integer, a single-precision float and a time with fractions.
class NoKeyRows : public CRecordset {
public:
    using CRecordset::CRecordset;
    std::string NAME;
    int NUM = 0;
    double VAL = 0.0;
    DateTimeField STAMP;

    std::string DefaultConnect() const override { return "ODBC;DSN=NONE"; }
    std::string DefaultSql() const override { return "RS_NOKEY"; }

protected:
    std::vector<FieldBinding> BindColumns() override {
        return {{"NAME", FieldKind::Text, &NAME},
                {"NUM", FieldKind::Integer, &NUM},
                {"VAL", FieldKind::Floating, &VAL},
                {"STAMP", FieldKind::DateTime, &STAMP}};
    }
};

class RecordsetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db_.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        CreateStationTables(db_);
    }

    void CreateNoKeyTable() {
        DropTableIfExists(db_, "RS_NOKEY");
        const std::string& backend = CurrentBackend().name;
        // MariaDB's plain DATETIME would drop the fractions this table is for.
        const char* stamp = backend == "mariadb" ? "DATETIME(6)" : "TIMESTAMP";
        const char* real = backend == "mariadb" ? "FLOAT" : "REAL";
        db_.ExecuteDirect(std::string("CREATE TABLE RS_NOKEY (NAME VARCHAR(20), NUM INTEGER, VAL ") + real +
                          ", STAMP " + stamp + ")");
    }

    // A SITECHAN row with only its key, SPS 1 and the given other columns.
    void InsertChannel(const std::string& chan, const std::string& columns = {}, const std::string& values = {}) {
        db_.ExecuteDirect("INSERT INTO SITECHAN (STA,CHAN,NGROUP,CHANINDEX,SPS" + columns + ") VALUES ('ABC','" +
                          chan + "',1,0,1" + values + ")");
    }

    std::optional<std::string> Channel(const std::string& column, const std::string& chan = "BHZ") {
        return QueryValue(db_, "SELECT " + column + " FROM SITECHAN WHERE STA='ABC' AND CHAN='" + chan + "'");
    }

    CDatabase db_;
};

TEST_F(RecordsetTest, SelectNamesEveryColumnWithTwoBlanksBeforeFrom) {
    CSiteChan rs(&db_);
    rs.Open();
    EXPECT_EQ(rs.SelectText(),
              "SELECT STA,CHAN,NGROUP,CHANINDEX,EDEPH,LAT,LON,SPS,HANG,VANG,DESCR,CALIBFILE,LCODE,LDDATE  FROM "
              "SITECHAN");
    rs.Close();
    rs.Filter = "STA='ABC' and NGROUP=1";
    rs.Open();
    EXPECT_EQ(rs.SelectText().substr(rs.SelectText().find("  FROM")), "  FROM SITECHAN WHERE STA='ABC' and NGROUP=1");
}

TEST_F(RecordsetTest, FilterMatchingNothingIsAtTheEndAtOnceAndInsertsARowOfNulls) {
    CSiteChan rs(&db_);
    rs.Filter = "STA='ABC'";
    ASSERT_TRUE(rs.Open());
    EXPECT_TRUE(rs.IsEndOfSet());
    EXPECT_TRUE(rs.IsBeginOfSet());
    EXPECT_EQ(LayerErrorOf([&] { rs.BeginEdit(); }), LayerError::NoCurrentRecord);
    EXPECT_EQ(LayerErrorOf([&] { rs.MoveNext(); }), LayerError::MovePastEnd);

    rs.BeginInsert();
    rs.STA = "ABC";
    rs.CHAN = "BHZ";
    rs.NGROUP = 1;
    rs.CHANINDEX = 0;
    rs.SPS = 20.0;
    EXPECT_TRUE(rs.Update());
    EXPECT_FALSE(rs.IsEndOfSet());
    EXPECT_FALSE(rs.IsBeginOfSet());
    rs.Close();

    const auto rows = QueryRows(db_,
                                "SELECT STA,CHAN,NGROUP,CHANINDEX,SPS,EDEPH,LAT,LON,HANG,VANG,DESCR,CALIBFILE,LCODE,"
                                "LDDATE FROM SITECHAN");
    ASSERT_EQ(rows.size(), 1u);
    const TextRow& row = rows[0];
    EXPECT_EQ(row[0], "ABC");
    EXPECT_EQ(row[1], "BHZ");
    EXPECT_EQ(row[2], "1");
    EXPECT_EQ(row[3], "0");
    EXPECT_EQ(Number(row[4]), 20.0);
    for (std::size_t i = 5; i < row.size(); ++i) EXPECT_FALSE(row[i].has_value()) << "column " << i;
}

TEST_F(RecordsetTest, UpdateWithoutBeginRaises1005AndSoDoesASecondUpdate) {
    InsertChannel("BHZ");
    CSiteChan rs(&db_);
    rs.Open();
    EXPECT_EQ(LayerErrorOf([&] { rs.Update(); }), LayerError::UpdateWithoutBegin);
    rs.BeginEdit();
    rs.SPS = 40.0;
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(LayerErrorOf([&] { rs.Update(); }), LayerError::UpdateWithoutBegin);
}

TEST_F(RecordsetTest, UpdateWithNothingChangedWritesNothingAndStaysInEdit) {
    InsertChannel("BHZ");
    CSiteChan rs(&db_);
    rs.Open();
    rs.BeginEdit();
    EXPECT_FALSE(rs.Update());
    rs.SPS = 2.5;  // still editing: this change is written by the next Update
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(Number(Channel("SPS")), 2.5);
}

TEST_F(RecordsetTest, InsertWithNothingAssignedWritesNoRow) {
    CSiteChan rs(&db_);
    rs.Open();
    ASSERT_TRUE(rs.IsEndOfSet());
    rs.BeginInsert();
    rs.DESCR = "";  // the empty text is NULL, as the field already was
    EXPECT_FALSE(rs.Update());
    EXPECT_EQ(CountRows(db_, "SITECHAN"), 0);
    EXPECT_TRUE(rs.IsEndOfSet());
}

TEST_F(RecordsetTest, UpdateKeepsUnassignedNullColumnsAndWritesTheAssignedOnes) {
    InsertChannel("BHZ", ",HANG,DESCR", ",90,'STS-2'");
    CSiteChan rs(&db_);
    rs.Filter = "STA='ABC' and CHAN='BHZ' and NGROUP=1 and CHANINDEX=0";
    rs.Open();
    ASSERT_FALSE(rs.IsEndOfSet());
    EXPECT_EQ(rs.EDEPH, NullMarker::Floating);
    EXPECT_EQ(rs.LCODE, "");
    rs.BeginEdit();
    rs.SPS = 20.0;
    rs.HANG = 0.0;
    rs.CALIBFILE = "sts2.rsp";
    rs.LDDATE = LocalWallClock(std::time(nullptr));
    EXPECT_TRUE(rs.Update());
    rs.Close();

    const auto row = QueryRows(db_, "SELECT EDEPH,LAT,LON,SPS,HANG,CALIBFILE,DESCR,LCODE FROM SITECHAN")[0];
    EXPECT_FALSE(row[0]);
    EXPECT_FALSE(row[1]);
    EXPECT_FALSE(row[2]);
    EXPECT_EQ(Number(row[3]), 20.0);
    EXPECT_EQ(Number(row[4]), 0.0);
    EXPECT_EQ(row[5], "sts2.rsp");
    EXPECT_EQ(row[6], "STS-2");
    EXPECT_FALSE(row[7]);
}

TEST_F(RecordsetTest, UpdateFindsARowWhoseTimeHasFractionsOfASecond) {
    InsertChannel("BHZ", ",LDDATE", ",'2001-02-03 04:05:06.789'");
    CSiteChan rs(&db_);
    rs.Open();
    ASSERT_FALSE(rs.IsEndOfSet());
    rs.BeginEdit();
    rs.SPS = 100.0;
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(Number(Channel("SPS")), 100.0);
}

TEST_F(RecordsetTest, EmptyTextIsStoredAsNullOnInsertAndOnUpdate) {
    InsertChannel("BHN", ",CALIBFILE,LCODE", ",'old.rsp','00'");
    {
        CSiteChan rs(&db_);
        rs.Filter = "CHAN='BHZ'";
        rs.Open();
        rs.BeginInsert();
        rs.STA = "ABC";
        rs.CHAN = "BHZ";
        rs.NGROUP = 1;
        rs.CHANINDEX = 0;
        rs.DESCR = "";
        rs.CALIBFILE = "";
        EXPECT_TRUE(rs.Update());
    }
    EXPECT_FALSE(Channel("CALIBFILE"));
    EXPECT_FALSE(Channel("DESCR"));
    {
        CSiteChan rs(&db_);
        rs.Filter = "CHAN='BHN'";
        rs.Open();
        rs.BeginEdit();
        rs.CALIBFILE = "";
        EXPECT_TRUE(rs.Update());
    }
    EXPECT_FALSE(Channel("CALIBFILE", "BHN"));
    EXPECT_EQ(Channel("LCODE", "BHN"), "00");
}

TEST_F(RecordsetTest, OnlyTheAssignedColumnsAreWritten) {
    InsertChannel("BHZ", ",EDEPH,LAT", ",1.5,55.25");
    CSiteChan rs(&db_);
    rs.Open();
    // Changed behind the record set: an UPDATE writing every column would
    // put the values read at Open back.
    db_.ExecuteDirect("UPDATE SITECHAN SET EDEPH=9.5, DESCR='behind'");
    rs.BeginEdit();
    rs.SPS = 50.0;
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(Number(Channel("EDEPH")), 9.5);
    EXPECT_EQ(Channel("DESCR"), "behind");
    EXPECT_EQ(Number(Channel("LAT")), 55.25);
    EXPECT_EQ(Number(Channel("SPS")), 50.0);
}

// The way the channel rows are written: several record sets, one after the
// other, inside one transaction of the session, with a statement after them.
TEST_F(RecordsetTest, RowsWrittenInsideATransactionCommitOrRollBackTogether) {
    InsertChannel("BHZ");
    auto writeRows = [&] {
        {
            CSiteChan rs(&db_);
            rs.Filter = "STA='ABC' and CHAN='BHZ' and NGROUP=1 and CHANINDEX=0";
            rs.Open();
            ASSERT_FALSE(rs.IsEndOfSet());
            rs.BeginEdit();
            rs.SPS = 20.0;
            ASSERT_TRUE(rs.Update());
            rs.Close();
        }
        CSiteChan rs(&db_);
        rs.Filter = "STA='ABC' and CHAN='BHN' and NGROUP=1 and CHANINDEX=1";
        rs.Open();
        ASSERT_TRUE(rs.IsEndOfSet());
        rs.BeginInsert();
        rs.STA = "ABC";
        rs.CHAN = "BHN";
        rs.NGROUP = 1;
        rs.CHANINDEX = 1;
        rs.SPS = 20.0;
        ASSERT_TRUE(rs.Update());
        rs.Close();
        db_.ExecuteDirect("delete from SITECHAN where STA='ABC' and CHAN<>'BHZ' and CHAN<>'BHN' ");
    };

    ASSERT_TRUE(db_.BeginTransaction());
    writeRows();
    ASSERT_TRUE(db_.RollbackTransaction());
    EXPECT_EQ(CountRows(db_, "SITECHAN"), 1);
    EXPECT_EQ(Number(Channel("SPS")), 1.0);

    ASSERT_TRUE(db_.BeginTransaction());
    writeRows();
    ASSERT_TRUE(db_.CommitTransaction());
    EXPECT_EQ(CountRows(db_, "SITECHAN", "SPS=20"), 2);
}

TEST_F(RecordsetTest, UpdateWritingTheValuesAlreadyStoredSucceeds) {
    // The row is changed behind the record set to exactly what it then writes:
    // MariaDB without FOUND_ROWS reports no changed row for such an UPDATE.
    InsertChannel("BHZ");
    CSiteChan rs(&db_);
    rs.Open();
    db_.ExecuteDirect("UPDATE SITECHAN SET SPS=7 WHERE CHAN='BHZ'");
    rs.BeginEdit();
    rs.SPS = 7.0;
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(Number(Channel("SPS")), 7.0);
}

TEST_F(RecordsetTest, UpdateOfARowThatWasDeletedRaises1008) {
    InsertChannel("BHZ");
    CSiteChan rs(&db_);
    rs.Open();
    db_.ExecuteDirect("DELETE FROM SITECHAN");
    rs.BeginEdit();
    rs.SPS = 7.0;
    EXPECT_EQ(LayerErrorOf([&] { rs.Update(); }), LayerError::NoRowAffected);
    EXPECT_EQ(CountRows(db_, "SITECHAN"), 0);
}

TEST_F(RecordsetTest, InsertOfAnExistingKeyRaisesTheDriversError) {
    InsertChannel("BHZ");
    CSiteChan rs(&db_);
    rs.Filter = "CHAN='none'";
    rs.Open();
    rs.BeginInsert();
    rs.STA = "ABC";
    rs.CHAN = "BHZ";
    rs.NGROUP = 1;
    rs.CHANINDEX = 0;
    try {
        rs.Update();
        ADD_FAILURE() << "a duplicate key was inserted";
    } catch (const CDBException& e) {
        EXPECT_FALSE(e.ErrorText.empty());
        EXPECT_LT(e.RetCode, 0);
    }
    EXPECT_EQ(CountRows(db_, "SITECHAN"), 1);
}

TEST_F(RecordsetTest, ARowCanBeChangedAgainAfterItWasInsertedOrChanged) {
    CSiteChan rs(&db_);
    rs.Filter = "CHAN='BHZ'";
    rs.Open();
    rs.BeginInsert();
    rs.STA = "ABC";
    rs.CHAN = "BHZ";
    rs.NGROUP = 1;
    rs.CHANINDEX = 0;
    rs.SPS = 1.0;
    ASSERT_TRUE(rs.Update());
    for (double sps : {2.0, 3.0}) {
        rs.BeginEdit();
        rs.SPS = sps;
        ASSERT_TRUE(rs.Update());
        EXPECT_EQ(Number(Channel("SPS")), sps);
    }
    EXPECT_EQ(CountRows(db_, "SITECHAN"), 1);
}

TEST_F(RecordsetTest, TheNullMarkerWrittenToAFieldStoresNull) {
    InsertChannel("BHZ", ",EDEPH,LDDATE", ",12.5,'2001-02-03 04:05:06'");
    CSiteChan rs(&db_);
    rs.Open();
    rs.BeginEdit();
    rs.EDEPH = NullMarker::Floating;
    rs.LDDATE = NullMarker::DateTime;
    rs.NGROUP = 2;
    EXPECT_TRUE(rs.Update());
    EXPECT_FALSE(Channel("EDEPH"));
    EXPECT_FALSE(Channel("LDDATE"));
    EXPECT_EQ(Channel("NGROUP"), "2");
}

TEST_F(RecordsetTest, ReadingWalksEveryRowAndThenRaises1016) {
    InsertChannel("BHZ");
    InsertChannel("BHN");
    InsertChannel("BHE");
    CSiteChan rs(&db_);
    rs.Open();
    EXPECT_FALSE(rs.IsBeginOfSet());
    std::set<std::string> seen;
    for (; !rs.IsEndOfSet(); rs.MoveNext()) seen.insert(rs.CHAN);
    EXPECT_EQ(seen, (std::set<std::string>{"BHE", "BHN", "BHZ"}));
    EXPECT_EQ(LayerErrorOf([&] { rs.MoveNext(); }), LayerError::MovePastEnd);
}

TEST_F(RecordsetTest, AFilterTheDatabaseRejectsMakesOpenThrowWithItsText) {
    CSiteChan rs(&db_);
    rs.Filter = "NO_SUCH_COLUMN=1";
    try {
        rs.Open();
        ADD_FAILURE() << "Open accepted a bad filter";
    } catch (const CDBException& e) {
        EXPECT_LT(e.RetCode, 0);
        EXPECT_FALSE(e.ErrorText.empty());
    }
    EXPECT_FALSE(rs.IsOpen());
}

TEST_F(RecordsetTest, ReadOnlySessionRefusesInsertAndEditWith1009) {
    InsertChannel("BHZ");
    CDatabase readOnly;
    ASSERT_TRUE(readOnly.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary | OpenOptions::ReadOnly));
    CSiteChan rs(&readOnly);
    rs.Open();
    ASSERT_FALSE(rs.IsEndOfSet());
    EXPECT_EQ(LayerErrorOf([&] { rs.BeginEdit(); }), LayerError::NotUpdatable);
    EXPECT_EQ(LayerErrorOf([&] { rs.BeginInsert(); }), LayerError::NotUpdatable);
}

TEST_F(RecordsetTest, ClosingTheSessionClosesItsRecordSetsAndTheirCloseIsHarmless) {
    InsertChannel("BHZ");
    auto session = std::make_unique<CDatabase>();
    ASSERT_TRUE(session->Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
    CSiteChan first(session.get());
    CSiteChan second(session.get());
    CSiteChan neverOpened(session.get());
    first.Open();
    second.Open();
    ASSERT_TRUE(first.IsOpen());
    session->Close();
    EXPECT_FALSE(first.IsOpen());
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(first.IsEndOfSet());
    first.Close();
    second.Close();
    // A record set whose session is gone cannot open again and says so.
    EXPECT_EQ(LayerErrorOf([&] { first.Open(); }), LayerError::NoStatementHandle);
    session.reset();  // destroying the session before its record sets is harmless too
}

TEST_F(RecordsetTest, ARecordSetOnAClosedSessionOpensItWithItsOwnConnectString) {
    // DSN=NONE names no data source: the connection attempt itself fails.
    CDatabase closed;
    NoKeyRows rs(&closed);
    EXPECT_THROW(rs.Open(), CDBException);
    EXPECT_FALSE(rs.IsOpen());
}

TEST_F(RecordsetTest, TwoIdenticalRowsWithoutAKeyAreNeverBothChanged) {
    CreateNoKeyTable();
    db_.ExecuteDirect("INSERT INTO RS_NOKEY (NAME,NUM,VAL) VALUES ('twin',1,2.5)");
    db_.ExecuteDirect("INSERT INTO RS_NOKEY (NAME,NUM,VAL) VALUES ('twin',1,2.5)");
    NoKeyRows rs(&db_);
    rs.Open();
    rs.BeginEdit();
    rs.NUM = 2;
    EXPECT_EQ(LayerErrorOf([&] { rs.Update(); }), LayerError::MoreThanOneRowAffected);
    EXPECT_EQ(CountRows(db_, "RS_NOKEY", "NUM=1"), 2);
}

TEST_F(RecordsetTest, ARowWithoutAKeyIsFoundByItsRoundedValues) {
    CreateNoKeyTable();
    // A single-precision 55.1 and a time with fractions read back rounded;
    // the UPDATE must still find the row.
    db_.ExecuteDirect("INSERT INTO RS_NOKEY (NAME,NUM,VAL,STAMP) VALUES ('one',1,55.1,'2001-02-03 04:05:06.789')");
    db_.ExecuteDirect("INSERT INTO RS_NOKEY (NAME,NUM,VAL,STAMP) VALUES ('one',1,55.2,'2001-02-03 04:05:06.789')");
    db_.ExecuteDirect("INSERT INTO RS_NOKEY (NAME,NUM,VAL,STAMP) VALUES ('one',1,55.1,'2001-02-03 04:05:07')");
    db_.ExecuteDirect("INSERT INTO RS_NOKEY (NUM) VALUES (1)");
    NoKeyRows rs(&db_);
    rs.Filter = "VAL < 55.15 AND STAMP < '2001-02-03 04:05:06.9'";
    rs.Open();
    ASSERT_FALSE(rs.IsEndOfSet());
    rs.BeginEdit();
    rs.NUM = 2;
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(CountRows(db_, "RS_NOKEY", "NUM=2"), 1);
    EXPECT_EQ(CountRows(db_, "RS_NOKEY", "NUM=2 AND VAL < 55.15 AND STAMP < '2001-02-03 04:05:06.9'"), 1);

    // The row of NULLs is found by IS NULL.
    rs.Close();
    rs.Filter = "NAME IS NULL";
    rs.Open();
    ASSERT_FALSE(rs.IsEndOfSet());
    rs.BeginEdit();
    rs.NAME = "null row";
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(CountRows(db_, "RS_NOKEY", "NAME='null row' AND VAL IS NULL"), 1);
}

}  // namespace

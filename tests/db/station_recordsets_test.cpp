// The station record sets on the real databases: their columns, the values
// they start with, the null markers a NULL column leaves, the NINDEX rule,
// date-times read and written as stored in every year and zone, and texts
// read whole whatever their length.

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "station/station_recordsets.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"

namespace {

// Sets the process's time zone for one scope and restores the one before.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

class StationRecordsetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db_.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        CreateStationTables(db_);
    }

    void InsertSite(const std::string& sta, const std::string& columns = {}, const std::string& values = {}) {
        db_.ExecuteDirect("INSERT INTO SITE (STA" + columns + ") VALUES ('" + sta + "'" + values + ")");
    }

    CDatabase db_;
};

TEST_F(StationRecordsetTest, SiteBindsItsSeventeenColumnsInBindingOrder) {
    CSite site(&db_);
    EXPECT_EQ(site.DefaultSql(), "SITE");
    EXPECT_EQ(site.DefaultConnect(), "ODBC;DSN=ZRN;UID=ZRN;PWD=PJQ");
    site.Filter = "STA='ABC'";
    site.Open();
    EXPECT_EQ(site.SelectText(),
              "SELECT STA,COD,NGROUPS,ELEV,LAT,LON,DESCR,LDDATE,NINDEX,DEAST,DNORTH,REFSTA,STANAME,STATYPE,"
              "UNDERGROUND,ONDATE,OFFDATE  FROM SITE WHERE STA='ABC'");
    CSiteChan chan(&db_);
    EXPECT_EQ(chan.DefaultSql(), "SITECHAN");
    EXPECT_EQ(chan.DefaultConnect(), "ODBC;DSN=ZRN;UID=ZRN;PWD=PJQ");
}

TEST_F(StationRecordsetTest, ConstructionGivesTheStartingValues) {
    const std::time_t before = std::time(nullptr);
    CSite site(&db_);
    CSiteChan chan(&db_);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(site.STA, "");
    EXPECT_EQ(site.NGROUPS, 0);
    EXPECT_EQ(site.ELEV, 0.0);
    EXPECT_EQ(site.LAT, 0.0);
    EXPECT_EQ(site.NINDEX, 0);
    ASSERT_TRUE(site.LDDATE);
    EXPECT_GE(*site.LDDATE, LocalWallClock(before));
    EXPECT_LE(*site.LDDATE, LocalWallClock(after));
    EXPECT_EQ(chan.NGROUP, 0);
    EXPECT_EQ(chan.CHANINDEX, 0);
    EXPECT_EQ(chan.SPS, 0.0);
    EXPECT_EQ(chan.CALIBFILE, "");
    ASSERT_TRUE(chan.LDDATE);
    EXPECT_GE(*chan.LDDATE, LocalWallClock(before));
    EXPECT_LE(*chan.LDDATE, LocalWallClock(after));
}

TEST_F(StationRecordsetTest, NullColumnsReadAsTheNullMarkersAndNullNindexAsZero) {
    InsertSite("ABC");
    CSite site(&db_);
    site.Open();
    ASSERT_FALSE(site.IsEndOfSet());
    EXPECT_EQ(site.STA, "ABC");
    EXPECT_EQ(site.NINDEX, 0);
    EXPECT_EQ(site.NGROUPS, NullMarker::Integer);
    EXPECT_EQ(site.NGROUPS, 1246576928);
    EXPECT_EQ(site.DEAST, -9.123e19);
    EXPECT_EQ(site.DNORTH, NullMarker::Floating);
    EXPECT_FALSE(site.ONDATE);
    EXPECT_FALSE(site.OFFDATE);
    EXPECT_FALSE(site.LDDATE);
    EXPECT_EQ(site.COD, "");
    EXPECT_EQ(site.DESCR, "");
}

TEST_F(StationRecordsetTest, StoredValuesReadAsStored) {
    InsertSite("ABC", ",COD,NGROUPS,ELEV,LAT,LON,DESCR,NINDEX,DEAST,DNORTH,REFSTA,STANAME,STATYPE,UNDERGROUND",
               ",'AB1',3,120.5,55.099998,37.5,'Обнинск ',7,-1.25,2.5,'ARR','Obninsk','ss','скальный'");
    CSite site(&db_);
    site.Filter = "STA='ABC'";
    site.Open();
    ASSERT_FALSE(site.IsEndOfSet());
    EXPECT_EQ(site.COD, "AB1");
    EXPECT_EQ(site.NGROUPS, 3);
    EXPECT_EQ(site.ELEV, 120.5);
    EXPECT_EQ(site.LAT, 55.099998);
    EXPECT_EQ(site.DESCR, "Обнинск ");  // trailing blank kept
    EXPECT_EQ(site.NINDEX, 7);
    EXPECT_EQ(site.DEAST, -1.25);
    EXPECT_EQ(site.DNORTH, 2.5);
    EXPECT_EQ(site.REFSTA, "ARR");
    EXPECT_EQ(site.STANAME, "Obninsk");
    EXPECT_EQ(site.UNDERGROUND, "скальный");
    site.MoveNext();
    EXPECT_TRUE(site.IsEndOfSet());
}

// Every year as stored, in UTC and in zones far east and west of it.
TEST_F(StationRecordsetTest, DateTimesReadAsStoredInEveryYearAndZone) {
    const struct {
        const char* sta;
        const char* stored;
        WallClock read;
    } rows[] = {
        {"A", "1969-12-31 23:59:59", {1969, 12, 31, 23, 59, 59}}, {"B", "2039-01-01 00:00:00", {2039, 1, 1, 0, 0, 0}},
        {"C", "1970-01-01 00:00:00", {1970, 1, 1, 0, 0, 0}},      {"D", "1900-01-01 00:00:00", {1900, 1, 1, 0, 0, 0}},
        {"E", "2001-02-03 04:05:06.9", {2001, 2, 3, 4, 5, 6}},    {"F", "2599-12-31 00:00:00", {2599, 12, 31, 0, 0, 0}},
        {"G", "2001-03-25 02:30:00", {2001, 3, 25, 2, 30, 0}},  // a summer-time gap in central Europe
    };
    for (const auto& row : rows) InsertSite(row.sta, ",ONDATE", std::string(",'") + row.stored + "'");

    for (const char* zone : {"UTC0", "XKT-14", "XST11", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
        ScopedTimeZone scoped(zone);
        for (const auto& row : rows) {
            CSite site(&db_);
            site.Filter = std::string("STA='") + row.sta + "'";
            site.Open();
            ASSERT_FALSE(site.IsEndOfSet());
            ASSERT_TRUE(site.ONDATE) << row.stored << " in " << zone;
            EXPECT_EQ(*site.ONDATE, row.read) << row.stored << " in " << zone;
        }
    }
}

TEST_F(StationRecordsetTest, WrittenTimesAreStoredAsTheyStand) {
    ScopedTimeZone scoped("XKT-14");
    CSiteChan chan(&db_);
    chan.Filter = "STA='ABC'";
    chan.Open();
    chan.BeginInsert();
    chan.STA = "ABC";
    chan.CHAN = "BHZ";
    chan.NGROUP = 1;
    chan.CHANINDEX = 0;
    chan.LDDATE = WallClock{2020, 5, 6, 7, 8, 9};
    ASSERT_TRUE(chan.Update());
    chan.Close();
    const auto stored = QueryValue(db_, "SELECT LDDATE FROM SITECHAN");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->substr(0, 19), "2020-05-06 07:08:09");
    chan.Open();
    ASSERT_FALSE(chan.IsEndOfSet());
    EXPECT_EQ(chan.LDDATE, (WallClock{2020, 5, 6, 7, 8, 9}));
}

TEST_F(StationRecordsetTest, TextsOfAnyLengthAreReadWhole) {
    const struct {
        const char* sta;
        std::string descr;
    } cases[] = {{"R255", Repeat("Ж", 255)}, {"R290", Repeat("Ж", 290)}, {"R1024", Repeat("Ж", 1024)},
                 {"A256", Repeat("z", 256)}, {"A1024", Repeat("z", 1024)}};
    for (const auto& c : cases) InsertSite(c.sta, ",DESCR", ",'" + c.descr + "'");
    for (const auto& c : cases) {
        CSite site(&db_);
        site.Filter = std::string("STA='") + c.sta + "'";
        site.Open();
        ASSERT_FALSE(site.IsEndOfSet());
        EXPECT_EQ(site.DESCR, c.descr) << c.sta;
    }
}

TEST_F(StationRecordsetTest, CyrillicTextIsWrittenAndReadAsUtf8) {
    CSiteChan chan(&db_);
    chan.Filter = "STA='ABC'";
    chan.Open();
    chan.BeginInsert();
    chan.STA = "ABC";
    chan.CHAN = "BHZ";
    chan.NGROUP = 1;
    chan.CHANINDEX = 0;
    chan.DESCR = "СКД-Ёж";
    ASSERT_TRUE(chan.Update());
    chan.Close();
    EXPECT_EQ(QueryValue(db_, "SELECT DESCR FROM SITECHAN"), "СКД-Ёж");
    chan.Open();
    ASSERT_FALSE(chan.IsEndOfSet());
    EXPECT_EQ(chan.DESCR, "СКД-Ёж");
}

}  // namespace

TEST_F(StationRecordsetTest, StationCodesAreReadInBlocksWithTheListQueryAndNothingCut) {
    // More rows than one block holds, codes in Cyrillic, NULL and long texts
    // in DESCR; on SQLite, which keeps any length, a code far longer than
    // its declared VARCHAR(8).
    std::vector<std::string> codes;
    for (int i = 0; i < 2500; ++i) codes.push_back("S" + std::to_string(i));
    codes.push_back("ЖЁЖЁЖЁЖЁ");
    if (CurrentBackend().name == "sqlite") codes.push_back(Repeat("Ж", 3000));
    for (size_t first = 0; first < codes.size(); first += 500) {
        std::string values;
        for (size_t i = first; i < std::min(codes.size(), first + 500); ++i)
            values += std::string(values.empty() ? "" : ",") + "('" + codes[i] + "'," +
                      (i % 3 == 0 ? "NULL" : "'" + Repeat("д", static_cast<int>(i % 1000)) + "'") + ")";
        db_.ExecuteDirect("INSERT INTO SITE (STA, DESCR) VALUES " + values);
    }
    CSite site(&db_);
    site.Filter = "1=1";
    std::vector<std::string> read = site.ReadTextColumn(CSite::kStationCodeField);
    EXPECT_EQ(site.SelectText(),
              "SELECT STA,COD,NGROUPS,ELEV,LAT,LON,DESCR,LDDATE,NINDEX,DEAST,DNORTH,REFSTA,STANAME,STATYPE,"
              "UNDERGROUND,ONDATE,OFFDATE  FROM SITE WHERE 1=1");
    std::sort(read.begin(), read.end());
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(read, codes);
    const std::vector<std::string> descr = site.ReadTextColumn(6);
    EXPECT_EQ(descr.size(), codes.size());
    long empty = 0;  // the NULL rows and the empty texts
    for (size_t i = 0; i < codes.size(); ++i) empty += (i % 3 == 0 || i % 1000 == 0) ? 1 : 0;
    EXPECT_EQ(std::count(descr.begin(), descr.end(), std::string()), empty);
}

// The texts a save builds: date normalisation and checking, numbers in the
// classic notation, and the SITE statement.

#include <gtest/gtest.h>


#include "form/date_text.h"
#include "station/number_text.h"
#include "station/site_statement.h"
#include "form/station_dlg.h"

namespace {

TEST(NormalizeDateText, FillsMissingPartsAndPadsToNineteenCharacters) {
    EXPECT_EQ(NormalizeDateText("2005-06-01 12:30:00", 0), "2005-06-01 12:30:00");
    EXPECT_EQ(NormalizeDateText("2005-6-1", 0), "2005-06-01 00:00:00");
    EXPECT_EQ(NormalizeDateText("2005-06-01", 1), "2005-06-01 01:01:01");
    EXPECT_EQ(NormalizeDateText("2005-06-01 7", 1), "2005-06-01 07:01:01");
    EXPECT_EQ(NormalizeDateText("2005-06-01\t\t08:09:10", 0), "2005-06-01 08:09:10");
    EXPECT_EQ(NormalizeDateText("2005-06-0108:09:10", 0), "2005-06-01 08:09:10");
}

TEST(NormalizeDateText, StopsAtTheFirstMismatchKeepingDefaults) {
    EXPECT_EQ(NormalizeDateText("01.06.2005", 0), "0001-01-01 00:00:00");
    EXPECT_EQ(NormalizeDateText("abc", 0), "1970-01-01 00:00:00");
    EXPECT_EQ(NormalizeDateText("", 1), "1970-01-01 01:01:01");
    EXPECT_EQ(NormalizeDateText("20051-01-01", 0), "2005-01-01 00:00:00");
}

TEST(IsValidDateText, AcceptsRealCalendarDatesWithOptionalTime) {
    EXPECT_TRUE(IsValidDateText("2005-06-01 12:30:00"));
    EXPECT_TRUE(IsValidDateText("2005-6-1"));
    EXPECT_TRUE(IsValidDateText("2004-02-29"));
    EXPECT_TRUE(IsValidDateText("2000-02-29 23:59:59"));
    EXPECT_TRUE(IsValidDateText(" 2005-06-01 00:00"));
}

TEST(IsValidDateText, RefusesWhatTheScanWouldMisread) {
    EXPECT_FALSE(IsValidDateText("01.06.2005"));
    EXPECT_FALSE(IsValidDateText("abc"));
    EXPECT_FALSE(IsValidDateText("   "));
    EXPECT_FALSE(IsValidDateText("2005-06"));
    EXPECT_FALSE(IsValidDateText("2005-13-01"));
    EXPECT_FALSE(IsValidDateText("2005-00-10"));
    EXPECT_FALSE(IsValidDateText("2005-04-31"));
    EXPECT_FALSE(IsValidDateText("1900-02-29"));
    EXPECT_FALSE(IsValidDateText("2005-06-00"));
    EXPECT_FALSE(IsValidDateText("0000-01-01"));
    EXPECT_FALSE(IsValidDateText("2005-06-01 24:00:00"));
    EXPECT_FALSE(IsValidDateText("2005-06-01 12:60"));
    EXPECT_FALSE(IsValidDateText("2005-06-01 12:30:61"));
    EXPECT_FALSE(IsValidDateText("2005-06-01 -1:00:00"));
}

TEST(DateTimeTexts, UtcAndLocalFormatting) {
    EXPECT_EQ(UtcTimeText(0), "1970-01-01 00:00:00");
    EXPECT_EQ(UtcTimeText(981173106), "2001-02-03 04:05:06");
}

TEST(NumberTexts, FixedTextPrintsClassicNotation) {
    EXPECT_EQ(FixedText(55.1f, 6), "55.099998");
    EXPECT_EQ(FixedText(2.5, 3), "2.500");
    EXPECT_EQ(FixedText(-0.25, 3), "-0.250");
    EXPECT_EQ(FixedText(0.0, 6), "0.000000");
    EXPECT_EQ(FixedText(1234567.0, 0), "1234567");
}

TEST(NumberTexts, HugeValuesPrintWhole) {
    const std::string text = FixedText(1e300, 6);
    EXPECT_EQ(text.size(), 301u + 7u);
    EXPECT_EQ(text.substr(0, 2), "10");
    EXPECT_EQ(text.substr(text.size() - 7), ".000000");
    EXPECT_EQ(FixedText(-1.7976931348623157e308, 0).size(), 310u);
}

TEST(NumberTexts, SampleRateWholeOrFourDecimals) {
    EXPECT_EQ(SampleRateText(100), "100");
    EXPECT_EQ(SampleRateText(20), "20");
    EXPECT_EQ(SampleRateText(0.05), "0.0500");
    EXPECT_EQ(SampleRateText(12.34567), "12.3457");
    EXPECT_EQ(SampleRateText(2.25), "2.2500");
    EXPECT_EQ(SampleRateText(0), "0");
}

SiteRowValues SampleRow() {
    SiteRowValues r;
    r.nindex = 7;
    r.ngroups = 3;
    r.lat = 55.1f;
    r.lon = 37.5f;
    r.elev = 120.0f;
    r.descr = "Обнинск";
    r.staname = "Obninsk";
    r.cod = "OBN";
    r.refsta = "";
    r.deast = 0.0;
    r.dnorth = 0.5;
    r.underground = "granite";
    r.lddate = "2024-01-02 03:04:05";
    r.sta = "OBN";
    return r;
}

TEST(SiteStatement, InsertWithoutDatesNamesNeitherDateColumn) {
    EXPECT_EQ(BuildSiteStatement(SampleRow(), false),
              "insert into SITE (NINDEX,NGROUPS,LAT,LON,ELEV,DESCR,STANAME,COD,REFSTA,DEAST,DNORTH,UNDERGROUND,"
              "LDDATE,STA) values (7,3,55.099998,37.500000,120.000000,'Обнинск','Obninsk','OBN','',0.000000,"
              "0.500000,'granite',{ts '2024-01-02 03:04:05'},'OBN')");
}

TEST(SiteStatement, InsertWithBothDates) {
    SiteRowValues r = SampleRow();
    r.onDate = "2005-06-01 00:00:00";
    r.offDate = "2006-07-02 00:00:00";
    EXPECT_EQ(BuildSiteStatement(r, false),
              "insert into SITE (NINDEX,NGROUPS,LAT,LON,ELEV,DESCR,STANAME,COD,ONDATE,OFFDATE,REFSTA,DEAST,"
              "DNORTH,UNDERGROUND,LDDATE,STA) values (7,3,55.099998,37.500000,120.000000,'Обнинск','Obninsk',"
              "'OBN',{ts '2005-06-01 00:00:00'},{ts '2006-07-02 00:00:00'},'',0.000000,0.500000,'granite',"
              "{ts '2024-01-02 03:04:05'},'OBN')");
}

TEST(SiteStatement, UpdateWithOnlyTheClosingDate) {
    SiteRowValues r = SampleRow();
    r.offDate = "2006-07-02 01:01:01";
    EXPECT_EQ(BuildSiteStatement(r, true),
              "update SITE set NINDEX=7,NGROUPS=3,LAT=55.099998,LON=37.500000,ELEV=120.000000,DESCR='Обнинск',"
              "STANAME='Obninsk',COD='OBN',OFFDATE={ts '2006-07-02 01:01:01'},REFSTA='',DEAST=0.000000,"
              "DNORTH=0.500000,UNDERGROUND='granite',LDDATE={ts '2024-01-02 03:04:05'} where STA='OBN'");
}

TEST(SiteStatement, UpdateWithOnlyTheOpeningDate) {
    SiteRowValues r = SampleRow();
    r.onDate = "2005-06-01 00:00:00";
    const std::string sql = BuildSiteStatement(r, true);
    EXPECT_NE(sql.find(",COD='OBN',ONDATE={ts '2005-06-01 00:00:00'},REFSTA='',"), std::string::npos) << sql;
    EXPECT_EQ(sql.find("OFFDATE"), std::string::npos);
}

TEST(SiteStatement, QuotesInsideTextsAreDoubled) {
    SiteRowValues r = SampleRow();
    r.staname = "O'Brien";
    r.sta = "A'); drop table SITE; --";
    r.underground = "''";
    const std::string sql = BuildSiteStatement(r, true);
    EXPECT_NE(sql.find("STANAME='O''Brien'"), std::string::npos) << sql;
    EXPECT_NE(sql.find("UNDERGROUND=''''''"), std::string::npos) << sql;
    EXPECT_NE(sql.find("where STA='A''); drop table SITE; --'"), std::string::npos) << sql;
}

}  // namespace

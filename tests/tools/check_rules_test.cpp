// Every rule of station-check against a catalogue that breaks it, on every
// backend; the demo catalogue itself yields no finding.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/tools/catalogue_fixture.h"
#include "tools/check_rules.h"

namespace {

// Where a finding is and by which rule.
struct Where {
    std::string station, channel, rule;
    bool operator==(const Where&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Where& w) {
    return out << w.station << '/' << w.channel << '/' << w.rule;
}

// A change to the demo catalogue and the findings it must give, in order.
struct RuleCase {
    const char* name;
    std::vector<std::string> change;
    std::vector<Where> findings;
    bool nullableKeys = false;
};

const RuleCase kCases[] = {
    {"DemoCatalogueIsClean", {}, {}},
    {"LatitudeOutOfRange", {"UPDATE SITE SET LAT=95 WHERE STA='KIV'"}, {{"KIV", "", "coordinates"}}},
    {"LongitudeOutOfRange", {"UPDATE SITE SET LON=-180.5 WHERE STA='ARU'"}, {{"ARU", "", "coordinates"}}},
    {"LatitudeBelowRange", {"UPDATE SITE SET LAT=-91 WHERE STA='KIV'"}, {{"KIV", "", "coordinates"}}},
    {"LatitudeAboveRange", {"UPDATE SITE SET LAT=91 WHERE STA='KIV'"}, {{"KIV", "", "coordinates"}}},
    {"LongitudeBelowRange", {"UPDATE SITE SET LON=-181 WHERE STA='ARU'"}, {{"ARU", "", "coordinates"}}},
    {"LongitudeAboveRange", {"UPDATE SITE SET LON=181 WHERE STA='ARU'"}, {{"ARU", "", "coordinates"}}},
    {"OffDateBeforeOnDate", {"UPDATE SITE SET OFFDATE={ts '1993-06-14 23:59:59'} WHERE STA='KIV'"},
     {{"KIV", "", "offdate-before-ondate"}}},
    {"RefStaNotInSite", {"UPDATE SITE SET REFSTA='NONE' WHERE STA='ARU'"}, {{"ARU", "", "refsta-unknown"}}},
    {"NGroupsNull", {"UPDATE SITE SET NGROUPS=NULL WHERE STA='ARU'"}, {{"ARU", "", "ngroups"}}},
    {"NGroupsAboveSeven", {"UPDATE SITE SET NGROUPS=8 WHERE STA='ARU'"}, {{"ARU", "", "ngroups"}}},
    {"NGroupsZeroWithoutChannelsIsFine",
     {"DELETE FROM SITECHAN WHERE STA='ARU'", "UPDATE SITE SET NGROUPS=0 WHERE STA='ARU'"}, {}},
    {"GroupAboveNGroups", {"UPDATE SITE SET NGROUPS=1 WHERE STA='KIV'"},
     {{"KIV", "HHE", "group-hidden"}, {"KIV", "HHN", "group-hidden"}, {"KIV", "HHZ", "group-hidden"}}},
    {"ChanIndexOutOfRange", {"UPDATE SITECHAN SET CHANINDEX=3 WHERE STA='ARU' AND CHAN='BHE'"},
     {{"ARU", "BHE", "chanindex"}}},
    {"ChannelNameTwiceInOneStation",
     {"UPDATE SITE SET NGROUPS=2 WHERE STA='ARU'",
      "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, SPS, HANG, VANG, DESCR, LCODE) VALUES ('ARU', 'BHZ', 2, 0, "
      "20, -1, 0, 'STS-2', '10')"},
     {{"ARU", "BHZ", "duplicate-channel"}}},
    {"StationIndexTwice", {"UPDATE SITE SET NINDEX=1001 WHERE STA IN ('ARU', 'KIV')"},
     {{"ARU", "", "nindex-duplicate"}, {"KIV", "", "nindex-duplicate"}}},
    {"KeyColumnNull",
     {"INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, SPS, HANG, VANG, DESCR) VALUES ('ARU', 'LHZ', NULL, 0, 1, -1, "
      "0, 'STS-2')"},
     {{"ARU", "LHZ", "null-key"}},
     true},
    {"OffsetDisagreesWithCoordinates", {"UPDATE SITE SET DNORTH=1.5 WHERE STA='OBN1'"},
     {{"OBN1", "", "array-offset"}}},
    {"BandCodeDoesNotFitRate", {"UPDATE SITECHAN SET SPS=100 WHERE STA='ARU' AND CHAN='BHZ'"},
     {{"ARU", "BHZ", "band-code"}}},
    {"BandCodeAtTheLowerBoundFits", {"UPDATE SITECHAN SET SPS=80 WHERE STA='KIV' AND CHAN LIKE 'HH%'"}, {}},
    {"OrientationDoesNotFitIndex", {"UPDATE SITECHAN SET CHANINDEX=1 WHERE STA='OBN1'"},
     {{"OBN1", "SHZ", "orientation"}, {"OBN1", "SHZ", "orientation-component"}}},
    {"ComponentRecordedWithTheOtherOrientation",
     {"UPDATE SITECHAN SET VANG=0 WHERE STA='ARU' AND CHAN='BHN'",
      "UPDATE SITECHAN SET VANG=178 WHERE STA='ARU' AND CHAN='BHE'",
      "UPDATE SITECHAN SET VANG=90 WHERE STA='KIV' AND CHAN='HHZ'",
      // A tilted horizontal and a vertical pointing down are neither.
      "UPDATE SITECHAN SET VANG=60 WHERE STA='PET' AND CHAN='BHN'",
      "UPDATE SITECHAN SET VANG=180 WHERE STA='PET' AND CHAN='BHZ'"},
     {{"ARU", "BHE", "orientation-component"},
      {"ARU", "BHN", "orientation-component"},
      {"KIV", "HHZ", "orientation-component"},
      {"KIV", "HHZ", "dip-azimuth"}}},
    {"ResponseFileMissing", {"UPDATE SITECHAN SET CALIBFILE='missing.resp' WHERE STA='OBN1'"},
     {{"OBN1", "SHZ", "calibfile-missing"}}},
    {"LocationCodeOfThreeCharacters", {"UPDATE SITECHAN SET LCODE='ABC' WHERE STA='OBN1'"},
     {{"OBN1", "SHZ", "lcode"}}},
    {"SeismometerWithoutOrientation",
     {"UPDATE SITECHAN SET HANG=NULL WHERE STA='ARU' AND CHAN='BHN'",
      "UPDATE SITECHAN SET VANG=NULL WHERE STA='OBN1'"},
     {{"ARU", "BHN", "orientation-null"}, {"OBN1", "SHZ", "orientation-null"}}},
    {"PressureChannelWithoutOrientationIsFine",
     {"INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, SPS, DESCR, LCODE) VALUES ('OBN1', 'SDO', 1, 1, 40, 'x', '')"},
     {}},
    {"AnglesAgainstOrientationLetter",
     {"UPDATE SITECHAN SET VANG=10 WHERE STA='ARU' AND CHAN='BHZ'",
      "UPDATE SITECHAN SET HANG=95 WHERE STA='ARU' AND CHAN='BHN'",
      "UPDATE SITECHAN SET HANG=275.5 WHERE STA='ARU' AND CHAN='BHE'",
      // Within 5 degrees, and the other way round, is fine; HANG -1 on a vertical is "not applicable".
      "UPDATE SITECHAN SET VANG=176, HANG=-1 WHERE STA='KIV' AND CHAN='BHZ'",
      "UPDATE SITECHAN SET HANG=184.5 WHERE STA='KIV' AND CHAN='BHN'",
      "UPDATE SITECHAN SET HANG=266 WHERE STA='KIV' AND CHAN='BHE'"},
     {{"ARU", "BHE", "dip-azimuth"}, {"ARU", "BHN", "dip-azimuth"}, {"ARU", "BHZ", "dip-azimuth"}}},
    {"ChannelFarFromStation",
     // 0.0095 degrees of latitude is about 1.06 km, 0.0085 about 0.95 km.
     {"UPDATE SITECHAN SET LAT=56.4397 WHERE STA='ARU' AND CHAN='BHZ'",
      "UPDATE SITECHAN SET LAT=56.4387 WHERE STA='ARU' AND CHAN='BHN'"},
     {{"ARU", "BHZ", "channel-distance"}}},
    {"SensorDescriptionEmpty",
     {"UPDATE SITECHAN SET DESCR=NULL WHERE STA='ARU' AND CHAN='BHZ'",
      "UPDATE SITECHAN SET DESCR='  ' WHERE STA='ARU' AND CHAN='BHN'"},
     {{"ARU", "BHN", "sensor-description"}, {"ARU", "BHZ", "sensor-description"}}},
    {"CodesStationXmlCannotCarry",
     {"INSERT INTO SITE (STA, NGROUPS, LAT, LON, ELEV, ONDATE) VALUES ('LONGER', 0, 1, 2, 3, {ts '2000-01-01 00:00:00'})",
      "UPDATE SITECHAN SET CHAN='BHZ1' WHERE STA='OBN1'"},
     {{"LONGER", "", "stationxml-code"}, {"OBN1", "BHZ1", "stationxml-code"}}},
    {"OnDateInTheFuture", {"UPDATE SITE SET ONDATE={ts '2999-01-01 00:00:00'} WHERE STA='ARU'"},
     {{"ARU", "", "ondate-future"}}},
    {"ElevationOutOfRange", {"UPDATE SITE SET ELEV=-20000 WHERE STA='KIV'"}, {{"KIV", "", "coordinates"}}},
    {"ChannelValuesOutOfRange",
     {"UPDATE SITECHAN SET VANG=-410 WHERE STA='ARU' AND CHAN='BHZ'",
      "UPDATE SITECHAN SET EDEPH=20000 WHERE STA='KIV' AND CHAN='BHN'",
      "UPDATE SITECHAN SET HANG=720 WHERE STA='OBN1' AND CHAN='SHZ'"},
     {{"ARU", "BHZ", "channel-values"}, {"ARU", "BHZ", "dip-azimuth"}, {"KIV", "BHN", "channel-values"},
      {"OBN1", "SHZ", "channel-values"}}},
    {"LocationCodeUnknownOrTwoCyrillicLettersIsFine",
     {"UPDATE SITECHAN SET LCODE='?\?' WHERE STA='OBN1'", "UPDATE SITECHAN SET LCODE='АБ' WHERE STA='ARU'"}, {}},
};

class CheckRulesTest : public CatalogueFixture, public ::testing::WithParamInterface<RuleCase> {
protected:
    std::vector<Where> Findings() {
        const Catalogue catalogue = ReadCatalogue(session_, {});
        std::vector<Where> where;
        for (const Finding& f : CheckCatalogue(catalogue, {ResponseFiles()})) {
            where.push_back({f.station, f.channel, f.rule});
            EXPECT_FALSE(f.message.empty()) << f.rule;
        }
        return where;
    }
};

TEST_P(CheckRulesTest, BrokenCatalogueGivesExactlyItsFindings) {
    const RuleCase& c = GetParam();
    LoadDemo(c.nullableKeys);
    Execute(c.change);
    EXPECT_EQ(Findings(), c.findings);
}

INSTANTIATE_TEST_SUITE_P(Rules, CheckRulesTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RuleCase>& param) { return std::string(param.param.name); });

TEST(CheckRuleTable, EveryRuleHasABreakingCase) {
    std::set<std::string> covered;
    for (const RuleCase& c : kCases)
        for (const Where& w : c.findings) covered.insert(w.rule);
    for (const CheckRule& rule : CheckRules()) EXPECT_TRUE(covered.count(rule.name)) << rule.name;
}

}  // namespace

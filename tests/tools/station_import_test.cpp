// station-import's reading, epoch choice, mapping and grouping on real
// StationXML files of data centres and on epochs written for the purpose;
// its dry run against the catalogue on every backend.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <thread>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "db/sql_text.h"
#include "db/wall_clock.h"
#include "station/station_journal.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"
#include "tests/tools/catalogue_fixture.h"
#include "tools/check_rules.h"
#include "tools/station_import.h"
#include "tools/stationxml.h"
#include "tools/stationxml_reader.h"

#if !defined(SE_SOURCE_DIR) || !defined(SE_STATION_IMPORT)
#error "SE_SOURCE_DIR and SE_STATION_IMPORT must name the source tree and the program"
#endif

namespace {

std::string DataFile(const std::string& name) { return std::string(SE_SOURCE_DIR) + "/tests/tools/data/stationxml/" + name; }

std::vector<XmlStation> ReadFile(const std::string& name) {
    QFile file(QString::fromStdString(DataFile(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    std::string error;
    const auto stations = ReadStationXml(file, {}, error);
    EXPECT_TRUE(stations) << name << ": " << error;
    return stations.value_or(std::vector<XmlStation>{});
}

std::optional<std::vector<XmlStation>> ReadText(const std::string& xml, std::string& error) {
    QByteArray bytes = QByteArray::fromStdString(xml);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadStationXml(buffer, {}, error);
}

std::time_t At(const char* text) { return *ParseXmlTime(text); }

TEST(StationXmlReading, RealFilesOfDataCentresRead) {
    // ISO-8859-1, schema 1.0, times without a zone, attributes outside the schema.
    const std::vector<XmlStation> anto = ReadFile("IU.ANTO.30.LDO.xml");
    ASSERT_EQ(anto.size(), 1u);
    EXPECT_EQ(anto[0].network, "IU");
    EXPECT_EQ(anto[0].code, "ANTO");
    EXPECT_EQ(anto[0].start, At("2010-07-23T00:00:00Z"));
    EXPECT_EQ(anto[0].siteName, "Ankara, Turkey");
    ASSERT_EQ(anto[0].channels.size(), 1u);
    EXPECT_EQ(anto[0].channels[0].sensorType, "CI/PAS pressure sensor");

    // A Response element is stepped over; the channel's values around it stay.
    const std::vector<XmlStation> anmo = ReadFile("IU.ANMO.10.BHZ.xml");
    ASSERT_EQ(anmo.size(), 1u);
    ASSERT_EQ(anmo[0].channels.size(), 1u);
    const XmlChannel& bhz = anmo[0].channels[0];
    EXPECT_EQ(bhz.code, "BHZ");
    EXPECT_EQ(bhz.locationCode, "10");
    EXPECT_EQ(bhz.depth, 57.0);
    EXPECT_EQ(bhz.latitude, 34.945913);
    EXPECT_EQ(bhz.dip, -90.0);
    EXPECT_EQ(bhz.sampleRate, 40.0);
    EXPECT_FALSE(bhz.sensorDescription);
}

TEST(StationXmlReading, WhatIsNotWellFormedStationXmlIsRefused) {
    const std::string head = "<?xml version=\"1.0\"?><FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\">";
    const struct {
        const char* name;
        std::string xml;
    } cases[] = {
        {"Truncated", head + "<Network code=\"XX\"><Station code=\"A\" startDate=\"2000-01-01T00:00:00\">"},
        {"OtherRoot", "<?xml version=\"1.0\"?><quakeml/>"},
        {"NotANumber", head + "<Network code=\"XX\"><Station code=\"A\"><Latitude>north</Latitude></Station></Network>"
                              "</FDSNStationXML>"},
        {"NotATime", head + "<Network code=\"XX\"><Station code=\"A\" startDate=\"yesterday\"/></Network></FDSNStationXML>"},
        {"NoStationCode", head + "<Network code=\"XX\"><Station/></Network></FDSNStationXML>"},
        {"Empty", ""},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ReadText(c.xml, error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

// A document the reader refuses is reported with the reader's own reason and
// line; an entity the reader cannot resolve refuses the document rather than
// leaving a value empty.
TEST(StationXmlReading, AFaultIsReportedWhereTheReaderFoundIt) {
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const std::string site = "<FDSNStationXML><Network code=\"XX\"><Station code=\"A\"><Site><Name>";
    const std::string tail = "</Name></Site></Station></Network></FDSNStationXML>\n";
    const struct {
        const char* name;
        std::string xml;
        const char* reported;
    } cases[] = {
        {"BadUtf8OnLineThree", head + "<FDSNStationXML>\n<Network code=\"X\xC0\xFF\"/>\n</FDSNStationXML>\n",
         "строка 3: "},
        {"ExternalEntity",
         head + "<!DOCTYPE FDSNStationXML [<!ENTITY ext SYSTEM \"file:///etc/hostname\">]>\n" + site + "&ext;" + tail,
         "&ext;"},
        {"UndeclaredEntity", head + site + "&nosuch;" + tail, "nosuch"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ReadText(c.xml, error)) << c.name;
        EXPECT_NE(error.find(c.reported), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(error.find("документ пуст"), std::string::npos) << c.name << ": " << error;
    }
}

TEST(StationXmlReading, TimesOfRealFiles) {
    EXPECT_EQ(ParseXmlTime("1970-01-01T00:00:00"), 0);
    EXPECT_EQ(ParseXmlTime("1970-01-01T00:00:01.999999Z"), 1);
    EXPECT_EQ(ParseXmlTime("1970-01-01T03:00:00+03:00"), 0);
    EXPECT_EQ(ParseXmlTime("1969-12-31T23:59:59Z"), -1);
    EXPECT_EQ(ParseXmlTime("2599-12-31T23:59:59"), At("2599-12-31T23:59:59Z"));
    EXPECT_FALSE(ParseXmlTime("2010-07-23"));
    EXPECT_FALSE(ParseXmlTime("2010-07-23T00:00:00 garbage"));
}

// A time the calendar does not have is refused, never carried over.
TEST(StationXmlReading, ImpossibleTimesAreRefused) {
    const struct {
        const char* text;
        bool read;
    } cases[] = {
        {"2020-02-29T00:00:00", true},        {"2021-02-29T00:00:00", false}, {"2020-02-31T00:00:00", false},
        {"2020-04-31T00:00:00", false},       {"2020-01-01T24:00:00", false}, {"2020-01-01T23:60:00", false},
        {"2020-01-01T23:59:60", false},       {"2020-01-01T00:00:00+14:00", true},
        {"2020-01-01T00:00:00-14:00", true},  {"2020-01-01T00:00:00+14:01", false},
        {"2020-01-01T00:00:00+99:99", false}, {"2020-01-01T00:00:00+03:60", false},
        {"0001-01-01T00:00:00Z", true},       {"0000-01-01T00:00:00Z", false},
        {"-001-01-01T00:00:00Z", false},      {"+020-01-01T00:00:00Z", false},
        {"9999-12-31T23:59:59.999999Z", true}, {"2020-1-01T00:00:00", false},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseXmlTime(c.text).has_value(), c.read) << c.text;
}

// The rows a plan gives: "STA CHAN group component" per channel.
std::vector<std::string> Rows(const ImportedStation& station) {
    std::vector<std::string> rows;
    for (const StoredChannel& ch : station.channels)
        rows.push_back(*ch.CHAN + " " + std::to_string(static_cast<int>(*ch.NGROUP)) + " " +
                       std::to_string(static_cast<int>(*ch.CHANINDEX)));
    return rows;
}

TEST(StationImportPlan, EpochAndChannelsAreThoseOfTheChosenTime) {
    const std::vector<XmlStation> epochs = ReadFile("epochs.xml");
    const struct {
        const char* at;
        const char* name;                // EPO's STANAME
        std::vector<std::string> rows;  // EPO's channels
    } cases[] = {
        // Inside the first epoch, after SHN closed.
        {"1995-06-01T00:00:00Z", "Old site", {"SHZ 1 0"}},
        // The second epoch, its first BHZ.
        {"2005-01-01T00:00:00Z", "New site", {"BHZ 1 0"}},
        // Now: HH (100 sps) before BH (20 sps); the pressure channel LDO left out.
        {"2024-05-01T00:00:00Z", "New site", {"HHE 1 2", "BHZ 2 0", "BH1 2 1"}},
    };
    for (const auto& c : cases) {
        std::vector<ImportNote> notes;
        const std::vector<ImportedStation> plan = PlanImport(epochs, At(c.at), notes);
        ASSERT_GE(plan.size(), 1u) << c.at;
        EXPECT_EQ(plan[0].site.STA, "EPO");
        EXPECT_EQ(plan[0].site.STANAME, c.name) << c.at;
        EXPECT_EQ(Rows(plan[0]), c.rows) << c.at;
    }
    std::vector<ImportNote> notes;
    EXPECT_TRUE(PlanImport(epochs, At("1980-01-01T00:00:00Z"), notes).empty());  // nothing had started
    EXPECT_EQ(notes.size(), 2u);
}

TEST(StationImportPlan, ValuesAreMappedAsTheExportsInverse) {
    std::vector<ImportNote> notes;
    const std::vector<ImportedStation> plan = PlanImport(ReadFile("epochs.xml"), At("2024-05-01T00:00:00Z"), notes);
    ASSERT_EQ(plan.size(), 2u);
    const StoredSite& epo = plan[0].site;
    EXPECT_EQ(epo.DESCR, "Новый пункт");  // Site Description before the Station's
    EXPECT_EQ(epo.UNDERGROUND, "granite");
    EXPECT_EQ(epo.ELEV, 150.5);
    EXPECT_EQ(epo.NGROUPS, 2.0);
    EXPECT_FALSE(epo.OFFDATE);
    const StoredChannel& bhz = plan[0].channels[1];
    EXPECT_EQ(bhz.CHAN, "BHZ");
    EXPECT_EQ(bhz.LCODE, "");  // "--"
    EXPECT_EQ(bhz.EDEPH, 2.0);
    EXPECT_EQ(bhz.HANG, -1.0);  // azimuth 0 of a vertical: "not applicable"
    EXPECT_EQ(bhz.VANG, 0.0);
    EXPECT_EQ(bhz.DESCR, "STS-2");
    EXPECT_EQ(bhz.CALIBFILE, "STS-2.resp");
    const StoredChannel& bh1 = plan[0].channels[2];
    EXPECT_EQ(bh1.HANG, 3.5);
    EXPECT_EQ(bh1.VANG, 90.0);
    EXPECT_EQ(plan[0].channels[0].DESCR, "CMG-40T");  // Sensor Type when no Description
    const StoredChannel& ehz = plan[1].channels[0];
    EXPECT_EQ(plan[1].site.STA, "TWO");  // the second network's
    EXPECT_EQ(ehz.LCODE, "");            // two spaces
    EXPECT_EQ(ehz.VANG, 180.0);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].channel, "LDO");
}

XmlChannel Channel(const std::string& code, const std::string& location, double rate) {
    XmlChannel c;
    c.code = code;
    c.locationCode = location;
    c.sampleRate = rate;
    return c;
}

TEST(StationImportPlan, WhatTheFormCannotHoldIsLeftOutOrCutWithANote) {
    XmlStation station;
    station.network = "XX";
    station.code = "GRP";
    station.start = At("2000-01-01T00:00:00Z");
    station.end = At("2001-01-01T00:00:00Z");  // ended before the time asked for
    station.siteName = std::string(60, 'n');
    for (int g = 0; g < 8; ++g) station.channels.push_back(Channel("BHZ", "0" + std::to_string(g), 100 - g));
    station.channels.push_back(Channel("BHZ", "00", 50));  // a second Z in group 1
    XmlChannel closedEarly = Channel("BHN", "00", 100);
    closedEarly.end = At("2000-06-01T00:00:00Z");
    station.channels.push_back(closedEarly);
    XmlChannel closedAtEnd = Channel("BHE", "00", 100);
    closedAtEnd.end = station.end;
    closedAtEnd.sensorDescription = std::string(51, 'd');
    station.channels.push_back(closedAtEnd);

    std::vector<ImportNote> notes;
    const std::vector<ImportedStation> plan = PlanImport({station}, At("2024-01-01T00:00:00Z"), notes);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].site.NGROUPS, 7.0);
    EXPECT_EQ(plan[0].site.STANAME->size(), 50u);
    EXPECT_EQ(Rows(plan[0]), (std::vector<std::string>{"BHZ 1 0", "BHE 1 2", "BHZ 2 0", "BHZ 3 0", "BHZ 4 0",
                                                       "BHZ 5 0", "BHZ 6 0", "BHZ 7 0"}));
    EXPECT_EQ(plan[0].channels[1].DESCR->size(), 50u);
    // STANAME cut, DESCR cut, the eighth group, the second Z, BHN closed before the epoch's end.
    EXPECT_EQ(notes.size(), 5u);
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [](const ImportNote& n) { return n.channel == "BHN"; }));

    // Asked for exactly at the epoch's end, it keeps the channels open at its end.
    notes.clear();
    const std::vector<ImportedStation> atEnd = PlanImport({station}, *station.end, notes);
    ASSERT_EQ(atEnd.size(), 1u);
    EXPECT_EQ(Rows(atEnd[0]), Rows(plan[0]));
}

// A station epoch with its place and one channel, BHZ, for the rule cases.
XmlStation PlacedStation(const std::string& code) {
    XmlStation station;
    station.network = "XX";
    station.code = code;
    station.start = At("2000-01-01T00:00:00Z");
    station.latitude = 43.9;
    station.longitude = 42.7;
    station.elevation = 1054;
    XmlChannel bhz = Channel("BHZ", "00", 20);
    bhz.latitude = 43.9;
    bhz.longitude = 42.7;
    bhz.depth = 0;
    bhz.azimuth = 0;
    bhz.dip = -90;
    station.channels.push_back(bhz);
    return station;
}

// A code comes out as the form stores it, or not at all: a code a database
// could compare equal to another (trailing blank, case) never lands on it.
TEST(StationImportPlan, StationCodesFollowTheOneRule) {
    const struct {
        const char* code;
        const char* planned;  // nullptr: refused, with a note naming it
    } cases[] = {{"KIV", "KIV"}, {"kiv", "KIV"}, {"кив", "КИВ"}, {"KIV ", nullptr}, {" KIV", nullptr},
                 {"K V", nullptr}, {"", nullptr},  {"A\tB", nullptr}, {"ABCDEFGHI", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.code + "'");
        std::vector<ImportNote> notes;
        const std::vector<ImportedStation> plan = PlanImport({PlacedStation(c.code)}, At("2024-01-01T00:00:00Z"), notes);
        if (c.planned) {
            ASSERT_EQ(plan.size(), 1u);
            EXPECT_EQ(plan[0].site.STA, c.planned);
            EXPECT_EQ(plan[0].channels.at(0).STA, c.planned);
            EXPECT_TRUE(notes.empty());
        } else {
            EXPECT_TRUE(plan.empty());
            ASSERT_EQ(notes.size(), 1u);
            EXPECT_EQ(notes[0].station, c.code);
        }
    }
}

// A value the catalogue cannot mean refuses its station or its channel; the
// bounds themselves are taken.
TEST(StationImportPlan, ValuesOutsideTheirRulesAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    enum Outcome { Taken, StationRefused, ChannelRefused };
    const struct {
        const char* name;
        std::function<void(XmlStation&)> change;
        Outcome outcome;
    } cases[] = {
        {"latitude 90", [](XmlStation& s) { s.latitude = 90; }, Taken},
        {"latitude -90", [](XmlStation& s) { s.latitude = -90; }, Taken},
        {"latitude 90.000001", [](XmlStation& s) { s.latitude = 90.000001; }, StationRefused},
        {"latitude -95", [](XmlStation& s) { s.latitude = -95; }, StationRefused},
        {"longitude 180", [](XmlStation& s) { s.longitude = 180; }, Taken},
        {"longitude -180", [](XmlStation& s) { s.longitude = -180; }, Taken},
        {"longitude 400", [](XmlStation& s) { s.longitude = 400; }, StationRefused},
        {"longitude -180.5", [](XmlStation& s) { s.longitude = -180.5; }, StationRefused},
        {"latitude 1e308", [](XmlStation& s) { s.latitude = 1e308; }, StationRefused},
        {"elevation -20000", [](XmlStation& s) { s.elevation = -20000; }, StationRefused},
        {"latitude NaN", [nan](XmlStation& s) { s.latitude = nan; }, StationRefused},
        {"elevation inf", [inf](XmlStation& s) { s.elevation = inf; }, StationRefused},
        {"endDate before startDate", [](XmlStation& s) { s.end = At("1999-01-01T00:00:00Z"); }, StationRefused},
        {"endDate beyond 9999 in UTC", [](XmlStation& s) { s.end = At("9999-12-31T23:00:00-05:00"); },
         StationRefused},
        {"dip -500", [](XmlStation& s) { s.channels[0].dip = -500; }, ChannelRefused},
        {"dip 90", [](XmlStation& s) { s.channels[0].dip = 90; }, Taken},
        {"azimuth 720", [](XmlStation& s) { s.channels[0].azimuth = 720; }, ChannelRefused},
        {"azimuth 360", [](XmlStation& s) { s.channels[0].azimuth = 360; }, Taken},
        {"sample rate -20", [](XmlStation& s) { s.channels[0].sampleRate = -20; }, ChannelRefused},
        {"sample rate inf", [inf](XmlStation& s) { s.channels[0].sampleRate = inf; }, ChannelRefused},
        {"channel latitude NaN", [nan](XmlStation& s) { s.channels[0].latitude = nan; }, ChannelRefused},
        {"channel longitude -inf", [inf](XmlStation& s) { s.channels[0].longitude = -inf; }, ChannelRefused},
        {"depth 20000", [](XmlStation& s) { s.channels[0].depth = 20000; }, ChannelRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XmlStation station = PlacedStation("RUL");
        c.change(station);
        std::vector<ImportNote> notes;
        const std::vector<ImportedStation> plan = PlanImport({station}, At("2024-01-01T00:00:00Z"), notes);
        EXPECT_EQ(plan.size(), c.outcome == StationRefused ? 0u : 1u);
        if (!plan.empty()) {
            EXPECT_EQ(plan[0].channels.size(), c.outcome == ChannelRefused ? 0u : 1u);
        }
        EXPECT_EQ(notes.size(), c.outcome == Taken ? 0u : 1u);
        if (!notes.empty()) {
            EXPECT_EQ(notes[0].channel, c.outcome == ChannelRefused ? "BHZ" : "");
        }
    }
}

// What the import makes of real files passes station-check without errors
// (warnings, such as a missing sensor type, may remain).
TEST(StationImportPlan, RealFilesGiveACatalogueWithoutErrors) {
    Catalogue catalogue;
    for (const char* file : {"IU.ANTO.30.LDO.xml", "IU.ANMO.10.BHZ.xml", "epochs.xml"}) {
        std::vector<ImportNote> notes;
        for (ImportedStation& station : PlanImport(ReadFile(file), At("2013-01-01T00:00:00Z"), notes)) {
            KeepStoredColumns(station, nullptr, notes);
            catalogue.sites.push_back(station.site);
            for (StoredChannel& ch : station.channels) catalogue.channels.push_back(ch);
        }
    }
    catalogue.allSites = catalogue.sites;
    catalogue.Index();
    ASSERT_EQ(catalogue.sites.size(), 4u);
    for (const Finding& f : CheckCatalogue(catalogue, {}))
        EXPECT_EQ(f.severity, Severity::Warning) << f.station << " " << f.channel << " " << f.rule << ": " << f.message;
}

class StationImportProgramTest : public CatalogueFixture {
protected:
    struct Run {
        int exit = -1;
        std::string out, err;
    };
    // Starts the program on the backend of the run; Finish waits for it.
    // `zone`, when given, is the program's TZ.
    std::unique_ptr<QProcess> Launch(const QString& program, QStringList args, const char* zone = nullptr) {
        const Backend& backend = CurrentBackend();
        args << QString::fromStdString("ODBC=" + backend.dsn) << QString::fromStdString("USER=" + backend.user)
             << QString::fromStdString("PASSWORD=" + backend.password);
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZRN_INI", dir_.filePath("zrn.ini"));
        if (zone) env.insert("TZ", zone);
        process->setProcessEnvironment(env);
        process->start(program, args);
        EXPECT_TRUE(process->waitForStarted(30000));
        return process;
    }
    static Run Finish(QProcess& process) {
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    }
    Run Start(const QString& program, QStringList args, const char* zone = nullptr) {
        return Finish(*Launch(program, std::move(args), zone));
    }

    // A StationXML file of the stations `codes`, each with `groups` channel
    // groups of Z, N and E (HH, BH, LH: 100, 20 and 1 samples per second)
    // and coordinates with more decimals than SITE stores.
    QString StationsFile(const QString& name, const std::vector<std::string>& codes, int groups) {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\" schemaVersion=\"1.2\">\n"
                          "<Source>tests</Source><Created>2024-05-01T00:00:00Z</Created>\n"
                          "<Network code=\"XX\" startDate=\"2000-01-01T00:00:00Z\">\n";
        const std::pair<const char*, const char*> bands[] = {{"HH", "100"}, {"BH", "20"}, {"LH", "1"}};
        for (const std::string& code : codes) {
            xml += "<Station code=\"" + code + "\" startDate=\"2000-01-01T00:00:00Z\">\n"
                   "<Latitude>55.123456789</Latitude><Longitude>37.987654321</Longitude>"
                   "<Elevation>150.1234567</Elevation><Site><Name>Site " + code + "</Name></Site>\n";
            for (int g = 0; g < groups; ++g)
                for (const auto& [letter, dip] : {std::pair{'Z', "-90"}, {'N', "0"}, {'E', "0"}})
                    xml += std::string("<Channel code=\"") + bands[g].first + letter +
                           "\" locationCode=\"\" startDate=\"2000-01-01T00:00:00Z\"><Latitude>55.1</Latitude>"
                           "<Longitude>37.9</Longitude><Elevation>150</Elevation><Depth>0</Depth><Azimuth>" +
                           (letter == 'E' ? "90" : "0") + "</Azimuth><Dip>" + dip + "</Dip><SampleRate>" +
                           bands[g].second + "</SampleRate><Sensor><Description>STS-2</Description></Sensor>"
                           "</Channel>\n";
            xml += "</Station>\n";
        }
        xml += "</Network>\n</FDSNStationXML>\n";
        QFile file(dir_.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(xml.data(), static_cast<qint64>(xml.size()));
        return file.fileName();
    }

    // The station's NGROUPS and its number of SITECHAN rows.
    std::pair<double, size_t> Groups(const std::string& code) {
        const Catalogue stored = ReadCatalogue(session_, {code});
        if (stored.sites.empty()) return {-1, 0};
        return {stored.sites[0].NGROUPS.value_or(-1), stored.ChannelsOf(code).size()};
    }
    // Writes a StationXML document of one network holding `stations`.
    QString WriteFile(const char* name, const std::string& stations) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\" schemaVersion=\"1.2\">"
            "<Source>test</Source><Created>2024-05-01T00:00:00Z</Created><Network code=\"XX\">" +
            stations + "</Network></FDSNStationXML>\n"));
        return path;
    }
    QTemporaryDir dir_;
};

// A Station element; `place` is its Latitude, Longitude and Elevation
// elements, `channels` its Channel elements.
std::string StationElement(const std::string& code, const std::string& place, const std::string& channels = {},
                           const std::string& dates = "startDate=\"2000-01-01T00:00:00Z\"") {
    return "<Station code=\"" + code + "\" " + dates + ">" + place + "<Site><Name>" + code + "</Name></Site>" +
           channels + "</Station>";
}
const std::string kPlace = "<Latitude>43.5</Latitude><Longitude>42.5</Longitude><Elevation>100</Elevation>";

std::string ChannelElement(const std::string& code, const std::string& dip) {
    return "<Channel code=\"" + code + "\" locationCode=\"\" startDate=\"2000-01-01T00:00:00Z\"><Latitude>43.5</Latitude>"
           "<Longitude>42.5</Longitude><Elevation>100</Elevation><Depth>0</Depth><Azimuth>0</Azimuth><Dip>" +
           dip + "</Dip><SampleRate>20</SampleRate></Channel>";
}

// The export of a station read back by the import's dry run is the station
// unchanged; a changed catalogue shows each change, hostile text included;
// nothing is written.
TEST_F(StationImportProgramTest, DryRunOfTheExportShowsOnlyWhatDiffers) {
    LoadDemo();
    const std::string hostile = "O'Brien \"<&>\" ]]> Кисловодск";
    Execute({"UPDATE SITE SET STANAME=" + SqlQuote(hostile) + " WHERE STA='ARU'"});
    const QString file = dir_.filePath("aru.xml");
    ASSERT_EQ(Start(SE_STATION_EXPORT, {"--stationxml", "ARU", "OBN1", "-o", file}).exit, 0);

    const Run same = Start(SE_STATION_IMPORT, {"--stationxml", file, "--dry-run"});
    EXPECT_EQ(same.exit, 0) << same.err;
    EXPECT_EQ(same.out, "ARU: без изменений\nOBN1: без изменений\n"
                        "Станций: 2 (новых 0, изменённых 0, без изменений 2). Пробный прогон: ничего не записано.\n");

    Execute({"UPDATE SITE SET STANAME='Arti', LAT=56.5 WHERE STA='ARU'",
             "UPDATE SITECHAN SET SPS=40 WHERE STA='ARU' AND CHAN='BHN'",
             "DELETE FROM SITECHAN WHERE STA='ARU' AND CHAN='BHE'",
             "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, SPS, LCODE) VALUES ('ARU', 'SHZ', 1, 0, 40, '')",
             "DELETE FROM SITECHAN WHERE STA='OBN1'", "DELETE FROM SITE WHERE STA='OBN1'"});
    const auto before = StoredCatalogue();
    const Run changed = Start(SE_STATION_IMPORT, {"--stationxml", file, "--dry-run"});
    EXPECT_EQ(changed.exit, 0) << changed.err;
    for (const std::string& line :
         {std::string("ARU: изменена\n"), std::string("  LAT: 56.5 -> 56.4302\n"), "  STANAME: 'Arti' -> '" + hostile + "'\n",
          std::string("  канал BHN (группа 1, компонента 1): изменён: SPS: 40 -> 20\n"),
          std::string("  канал BHE (группа 1, компонента 2): добавлен\n"),
          std::string("  канал SHZ (группа 1, компонента 0): удалён\n"), std::string("OBN1: новая\n")})
        EXPECT_NE(changed.out.find(line), std::string::npos) << line << "\n" << changed.out;
    // Nothing written, also where the driver does not refuse writes on a
    // session asked to be read-only (SQLite, MariaDB).
    EXPECT_EQ(StoredCatalogue(), before);

    const Run broken = Start(SE_STATION_IMPORT, {"--stationxml", QString::fromStdString(DataFile("README.md")), "--dry-run"});
    EXPECT_EQ(broken.exit, 2);
    EXPECT_NE(broken.err.find("не является правильным StationXML"), std::string::npos) << broken.err;
}

// Makes the database refuse a new SITECHAN row of station `sta`.
std::vector<std::string> RefuseChannelInsertTrigger(const std::string& backendName, const std::string& sta) {
    if (backendName == "postgres")
        return {"CREATE OR REPLACE FUNCTION REFUSE_CHANNEL() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION "
                "'channel refused'; END $$ LANGUAGE plpgsql",
                "CREATE TRIGGER NO_CHANNEL BEFORE INSERT ON SITECHAN FOR EACH ROW WHEN (NEW.STA = " + SqlQuote(sta) +
                    ") EXECUTE FUNCTION REFUSE_CHANNEL()"};
    // MariaDB's driver cannot send a compound body: the key column is made
    // NULL, which its NOT NULL refuses.
    if (backendName == "mariadb")
        return {"CREATE TRIGGER NO_CHANNEL BEFORE INSERT ON SITECHAN FOR EACH ROW "
                "SET NEW.NGROUP = IF(NEW.STA = " + SqlQuote(sta) + ", NULL, NEW.NGROUP)"};
    return {"CREATE TRIGGER NO_CHANNEL BEFORE INSERT ON SITECHAN WHEN NEW.STA = " + SqlQuote(sta) +
            " BEGIN SELECT RAISE(ABORT, 'channel refused'); END"};
}

// A station whose channel row the database refuses is not written at all:
// its SITE row stays as it was, as do its other channel rows and every
// other station; the run names it and exits 2.
TEST_F(StationImportProgramTest, AStationWhoseChannelIsRefusedIsLeftAsItWas) {
    LoadDemo();
    const QString file = dir_.filePath("aru.xml");
    ASSERT_EQ(Start(SE_STATION_EXPORT, {"--stationxml", "ARU", "-o", file}).exit, 0);
    // The import changes the SITE row back and must insert the missing channel.
    Execute({"UPDATE SITE SET STANAME='Arti', LAT=56.5 WHERE STA='ARU'",
             "DELETE FROM SITECHAN WHERE STA='ARU' AND CHAN='BHE'"});
    Execute(RefuseChannelInsertTrigger(CurrentBackend().name, "ARU"));
    const auto before = StoredCatalogue();
    const Run run = Start(SE_STATION_IMPORT, {"--stationxml", file});
    EXPECT_EQ(run.exit, 2) << run.err;
    EXPECT_NE(run.err.find("станция ARU не записана"), std::string::npos) << run.err;
    EXPECT_EQ(StoredCatalogue(), before);
}

// On a catalogue of only the base tables the import fails as the other
// programs do: with the hint that station-upgrade adds what is missing.
TEST_F(StationImportProgramTest, BaseTablesOnlyGiveTheUpgradeHint) {
    CreateBaseTables(session_);
    for (const QStringList& mode : {QStringList{}, QStringList{"--dry-run"}}) {
        const Run run = Start(SE_STATION_IMPORT, QStringList{"--stationxml", QString::fromStdString(DataFile("epochs.xml"))} + mode);
        EXPECT_EQ(run.exit, 2) << run.err;
        EXPECT_NE(run.err.find("их добавляет station-upgrade"), std::string::npos) << run.err;
    }
}

// Text columns compare NULL equal to empty: the save stores an empty text.
std::optional<std::string> Text(const std::optional<std::string>& value) {
    return value && !value->empty() ? value : std::nullopt;
}

// Every line of a report but its last (the count, which says whether it
// was written).
std::string ReportLines(const std::string& out) {
    const size_t last = out.rfind('\n', out.size() >= 2 ? out.size() - 2 : 0);
    return last == std::string::npos ? std::string() : out.substr(0, last + 1);
}

// Each real file (and one with more decimals than SITE stores) imported
// into an empty catalogue, then again at another time over the columns the
// operator keeps locally: each import writes what its report says (the
// report is the dry run's), the rows read back as planned with the local
// columns kept, a closing date the epoch lacks is cleared, every channel
// left out is named, and imported again the file changes nothing.
TEST_F(StationImportProgramTest, ImportWritesWhatItsReportSays) {
    const QString generated = StationsFile("decimals.xml", {"DEC"}, 2);
    const struct {
        QString file;
        const char* first;
        const char* second;
        const char* leftOut;  // a channel the first import names as left out
    } cases[] = {
        {QString::fromStdString(DataFile("IU.ANMO.10.BHZ.xml")), "2013-01-01T00:00:00", "2024-05-01T00:00:00", nullptr},
        {QString::fromStdString(DataFile("IU.ANTO.30.LDO.xml")), "2011-01-01T00:00:00", "2024-05-01T00:00:00", nullptr},
        // The first epoch (closing in 2000, SHN closed in 1995), then the open one.
        {QString::fromStdString(DataFile("epochs.xml")), "1999-06-01T00:00:00", "2024-05-01T00:00:00", "SHN"},
        {generated, "2013-01-01T00:00:00", "2024-05-01T00:00:00", nullptr},
    };
    const std::string local = "DESCR='Местное имя', COD='LOC', REFSTA='REF', DNORTH=1.25, DEAST=-0.5, STATYPE='ss'";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        CreateStationTables(session_);
        for (const char* at : {c.first, c.second}) {
            SCOPED_TRACE(at);
            const bool again = at == c.second;
            if (again) Execute({"UPDATE SITE SET " + local + ", UNDERGROUND='скала'"});
            const Catalogue before = ReadCatalogue(session_, {});
            std::vector<ImportNote> notes;
            QFile input(c.file);
            ASSERT_TRUE(input.open(QIODevice::ReadOnly));
            std::string error;
            std::vector<ImportedStation> plan = PlanImport(*ReadStationXml(input, {}, error), *ParseXmlTime(at), notes);
            ASSERT_FALSE(plan.empty());

            const Run dry = Start(SE_STATION_IMPORT, {"--stationxml", c.file, "--at", at, "--dry-run"});
            const Run run = Start(SE_STATION_IMPORT, {"--stationxml", c.file, "--at", at});
            EXPECT_EQ(run.exit, notes.empty() ? 0 : 1) << run.err;
            EXPECT_NE(run.out.find("записаны в базу"), std::string::npos) << run.out;
            EXPECT_EQ(ReportLines(run.out), ReportLines(dry.out));
            if (c.leftOut && !again) {
                EXPECT_NE(run.err.find(std::string(" ") + c.leftOut + ": канал не загружен"), std::string::npos)
                    << run.err;
            }
            const Run repeated = Start(SE_STATION_IMPORT, {"--stationxml", c.file, "--at", at, "--dry-run"});
            EXPECT_EQ(repeated.out.find("изменена"), std::string::npos) << repeated.out;
            EXPECT_EQ(repeated.out.find("новая"), std::string::npos) << repeated.out;

            for (ImportedStation& planned : plan) {
                const std::string code = *planned.site.STA;
                const std::optional<std::string> geology = planned.site.UNDERGROUND;
                const bool existed = before.FindSite(code) != nullptr;
                KeepStoredColumns(planned, before.FindSite(code), notes);
                const Catalogue stored = ReadCatalogue(session_, {code});
                ASSERT_EQ(stored.sites.size(), 1u) << code;
                const StoredSite& site = stored.sites[0];
                if (existed) {
                    // What the file has no counterpart for stays as kept locally.
                    EXPECT_EQ(site.DESCR, "Местное имя");
                    EXPECT_EQ(site.COD, "LOC");
                    EXPECT_EQ(site.REFSTA, "REF");
                    EXPECT_EQ(site.DNORTH, 1.25);
                    EXPECT_EQ(site.DEAST, -0.5);
                    EXPECT_EQ(site.STATYPE, "ss");
                    EXPECT_EQ(site.UNDERGROUND, geology.value_or("скала"));
                }
                EXPECT_EQ(site.COD, planned.site.COD);
                EXPECT_EQ(site.LAT, planned.site.LAT);
                EXPECT_EQ(site.LON, planned.site.LON);
                EXPECT_EQ(site.ELEV, planned.site.ELEV);
                EXPECT_EQ(Text(site.STANAME), Text(planned.site.STANAME));
                EXPECT_EQ(Text(site.DESCR), Text(planned.site.DESCR));
                EXPECT_EQ(Text(site.UNDERGROUND), Text(planned.site.UNDERGROUND));
                EXPECT_EQ(site.ONDATE, planned.site.ONDATE);
                EXPECT_EQ(site.OFFDATE, planned.site.OFFDATE);
                EXPECT_EQ(site.NGROUPS, planned.site.NGROUPS);
                EXPECT_TRUE(site.NINDEX && *site.NINDEX > 0);
                const std::span<const StoredChannel> rows = stored.ChannelsOf(code);
                ASSERT_EQ(rows.size(), planned.channels.size()) << code;
                for (size_t i = 0; i < rows.size(); ++i) {
                    const StoredChannel &got = rows[i], &want = planned.channels[i];
                    SCOPED_TRACE(*want.CHAN);
                    EXPECT_EQ(got.CHAN, want.CHAN);
                    EXPECT_EQ(got.NGROUP, want.NGROUP);
                    EXPECT_EQ(got.CHANINDEX, want.CHANINDEX);
                    for (const auto& [column, a, b] :
                         {std::tuple{"SPS", got.SPS, want.SPS}, {"HANG", got.HANG, want.HANG},
                          {"VANG", got.VANG, want.VANG}, {"EDEPH", got.EDEPH, want.EDEPH}, {"LAT", got.LAT, want.LAT},
                          {"LON", got.LON, want.LON}})
                        EXPECT_EQ(a, b) << column;
                    EXPECT_EQ(Text(got.DESCR), Text(want.DESCR));
                    EXPECT_EQ(Text(got.CALIBFILE), Text(want.CALIBFILE));
                    EXPECT_EQ(Text(got.LCODE), Text(want.LCODE));
                }
            }
        }
    }
}

// Import B waits for station T19, held by another session; meanwhile A is
// imported for T20 alone, and the holder changes T19's local columns and
// commits. Every station then ends as one serial order of the writers
// leaves it, and B's report says what B wrote.
TEST_F(StationImportProgramTest, TwoImportsAtOnceLeaveEachStationAsOneSerialOrder) {
    CreateStationTables(session_);
    const QString a = StationsFile("a.xml", {"T19", "T20"}, 3), b = StationsFile("b.xml", {"T19", "T20"}, 2);
    ASSERT_EQ(Start(SE_STATION_IMPORT, {"--stationxml", a}).exit, 0);
    Execute({"DELETE FROM SITECHAN WHERE STA='T20'", "DELETE FROM SITE WHERE STA='T20'"});

    // SQLite locks the whole file, and its driver waits 3 s for it: shorter holds there.
    const bool sqlite = CurrentBackend().name == "sqlite";
    const int settle = sqlite ? 800 : 2000;
    ASSERT_TRUE(session_.BeginTransaction());
    Execute({sqlite ? "update SITE set STA=STA where 1=0" : "select STA from SITE where STA='T19' for update"});
    const std::unique_ptr<QProcess> importB = Launch(SE_STATION_IMPORT, {"--stationxml", b});
    std::this_thread::sleep_for(std::chrono::milliseconds(settle));  // B reads, then waits for T19
    const std::unique_ptr<QProcess> importA = Launch(SE_STATION_IMPORT, {"--stationxml", a, "T20"});
    importA->waitForFinished(settle);  // done at once where nothing keeps it waiting
    Execute({"UPDATE SITE SET COD='X19', REFSTA='T20', DNORTH=1.5, DEAST=-2.5 WHERE STA='T19'"});
    ASSERT_TRUE(session_.CommitTransaction());
    const Run ranB = Finish(*importB), ranA = Finish(*importA);
    EXPECT_EQ(ranB.exit, 0) << ranB.err;
    EXPECT_EQ(ranA.exit, 0) << ranA.err;

    const Catalogue stored = ReadCatalogue(session_, {"T19"});
    ASSERT_EQ(stored.sites.size(), 1u);
    EXPECT_EQ(stored.sites[0].COD, "X19");
    EXPECT_EQ(stored.sites[0].REFSTA, "T20");
    EXPECT_EQ(stored.sites[0].DNORTH, 1.5);
    EXPECT_EQ(stored.sites[0].DEAST, -2.5);
    EXPECT_EQ(Groups("T19"), (std::pair<double, size_t>{2, 6}));
    // B first, then A (B found T20 new), or A first, then B.
    const std::pair<double, size_t> t20 = Groups("T20");
    const bool bFoundItNew = ranB.out.find("T20: новая") != std::string::npos;
    const std::pair<double, size_t> serial = bFoundItNew ? std::pair<double, size_t>(3, 9) : std::pair<double, size_t>(2, 6);
    EXPECT_EQ(t20, serial) << ranB.out;
}

// Two imports creating stations at once, five of them the same: no NINDEX
// is given twice, and the second creator of a station updates it.
TEST_F(StationImportProgramTest, TwoCreatorsAtOnceGiveEveryStationItsOwnIndex) {
    CreateStationTables(session_);
    std::vector<std::string> first, second;
    for (int i = 1; i <= 10; ++i) {
        first.push_back("N" + std::to_string(10 + i));
        second.push_back("M" + std::to_string(10 + i));
    }
    for (int i = 1; i <= 5; ++i) {
        first.push_back("S" + std::to_string(10 + i));
        second.push_back("S" + std::to_string(10 + i));
    }
    const std::unique_ptr<QProcess> one = Launch(SE_STATION_IMPORT, {"--stationxml", StationsFile("1.xml", first, 1)});
    const std::unique_ptr<QProcess> two = Launch(SE_STATION_IMPORT, {"--stationxml", StationsFile("2.xml", second, 1)});
    const Run ranOne = Finish(*one), ranTwo = Finish(*two);
    EXPECT_EQ(ranOne.exit, 0) << ranOne.err;
    EXPECT_EQ(ranTwo.exit, 0) << ranTwo.err;
    const Catalogue stored = ReadCatalogue(session_, {});
    std::set<double> indexes;
    for (const StoredSite& site : stored.allSites) {
        ASSERT_TRUE(site.NINDEX) << *site.STA;
        EXPECT_TRUE(indexes.insert(*site.NINDEX).second) << *site.STA << " NINDEX " << *site.NINDEX;
    }
    EXPECT_EQ(stored.allSites.size(), 25u);
}

// The demo catalogue exported, imported into an empty catalogue and exported
// again gives the same StationXML, hostile text included.
TEST_F(StationImportProgramTest, ExportImportExportRoundTripKeepsTheStations) {
    LoadDemo();
    const std::string hostile = "O'Brien \"<&>\" ]]> Кисловодск \\n";
    Execute({"UPDATE SITE SET STANAME=" + SqlQuote(hostile) + " WHERE STA='ARU'"});
    const QString first = dir_.filePath("first.xml"), second = dir_.filePath("second.xml");
    const Run exported = Start(SE_STATION_EXPORT, {"--stationxml", "-o", first});
    ASSERT_LE(exported.exit, 1) << exported.err;

    CreateStationTables(session_);
    const Run imported = Start(SE_STATION_IMPORT, {"--stationxml", first});
    EXPECT_LE(imported.exit, 1) << imported.err;
    const Run again = Start(SE_STATION_EXPORT, {"--stationxml", "-o", second});
    ASSERT_LE(again.exit, 1) << again.err;

    // Everything but the time of writing; a station's channels in the order
    // of their text, since the import numbers the groups by sample rate.
    const auto content = [](const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        std::istringstream in(file.readAll().toStdString());
        std::string text, line, channel;
        std::vector<std::string> channels;
        while (std::getline(in, line)) {
            if (line.find("<Created>") != std::string::npos) continue;
            if (line.find("<Channel ") != std::string::npos || !channel.empty()) {
                channel += line + "\n";
                if (line.find("</Channel>") != std::string::npos) channels.push_back(std::exchange(channel, {}));
                continue;
            }
            std::sort(channels.begin(), channels.end());
            for (const std::string& c : channels) text += c;
            channels.clear();
            text += line + "\n";
        }
        return text;
    };
    // Line by line, so that a failure names the first line that differs.
    std::istringstream a(content(first)), b(content(second));
    std::string lineA, lineB;
    for (int line = 1; std::getline(a, lineA);) {
        ASSERT_TRUE(std::getline(b, lineB)) << "line " << line << ": second export ends";
        ASSERT_EQ(lineA, lineB) << "line " << line;
        ++line;
    }
    EXPECT_FALSE(std::getline(b, lineB)) << "second export goes on: " << lineB;
}

// The catalogue as it stood before an import, read from the journal, is the
// export made then, byte for byte, in each format; the stations changed since
// are the import's; a change made outside the programs since is named.
TEST_F(StationImportProgramTest, ExportAsOfATimeBeforeAnImportIsTheExportMadeThen) {
    LoadDemo();
    // A journal of this test's own; later tests find neither the table nor
    // this process's memory of it.
    struct OwnJournal {
        TableDropGuard table;
        ~OwnJournal() { ForgetJournalState(); }
    } const journal{{session_, "STATION_JOURNAL"}};
    ForgetJournalState();
    ASSERT_TRUE(EnsureJournalTable(session_).available);
    const auto content = [](const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        return file.readAll().toStdString();
    };
    const std::vector<QStringList> formats = {{"--text", "--level", "channel"}, {"--geojson"}};
    for (size_t i = 0; i < formats.size(); ++i) {
        const Run made = Start(SE_STATION_EXPORT, formats[i] + QStringList{"-o", dir_.filePath(QString("then%1").arg(i))});
        ASSERT_EQ(made.exit, 0) << made.err;
    }
    // The journal's times are the database's clock in UTC, TIME is in whole
    // seconds: it falls after the writes of the tests before (a second
    // later) and before the import (a second earlier).
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const QString then = QString::fromStdString(WallClockText(UtcWallClock(std::time(nullptr))));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const Run imported = Start(SE_STATION_IMPORT, {"--stationxml", StationsFile("import.xml", {"ARU", "ZZNEW"}, 2)});
    ASSERT_LE(imported.exit, 1) << imported.err;

    for (size_t i = 0; i < formats.size(); ++i) {
        const QString path = dir_.filePath(QString("asof%1").arg(i));
        const Run past = Start(SE_STATION_EXPORT, formats[i] + QStringList{"--as-of", then, "-o", path});
        EXPECT_EQ(past.exit, 0) << past.err;
        EXPECT_EQ(content(path), content(dir_.filePath(QString("then%1").arg(i)))) << formats[i].front().toStdString();
    }
    const Run changed = Start(SE_STATION_EXPORT, {"--text", "--network", "ZR", "--changed-since", then});
    EXPECT_EQ(changed.exit, 0) << changed.err;
    EXPECT_EQ(std::count(changed.out.begin(), changed.out.end(), '\n'), 3) << changed.out;
    EXPECT_NE(changed.out.find("\nZR|ARU|"), std::string::npos) << changed.out;
    EXPECT_NE(changed.out.find("\nZR|ZZNEW|"), std::string::npos) << changed.out;

    Execute({"UPDATE SITE SET STANAME='changed by hand' WHERE STA='ARU'"});
    const Run noted = Start(SE_STATION_EXPORT, {"--text", "--as-of", then, "-o", dir_.filePath("noted")});
    EXPECT_EQ(noted.exit, 1) << noted.err;
    EXPECT_EQ(noted.err.rfind("ARU ", 0), 0u) << noted.err;
}

double Number(const std::optional<std::string>& value) { return value ? std::stod(*value) : -1e300; }

// What breaks a rule is not written and the import exits 2, the rest is
// written; a value the file does not give never becomes 0.
TEST_F(StationImportProgramTest, RefusedStationsAndChannelsAreNotWrittenAndExitTwo) {
    LoadDemo();
    const std::string before = *QueryValue(session_, "select ELEV from SITE where STA='KIV'");
    const QString file = WriteFile(
        "rules.xml",
        StationElement("KIV", "<Latitude>43.9</Latitude><Longitude>42.6</Longitude>") +  // no Elevation
            StationElement("OBN1 ", kPlace) +                                          // a trailing blank
            StationElement("NOPL", "<Latitude>43.5</Latitude><Longitude>42.5</Longitude>") +  // new, no Elevation
            StationElement("FAR", "<Latitude>95</Latitude><Longitude>42.5</Longitude><Elevation>1</Elevation>") +
            StationElement("chn", kPlace, ChannelElement("BHZ", "-90") + ChannelElement("BHN", "-500")) +
            StationElement("ARU", kPlace, ChannelElement("BHZ", "-90") + ChannelElement("BHN", "-500")));
    const Run run = Start(SE_STATION_IMPORT, {"--stationxml", file});
    EXPECT_EQ(run.exit, 2) << run.err;
    for (const char* named : {"OBN1 ", "NOPL", "FAR", "BHN"})
        EXPECT_NE(run.err.find(named), std::string::npos) << named << "\n" << run.err;

    EXPECT_EQ(QueryValue(session_, "select ELEV from SITE where STA='KIV'"), before);
    EXPECT_EQ(QueryValue(session_, "select DNORTH from SITE where STA='KIV'"), std::nullopt);
    EXPECT_EQ(QueryValue(session_, "select STANAME from SITE where STA='OBN1'"), "Obninsk site 1");
    EXPECT_EQ(QueryValue(session_, "select count(*) from SITE where STA in ('NOPL','FAR')"), "0");
    EXPECT_EQ(QueryValue(session_, "select count(*) from SITE where STA='CHN'"), "1");
    EXPECT_EQ(QueryValue(session_, "select count(*) from SITECHAN where STA='CHN'"), "1");
    // A refused channel of an existing station keeps its stored row.
    EXPECT_EQ(Number(QueryValue(session_, "select VANG from SITECHAN where STA='ARU' and CHAN='BHN'")), 90.0);

    const Run emptyAt = Start(SE_STATION_IMPORT, {"--stationxml", file, "--at", "", "--dry-run"});
    EXPECT_EQ(emptyAt.exit, 2);
    EXPECT_NE(emptyAt.err.find("--at ''"), std::string::npos) << emptyAt.err;
}

// A file's times are stored as their UTC wall-clock time and exported as
// such, whatever the zone the programs run in.
TEST_F(StationImportProgramTest, TimesAreUtcWhateverTheProcessZone) {
    const QString file = WriteFile(
        "times.xml",
        StationElement("IRI", kPlace, {}, "startDate=\"2008-06-30T20:00:00\" endDate=\"2599-12-31T23:59:59\"") +
            StationElement("END", kPlace, {}, "startDate=\"2000-01-01T00:00:00Z\" endDate=\"9999-12-31T23:59:59.999999Z\""));
    for (const char* zone : {"UTC", "Europe/Moscow", "Asia/Kamchatka"}) {
        SCOPED_TRACE(zone);
        CreateStationTables(session_);
        const Run imported = Start(SE_STATION_IMPORT, {"--stationxml", file, "--at", "2024-01-01"}, zone);
        ASSERT_EQ(imported.exit, 0) << imported.err;
        const Catalogue stored = ReadCatalogue(session_, {"IRI", "END"});
        ASSERT_EQ(stored.sites.size(), 2u);
        const StoredSite* iri = stored.FindSite("IRI");
        const StoredSite* end = stored.FindSite("END");
        ASSERT_TRUE(iri && end && iri->ONDATE && iri->OFFDATE && end->OFFDATE);
        EXPECT_EQ(WallClockText(*iri->ONDATE), "2008-06-30 20:00:00");
        EXPECT_EQ(WallClockText(*iri->OFFDATE), "2599-12-31 23:59:59");
        EXPECT_EQ(WallClockText(*end->OFFDATE), "9999-12-31 23:59:59");

        const QString exported = dir_.filePath("times-out.xml");
        ASSERT_LE(Start(SE_STATION_EXPORT, {"--stationxml", "IRI", "-o", exported}, zone).exit, 1);
        QFile out(exported);
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        const std::string xml = out.readAll().toStdString();
        EXPECT_NE(xml.find("startDate=\"2008-06-30T20:00:00Z\" endDate=\"2599-12-31T23:59:59Z\""), std::string::npos)
            << xml;
    }
}

}  // namespace

// Ends the import's connection from the server, or on SQLite the import
// itself, while it writes a file of many stations: every station is then
// whole (its SITE row with all its channel rows) or absent, each one
// stored has exactly one journal entry, and the stations the report names
// as written are those stored (on SQLite, whose import dies with its
// unwritten output, some of them).
TEST_F(StationImportProgramTest, AnImportEndedInTheMiddleLeavesEveryStationWholeOrAbsent) {
    CreateStationTables(session_);
    struct OwnJournal {
        TableDropGuard table;
        ~OwnJournal() { ForgetJournalState(); }
    } const journal{{session_, "STATION_JOURNAL"}};
    ForgetJournalState();
    ASSERT_TRUE(EnsureJournalTable(session_).available);
    std::vector<std::string> codes;
    for (int i = 0; i < 1500; ++i) codes.push_back("K" + std::to_string(1000 + i));
    const QString file = StationsFile("many.xml", codes, 3);

    const std::string backend = CurrentBackend().name;
    const std::unique_ptr<QProcess> import = Launch(SE_STATION_IMPORT, {"--stationxml", file});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    // Its report is taken in meanwhile, so that a full pipe never holds it.
    while (CountRows(session_, "SITE") < 200 && std::chrono::steady_clock::now() < deadline)
        import->waitForReadyRead(20);
    ASSERT_GE(CountRows(session_, "SITE"), 200) << "the import wrote too little to be ended in the middle";
    ASSERT_EQ(import->state(), QProcess::Running) << "the import ended before it could be ended in the middle";
    if (backend == "sqlite") {
        import->kill();
    } else {
        const bool postgres = backend == "postgres";
        for (const TextRow& row :
             QueryRows(session_, postgres ? "select pid from pg_stat_activity where datname=current_database() "
                                            "and pid<>pg_backend_pid()"
                                          : "select id from information_schema.processlist where db=database() "
                                            "and id<>connection_id()"))
            Execute({postgres ? "select pg_terminate_backend(" + *row[0] + ", 5000)" : "kill connection " + *row[0]});
    }
    const Run run = Finish(*import);

    const Catalogue stored = ReadCatalogue(session_, {});
    std::set<std::string> whole;
    for (const StoredSite& site : stored.allSites) {
        EXPECT_EQ(stored.ChannelsOf(*site.STA).size(), 9u) << *site.STA;
        whole.insert(*site.STA);
    }
    EXPECT_EQ(CountRows(session_, "SITECHAN"), static_cast<long>(9 * whole.size()));
    std::multiset<std::string> journaled;
    for (const TextRow& row : QueryRows(session_, "select STA from STATION_JOURNAL")) journaled.insert(*row[0]);
    EXPECT_EQ(journaled, std::multiset<std::string>(whole.begin(), whole.end()));
    std::set<std::string> reported;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        if (line.size() > 1 && line[0] == 'K' && line.find(": новая") != std::string::npos)
            reported.insert(line.substr(0, line.find(':')));
    if (backend == "sqlite")
        EXPECT_TRUE(std::includes(whole.begin(), whole.end(), reported.begin(), reported.end()));
    else
        EXPECT_EQ(reported, whole) << run.err.substr(0, 2000);
}

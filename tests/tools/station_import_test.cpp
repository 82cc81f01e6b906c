// station-import's reading, epoch choice, mapping and grouping on real
// StationXML files of data centres and on epochs written for the purpose;
// its dry run against the catalogue on every backend.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "db/sql_text.h"
#include "tests/support/backend.h"
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
    EXPECT_EQ(notes.size(), 4u);  // STANAME cut, DESCR cut, the eighth group, the second Z
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
    Run Start(const QString& program, QStringList args) {
        const Backend& backend = CurrentBackend();
        args << QString::fromStdString("ODBC=" + backend.dsn) << QString::fromStdString("USER=" + backend.user)
             << QString::fromStdString("PASSWORD=" + backend.password);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZRN_INI", dir_.filePath("zrn.ini"));
        process.setProcessEnvironment(env);
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    }
    QTemporaryDir dir_;
};

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

// Real files imported into an empty catalogue read back as planned, with the
// channels' orientation, depth and coordinates; a second import changes nothing.
TEST_F(StationImportProgramTest, ImportIntoAnEmptyCatalogueReadsBackAsPlanned) {
    CreateStationTables(session_);
    for (const char* name : {"IU.ANMO.10.BHZ.xml", "epochs.xml"}) {
        SCOPED_TRACE(name);
        std::vector<ImportNote> notes;
        std::vector<ImportedStation> plan = PlanImport(ReadFile(name), At("2024-05-01T00:00:00Z"), notes);
        ASSERT_FALSE(plan.empty());
        const Run run = Start(SE_STATION_IMPORT, {"--stationxml", QString::fromStdString(DataFile(name)), "--at",
                                                  "2024-05-01T00:00:00"});
        EXPECT_EQ(run.exit, notes.empty() ? 0 : 1) << run.err;
        EXPECT_NE(run.out.find("записаны в базу"), std::string::npos) << run.out;
        // Imported again, nothing differs (an absent text is stored empty).
        const Run again = Start(SE_STATION_IMPORT, {"--stationxml", QString::fromStdString(DataFile(name)), "--at",
                                                    "2024-05-01T00:00:00", "--dry-run"});
        EXPECT_EQ(again.out.find("изменена"), std::string::npos) << again.out;

        for (ImportedStation& planned : plan) {
            KeepStoredColumns(planned, nullptr, notes);
            const Catalogue stored = ReadCatalogue(session_, {*planned.site.STA});
            ASSERT_EQ(stored.sites.size(), 1u) << *planned.site.STA;
            const StoredSite& site = stored.sites[0];
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
            const std::span<const StoredChannel> rows = stored.ChannelsOf(*planned.site.STA);
            ASSERT_EQ(rows.size(), planned.channels.size()) << *planned.site.STA;
            for (size_t i = 0; i < rows.size(); ++i) {
                const StoredChannel &got = rows[i], &want = planned.channels[i];
                SCOPED_TRACE(*want.CHAN);
                EXPECT_EQ(got.CHAN, want.CHAN);
                EXPECT_EQ(got.NGROUP, want.NGROUP);
                EXPECT_EQ(got.CHANINDEX, want.CHANINDEX);
                for (const auto& [column, a, b] : {std::tuple{"SPS", got.SPS, want.SPS}, {"HANG", got.HANG, want.HANG},
                                                   {"VANG", got.VANG, want.VANG}, {"EDEPH", got.EDEPH, want.EDEPH},
                                                   {"LAT", got.LAT, want.LAT}, {"LON", got.LON, want.LON}})
                    EXPECT_EQ(a, b) << column;
                EXPECT_EQ(Text(got.DESCR), Text(want.DESCR));
                EXPECT_EQ(Text(got.CALIBFILE), Text(want.CALIBFILE));
                EXPECT_EQ(Text(got.LCODE), Text(want.LCODE));
            }
        }
    }
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

}  // namespace

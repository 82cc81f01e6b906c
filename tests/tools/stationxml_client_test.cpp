// station-export's document read by a StationXML client of the FDSN
// community (seisplotjs, run by Node): the demo catalogue with hostile text,
// a station without an opening date, a six-character code and channels the
// format cannot carry; every value the client reads equals the stored one.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "db/sql_text.h"
#include "tests/support/backend.h"
#include "tests/tools/catalogue_fixture.h"
#include "tools/stationxml.h"
#include "tools/value_text.h"

#if !defined(SE_NODE) || !defined(SE_STATIONXML_CLIENT) || !defined(SE_STATION_EXPORT)
#error "SE_NODE, SE_STATIONXML_CLIENT and SE_STATION_EXPORT must name Node, the client script and the program"
#endif

namespace {

class StationXmlClientTest : public CatalogueFixture {
protected:
    // Runs a program; answers its exit status, stdout and stderr.
    struct Run {
        int exit = -1;
        std::string out, err;
    };
    Run Start(const QString& program, const QStringList& args) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZRN_INI", dir_.filePath("zrn.ini"));  // not there: defaults only
        process.setProcessEnvironment(env);
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(180000)) << program.toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    }

    QTemporaryDir dir_;
};

std::string Str(const QJsonValue& v) { return v.isNull() ? "<null>" : v.toString().toStdString(); }

TEST_F(StationXmlClientTest, ExportOfTheDemoCatalogueReadsBackEqualInSeisplotjs) {
    LoadDemo();
    const std::string name = "O'Brien \"<&>\" ]]> Кисловодск";
    Execute({"INSERT INTO SITE (STA, NGROUPS, ELEV, LAT, LON, DESCR, STANAME, UNDERGROUND, ONDATE) VALUES ('NODATE', 1, "
             "-12.5, -33.25, -70.125, 'x', " + SqlQuote(name) + ", " + SqlQuote("гранит & <туф>") + ", NULL)",
             "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, EDEPH, LAT, LON, SPS, HANG, VANG, DESCR, CALIBFILE, "
             "LCODE) VALUES ('NODATE', 'HHZ', 1, 0, 7.5, -33.2501, -70.1252, 100, -1, 0, " + SqlQuote("СМ-3 \"x\"") +
             ", " + SqlQuote("a&b<c>.resp") + ", '--')",
             // Left out: a code of two characters, a location code of another shape.
             "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, SPS, LCODE) VALUES ('NODATE', 'HN', 1, 1, 100, '')",
             "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, SPS, LCODE) VALUES ('NODATE', 'HHE', 1, 2, 100, 'x!')"});
    const Catalogue catalogue = ReadCatalogue(session_, {});

    const QString file = dir_.filePath("all.xml");
    const Backend& backend = CurrentBackend();
    const Run exported = Start(SE_STATION_EXPORT, {"--stationxml", "--network", "ZR", "-o", file,
                                                   QString::fromStdString("ODBC=" + backend.dsn),
                                                   QString::fromStdString("USER=" + backend.user),
                                                   QString::fromStdString("PASSWORD=" + backend.password)});
    EXPECT_EQ(exported.exit, 1) << exported.err;  // done, with notes
    for (const char* said : {"NODATE -: дата открытия ONDATE = NULL", "NODATE HN: канал не выгружен",
                             "NODATE HHE: канал не выгружен", "NODATE -: код станции длиннее пяти символов"})
        EXPECT_NE(exported.err.find(said), std::string::npos) << said << "\n" << exported.err;

    const Run read = Start(SE_NODE, {SE_STATIONXML_CLIENT, file});
    ASSERT_EQ(read.exit, 0) << read.err;
    QJsonParseError error{};
    const QJsonArray networks = QJsonDocument::fromJson(QByteArray::fromStdString(read.out), &error).array();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << read.out;
    ASSERT_EQ(networks.size(), 1);
    const QJsonObject network = networks[0].toObject();
    EXPECT_EQ(Str(network["code"]), "ZR");
    EXPECT_EQ(Str(network["startDate"]), "1900-01-01T00:00:00Z");  // the earliest: NODATE's

    const QJsonArray stations = network["stations"].toArray();
    ASSERT_EQ(static_cast<size_t>(stations.size()), catalogue.sites.size());
    for (size_t i = 0; i < catalogue.sites.size(); ++i) {
        const StoredSite& site = catalogue.sites[i];
        const QJsonObject s = stations[static_cast<qsizetype>(i)].toObject();
        SCOPED_TRACE(*site.STA);
        EXPECT_EQ(Str(s["code"]), *site.STA);
        EXPECT_EQ(Str(s["startDate"]), site.ONDATE ? *UtcText(*site.ONDATE) : "1900-01-01T00:00:00Z");
        EXPECT_EQ(Str(s["endDate"]), site.OFFDATE ? *UtcText(*site.OFFDATE) : "<null>");
        EXPECT_EQ(s["latitude"].toDouble(), *site.LAT);
        EXPECT_EQ(s["longitude"].toDouble(), *site.LON);
        EXPECT_EQ(s["elevation"].toDouble(), *site.ELEV);
        EXPECT_EQ(Str(s["name"]), *site.STANAME);
        EXPECT_EQ(Str(s["geology"]), *site.UNDERGROUND);
        int stationComments = 0;
        for (const QJsonValue& c : s["comments"].toArray())
            if (c.toObject()["subject"].isNull()) ++stationComments;
        EXPECT_EQ(stationComments, site.ONDATE ? 0 : 3);  // no date; two channels left out

        const QJsonArray channels = s["channels"].toArray();
        qsizetype at = 0;
        for (const StoredChannel& ch : catalogue.ChannelsOf(*site.STA)) {
            if (!LocationCode(ch.LCODE) || ch.CHAN->size() != 3) continue;  // left out
            ASSERT_LT(at, channels.size());
            const QJsonObject c = channels[at++].toObject();
            SCOPED_TRACE(*ch.CHAN);
            EXPECT_EQ(Str(c["code"]), *ch.CHAN);
            EXPECT_EQ(Str(c["locationCode"]), *LocationCode(ch.LCODE));
            EXPECT_EQ(Str(c["startDate"]), Str(s["startDate"]));
            EXPECT_EQ(Str(c["endDate"]), Str(s["endDate"]));
            EXPECT_EQ(c["latitude"].toDouble(), *ch.LAT);
            EXPECT_EQ(c["longitude"].toDouble(), *ch.LON);
            EXPECT_EQ(c["elevation"].toDouble(), *site.ELEV - *ch.EDEPH);
            EXPECT_EQ(c["depth"].toDouble(), *ch.EDEPH);
            EXPECT_EQ(c["azimuth"].toDouble(), *AzimuthFromHang(*ch.HANG));
            EXPECT_EQ(c["dip"].toDouble(), *ch.VANG - 90);
            EXPECT_EQ(c["sampleRate"].toDouble(), *ch.SPS);
            EXPECT_EQ(Str(c["sensor"]), *ch.DESCR);
            const QJsonArray comments = c["comments"].toArray();
            ASSERT_EQ(comments.size(), 1);
            EXPECT_EQ(Str(comments[0].toObject()["subject"]), "CALIBFILE");
            EXPECT_EQ(Str(comments[0].toObject()["value"]), *ch.CALIBFILE);
        }
        EXPECT_EQ(at, channels.size());
    }
}

// A station's network comes from AFFILIATION when the database has it; the
// others take --network. The client reads one Network per code, and the text
// format gives each station its own code.
TEST_F(StationXmlClientTest, StationsOfTwoNetworksReadBackAsTwoNetworks) {
    LoadDemo();
    const Backend& backend = CurrentBackend();
    CreateAffiliation({{"II", "KIV"}, {"II", "OBN"}});
    std::map<std::string, std::string> expected;  // station, network
    for (const StoredSite& site : ReadCatalogue(session_, {}).sites)
        expected[*site.STA] = *site.STA == "KIV" || *site.STA == "OBN" ? "II" : "ZR";

    const QStringList database = {QString::fromStdString("ODBC=" + backend.dsn),
                                  QString::fromStdString("USER=" + backend.user),
                                  QString::fromStdString("PASSWORD=" + backend.password)};
    const QString file = dir_.filePath("two.xml");
    const Run exported = Start(SE_STATION_EXPORT, QStringList{"--stationxml", "--network", "ZR", "-o", file} + database);
    ASSERT_NE(exported.exit, 2) << exported.err;
    const Run read = Start(SE_NODE, {SE_STATIONXML_CLIENT, file});
    ASSERT_EQ(read.exit, 0) << read.err;
    std::map<std::string, std::string> readBack;
    std::vector<std::string> codes;
    for (const QJsonValue& n : QJsonDocument::fromJson(QByteArray::fromStdString(read.out)).array()) {
        codes.push_back(Str(n.toObject()["code"]));
        for (const QJsonValue& station : n.toObject()["stations"].toArray())
            readBack[Str(station.toObject()["code"])] = codes.back();
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"II", "ZR"}));
    EXPECT_EQ(readBack, expected);

    const Run text = Start(SE_STATION_EXPORT, QStringList{"--text", "--network", "ZR"} + database);
    ASSERT_NE(text.exit, 2) << text.err;
    std::map<std::string, std::string> listed;
    std::istringstream lines(text.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') {
            const size_t bar = line.find('|'), next = line.find('|', bar + 1);
            listed[line.substr(bar + 1, next - bar - 1)] = line.substr(0, bar);
        }
    EXPECT_EQ(listed, expected);
}

}  // namespace

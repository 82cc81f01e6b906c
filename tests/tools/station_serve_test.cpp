// station-serve on loopback over the demo catalogue, asked by the FDSN
// station client of seisplotjs (under Node): every value the client reads
// equals the stored one; the documents are station-export's, byte for byte;
// a bad parameter is a 400 that names it.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/backend.h"
#include "tests/tools/catalogue_fixture.h"
#include "tools/fdsn_query.h"
#include "tools/stationxml.h"
#include "tools/value_text.h"

// Last: through <sys/param.h> it defines NGROUPS, a column name of the headers above.
#include <httplib.h>

#if !defined(SE_NODE) || !defined(SE_STATION_QUERY_CLIENT) || !defined(SE_STATION_SERVE) || !defined(SE_STATION_EXPORT)
#error "SE_NODE, SE_STATION_QUERY_CLIENT, SE_STATION_SERVE and SE_STATION_EXPORT must be defined"
#endif

namespace {

QStringList ConnectionArguments() {
    const Backend& backend = CurrentBackend();
    return {QString::fromStdString("ODBC=" + backend.dsn), QString::fromStdString("USER=" + backend.user),
            QString::fromStdString("PASSWORD=" + backend.password)};
}

class StationServeTest : public CatalogueFixture {
protected:
    void SetUp() override {
        CatalogueFixture::SetUp();
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("ZRN_INI", dir_.filePath("zrn.ini"));  // not there: defaults only
    }
    void TearDown() override {
        if (server_.state() != QProcess::NotRunning) {
            server_.terminate();
            EXPECT_TRUE(server_.waitForFinished(20000));
        }
        CatalogueFixture::TearDown();
    }

    // Starts station-serve on a free port of loopback; answers the port.
    int StartServer() {
        server_.setProcessEnvironment(env_);
        server_.start(SE_STATION_SERVE,
                      QStringList{"--listen", "127.0.0.1:0", "--network", "ZR"} + ConnectionArguments());
        std::string line;
        while (line.find('\n') == std::string::npos && server_.waitForReadyRead(20000))
            line += server_.readAllStandardOutput().toStdString();
        std::smatch m;
        if (!std::regex_search(line, m, std::regex(R"(http://127\.0\.0\.1:(\d+)/fdsnws/station/1/)"))) {
            ADD_FAILURE() << "no address: " << line << server_.readAllStandardError().toStdString();
            return -1;
        }
        return std::stoi(m[1]);
    }

    // Runs a program to its end; answers its standard output.
    std::string Run(const QString& program, const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(env_);
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(180000)) << program.toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        const std::string err = process.readAllStandardError().toStdString();
        EXPECT_TRUE(process.exitCode() == 0 || process.exitCode() == 1) << err;
        return process.readAllStandardOutput().toStdString();
    }

    QTemporaryDir dir_;
    QProcessEnvironment env_;
    QProcess server_;
};

std::string Str(const QJsonValue& v) { return v.isNull() ? "<null>" : v.toString().toStdString(); }
std::string StartOf(const StoredSite& site) { return site.ONDATE ? *UtcText(*site.ONDATE) : kNoStartDate; }
std::string EndOf(const StoredSite& site) { return site.OFFDATE ? *UtcText(*site.OFFDATE) : "<null>"; }

// The stored channel of a station by its location and channel codes.
const StoredChannel* FindChannel(const Catalogue& catalogue, const std::string& sta, const std::string& loc,
                                 const std::string& cha) {
    for (const StoredChannel& ch : catalogue.ChannelsOf(sta))
        if (ch.CHAN == cha && LocationCode(ch.LCODE) == loc) return &ch;
    return nullptr;
}

// Compares what the client read of one station (and its channels) with the
// stored rows; answers the "STA" or "STA.LOC.CHA" names it read.
std::vector<std::string> CheckStation(const Catalogue& catalogue, const QJsonObject& s) {
    const std::string sta = Str(s["code"]);
    const StoredSite* site = catalogue.FindSite(sta);
    if (!site) {
        ADD_FAILURE() << "not stored: " << sta;
        return {};
    }
    SCOPED_TRACE(sta);
    EXPECT_EQ(Str(s["startDate"]), StartOf(*site));
    EXPECT_EQ(Str(s["endDate"]), EndOf(*site));
    EXPECT_EQ(s["latitude"].toDouble(), *site->LAT);
    EXPECT_EQ(s["longitude"].toDouble(), *site->LON);
    EXPECT_EQ(s["elevation"].toDouble(), *site->ELEV);
    EXPECT_EQ(Str(s["name"]), *site->STANAME);
    std::vector<std::string> names{sta};
    for (const QJsonValue& value : s["channels"].toArray()) {
        const QJsonObject c = value.toObject();
        const StoredChannel* ch = FindChannel(catalogue, sta, Str(c["locationCode"]), Str(c["code"]));
        names.push_back(sta + "." + Str(c["locationCode"]) + "." + Str(c["code"]));
        if (!ch) {
            ADD_FAILURE() << "not stored: " << names.back();
            continue;
        }
        SCOPED_TRACE(names.back());
        EXPECT_EQ(Str(c["startDate"]), StartOf(*site));
        EXPECT_EQ(Str(c["endDate"]), EndOf(*site));
        EXPECT_EQ(c["latitude"].toDouble(), *ch->LAT);
        EXPECT_EQ(c["longitude"].toDouble(), *ch->LON);
        EXPECT_EQ(c["elevation"].toDouble(), *site->ELEV - *ch->EDEPH);
        EXPECT_EQ(c["depth"].toDouble(), *ch->EDEPH);
        EXPECT_EQ(c["azimuth"].toDouble(), *AzimuthFromHang(*ch->HANG));
        EXPECT_EQ(c["dip"].toDouble(), *ch->VANG - 90);
        EXPECT_EQ(c["sampleRate"].toDouble(), *ch->SPS);
        EXPECT_EQ(Str(c["sensor"]), *ch->DESCR);
    }
    return names;
}

// The same for the text format's lines.
std::vector<std::string> CheckText(const Catalogue& catalogue, const std::string& text) {
    std::vector<std::string> names;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');) f.push_back(field);
        if (line.back() == '|') f.emplace_back();
        const StoredSite* site = f.size() > 1 ? catalogue.FindSite(f[1]) : nullptr;
        if (!site) {
            ADD_FAILURE() << "not stored: " << line;
            continue;
        }
        SCOPED_TRACE(line);
        const auto time = [](const std::string& utc) { return utc == "<null>" ? "" : utc.substr(0, utc.size() - 1); };
        EXPECT_EQ(f[0], "ZR");
        if (f.size() == 8) {
            names.push_back(f[1]);
            EXPECT_EQ(std::stod(f[2]), *site->LAT);
            EXPECT_EQ(std::stod(f[3]), *site->LON);
            EXPECT_EQ(std::stod(f[4]), *site->ELEV);
            EXPECT_EQ(f[5], *site->STANAME);
            EXPECT_EQ(f[6], time(StartOf(*site)));
            EXPECT_EQ(f[7], time(EndOf(*site)));
        } else if (f.size() == 17) {
            names.push_back(f[1] + "." + f[2] + "." + f[3]);
            const StoredChannel* ch = FindChannel(catalogue, f[1], f[2], f[3]);
            if (!ch) {
                ADD_FAILURE() << "not stored";
                continue;
            }
            EXPECT_EQ(std::stod(f[4]), *ch->LAT);
            EXPECT_EQ(std::stod(f[5]), *ch->LON);
            EXPECT_EQ(std::stod(f[6]), *site->ELEV - *ch->EDEPH);
            EXPECT_EQ(std::stod(f[7]), *ch->EDEPH);
            EXPECT_EQ(std::stod(f[8]), *AzimuthFromHang(*ch->HANG));
            EXPECT_EQ(std::stod(f[9]), *ch->VANG - 90);
            EXPECT_EQ(f[10], *ch->DESCR);
            EXPECT_EQ(std::stod(f[14]), *ch->SPS);
            EXPECT_EQ(f[15], time(StartOf(*site)));
        } else {
            ADD_FAILURE() << "fields: " << f.size();
        }
    }
    return names;
}

TEST_F(StationServeTest, SeisplotjsReadsTheStoredValuesOfEverySelection) {
    LoadDemo();
    const Catalogue catalogue = ReadCatalogue(session_, {});
    struct Case {
        const char* name;
        const char* request;  // query.mjs's request
        std::vector<std::string> read;  // the stations, or STA.LOC.CHA, the client reads
    };
    const std::vector<Case> cases = {
        {"network level", R"({"level":"network","set":{"networkCode":"Z?"}})", {}},
        {"station codes with wildcards", R"({"level":"station","set":{"stationCode":"K*,O?N"}})", {"KIV", "OBN"}},
        {"channel level by codes", R"({"level":"channel","set":{"stationCode":"KIV","locationCode":"10","channelCode":"HH?"}})",
         {"KIV", "KIV.10.HHZ", "KIV.10.HHN", "KIV.10.HHE"}},
        {"empty location", R"({"level":"channel","set":{"stationCode":"OBN*","locationCode":"--"}})",
         {"OBN1", "OBN1..SHZ"}},
        {"ended before", R"({"level":"station","set":{"networkCode":"ZR","endBefore":"2022-01-01T00:00:00"}})",
         {"NRIL"}},
        {"time window with fractions", R"({"level":"station","set":{"startTime":"1988-01-01T00:00:00.5","endTime":"1989-01-01T00:00:00"}})",
         {"OBN"}},
        {"started after", R"({"level":"station","set":{"startAfter":"1995-08-20T00:00:00.000"}})", {"OBN1"}},
        {"box across the date line", R"({"level":"station","set":{"minLat":50,"maxLat":60,"minLon":140,"maxLon":-170}})",
         {"MA2", "PET"}},
        {"radius", R"({"level":"station","set":{"latitude":55,"longitude":37,"maxRadius":1}})", {"OBN", "OBN1"}},
        {"ring", R"({"level":"station","set":{"latitude":55,"longitude":37,"minRadius":1,"maxRadius":15}})",
         {"ARU", "KIV"}},
        {"text, station level", R"({"level":"station","set":{"stationCode":"T*,N*","format":"text"}})",
         {"NRIL", "TIXI"}},
        {"text, channel level", R"({"level":"channel","set":{"stationCode":"ARU","format":"text"}})",
         {"ARU.00.BHZ", "ARU.00.BHN", "ARU.00.BHE"}},
        {"nodata 404", R"({"level":"station","set":{"stationCode":"NONE","nodata":404}})", {}},
        {"POST", R"({"level":"channel","post":["ZR PET 10 HHZ * *","ZR TIXI 00 BH? 2000-01-01T00:00:00 *"]})",
         {"PET", "PET.10.HHZ", "TIXI", "TIXI.00.BHZ", "TIXI.00.BHN", "TIXI.00.BHE"}},
    };
    const int port = StartServer();
    ASSERT_GT(port, 0);
    QStringList requests;
    for (const Case& c : cases) requests << c.request;
    const std::string out = Run(SE_NODE, {SE_STATION_QUERY_CLIENT, QString::number(port), "[" + requests.join(',') + "]"});
    QJsonParseError error{};
    const QJsonArray answers = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error).array();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << out;
    ASSERT_EQ(static_cast<size_t>(answers.size()), cases.size()) << out;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const QJsonValue answer = answers[static_cast<qsizetype>(i)];
        std::vector<std::string> read;
        if (answer.isObject()) {
            ASSERT_TRUE(answer.toObject().contains("text")) << Str(answer.toObject()["error"]);
            read = CheckText(catalogue, Str(answer.toObject()["text"]));
        } else {
            const QJsonArray networks = answer.toArray();
            ASSERT_EQ(networks.size(), c.read.empty() && std::string(c.name) != "network level" ? 0 : 1);
            for (const QJsonValue& network : networks) {
                EXPECT_EQ(Str(network.toObject()["code"]), "ZR");
                for (const QJsonValue& s : network.toObject()["stations"].toArray())
                    for (std::string& name : CheckStation(catalogue, s.toObject())) read.push_back(std::move(name));
            }
        }
        EXPECT_EQ(read, c.read);
    }
}

TEST_F(StationServeTest, DocumentsAreTheExportsByteForByte) {
    LoadDemo();
    struct Case {
        const char* query;
        QStringList exportArguments;
    };
    const std::vector<Case> cases = {
        {"level=channel&sta=KIV,OBN1", {"--stationxml", "KIV", "OBN1"}},
        {"format=text", {"--text"}},
        {"format=text&level=channel&station=OBN,PET", {"--text", "--level", "channel", "OBN", "PET"}},
    };
    const int port = StartServer();
    ASSERT_GT(port, 0);
    httplib::Client client("127.0.0.1", port);
    // The documents differ only in the time they were made.
    const auto undated = [](const std::string& xml) {
        return std::regex_replace(xml, std::regex("<Created>[^<]*</Created>"), "<Created/>");
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const httplib::Result served = client.Get(std::string("/fdsnws/station/1/query?") + c.query);
        ASSERT_TRUE(served);
        EXPECT_EQ(served->status, 200) << served->body;
        const std::string exported = Run(SE_STATION_EXPORT, QStringList{"--network", "ZR"} + c.exportArguments +
                                                                ConnectionArguments());
        EXPECT_EQ(undated(served->body), undated(exported));
    }
}

// A station's network comes from AFFILIATION: the network parameter selects
// by it, the network level lists each code, and the documents are still the
// export's.
TEST_F(StationServeTest, NetworksComeFromAffiliation) {
    LoadDemo();
    CreateAffiliation({{"II", "KIV"}, {"II", "OBN"}});
    const int port = StartServer();
    ASSERT_GT(port, 0);
    httplib::Client client("127.0.0.1", port);
    const auto lines = [&](const std::string& query) {
        const httplib::Result answer = client.Get("/fdsnws/station/1/query?format=text&" + query);
        std::vector<std::string> read;
        if (!answer) return std::vector<std::string>{"no answer"};
        std::istringstream text(answer->body);
        for (std::string line; std::getline(text, line);)
            if (!line.empty() && line[0] != '#') read.push_back(line.substr(0, line.find('|', line.find('|') + 1)));
        return read;
    };
    EXPECT_EQ(lines("net=II"), (std::vector<std::string>{"II|KIV", "II|OBN"}));
    EXPECT_EQ(lines("net=II&sta=KIV,ARU"), (std::vector<std::string>{"II|KIV"}));
    EXPECT_EQ(lines("level=network&sta=KIV,ARU"), (std::vector<std::string>{"II|", "ZR|"}));
    const httplib::Result networks = client.Get("/fdsnws/station/1/query?level=network");
    ASSERT_TRUE(networks);
    EXPECT_EQ(networks->body.find(std::string("startDate=\"") + kNoStartDate), std::string::npos) << networks->body;
    size_t elements = 0;
    const std::string& body = networks->body;
    for (size_t at = body.find("<Network "); at != std::string::npos; at = body.find("<Network ", at + 1)) ++elements;
    EXPECT_EQ(elements, 2u);
    const httplib::Result served = client.Get("/fdsnws/station/1/query?level=channel&sta=KIV,ARU");
    ASSERT_TRUE(served);
    const auto undated = [](const std::string& xml) {
        return std::regex_replace(xml, std::regex("<Created>[^<]*</Created>"), "<Created/>");
    };
    EXPECT_EQ(undated(served->body),
              undated(Run(SE_STATION_EXPORT, QStringList{"--stationxml", "--network", "ZR", "KIV", "ARU"} +
                                                 ConnectionArguments())));
}

TEST_F(StationServeTest, UpdatedAfterNeedsTheJournal) {
    LoadDemo();
    DropTableIfExists(session_, "STATION_JOURNAL");
    const int port = StartServer();
    ASSERT_GT(port, 0);
    httplib::Client client("127.0.0.1", port);
    const httplib::Result answer = client.Get("/fdsnws/station/1/query?updatedafter=2020-01-01T00:00:00");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 400);
    EXPECT_NE(answer->body.find("updatedafter: the database keeps no journal"), std::string::npos) << answer->body;
}

// Codes are matched as the editor stores them, upper-cased, Cyrillic too.
TEST(FdsnQueryTest, CodesAreUpperCasedCyrillicToo) {
    const FdsnQuery query = ReadFdsnQuery({{"sta", "кив,Obn,КИВ"}});
    EXPECT_EQ(ListedStations(query), (std::vector<std::string>{"КИВ", "OBN"}));
}

TEST(FdsnQueryTest, BadParametersAreNamed) {
    struct Case {
        std::string body;  // GET parameters as name=value&..., or a POST body (with a line end)
        std::string parameter;
    };
    const std::vector<Case> cases = {
        {"foo=1", "foo"},
        {"net=ZR&network=ZR", "network"},
        {"starttime=2020-13-01", "starttime"},
        {"start=2020-02-30T00:00:00", "starttime"},
        {"endtime=yesterday", "endtime"},
        {"starttime=2021-01-01&endtime=2020-01-01", "starttime"},
        {"minlat=-91", "minlatitude"},
        {"maxlon=180.5", "maxlongitude"},
        {"minlat=10&maxlat=5", "minlatitude"},
        {"lat=1&lon=2&maxradius=abc", "maxradius"},
        {"minradius=5&maxradius=1", "minradius"},
        {"level=response2", "level"},
        {"format=json", "format"},
        {"nodata=200", "nodata"},
        {"includerestricted=yes", "includerestricted"},
        {"sta=KIV,", "station"},
        {"cha=B H Z", "channel"},
        {"updatedafter=2020", "updatedafter"},
        {"level=channel\nZR KIV 00\n", "POST"},
        {"level=channel\n", "POST"},
        {"ZR KIV 00 BHZ 2020-01-01 soon\n", "endtime"},
        {"ZR KIV 00 BHZ * *\nformat=text\n", "format"},
        {"station=KIV\nZR KIV 00 BHZ * *\n", "station"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        std::optional<std::string> named;
        try {
            if (c.body.find('\n') != std::string::npos) {
                ReadFdsnPostBody(c.body);
            } else {
                FdsnParameters parameters;
                std::stringstream pairs(c.body);
                for (std::string pair; std::getline(pairs, pair, '&');)
                    parameters.emplace_back(pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
                ReadFdsnQuery(parameters);
            }
        } catch (const FdsnParameterError& e) {
            named = e.Parameter();
        }
        EXPECT_EQ(named, c.parameter);
    }
}

}  // namespace

// station-export's StationXML on every backend: the demo catalogue, hostile
// text and missing values give documents that validate against the FDSN
// schema and read back to the stored values.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <map>
#include <string>
#include <vector>

#include "db/sql_text.h"
#include "tests/support/backend.h"
#include "tests/tools/catalogue_fixture.h"
#include "tools/stationxml.h"
#include "tools/value_text.h"

#ifndef SE_STATIONXML_SCHEMA
#error "SE_STATIONXML_SCHEMA must name the FDSN StationXML 1.2 schema file"
#endif

namespace {

// One element as read back: attributes, text and child elements.
struct Element {
    std::string name, text;
    std::map<std::string, std::string> attributes;
    std::vector<Element> children;

    const Element* Child(const std::string& childName) const {
        for (const Element& child : children)
            if (child.name == childName) return &child;
        return nullptr;
    }
    std::string ChildText(const std::string& childName) const {
        const Element* child = Child(childName);
        return child ? child->text : "<absent>";
    }
    std::vector<const Element*> All(const std::string& childName) const {
        std::vector<const Element*> out;
        for (const Element& child : children)
            if (child.name == childName) out.push_back(&child);
        return out;
    }
};

Element ReadElement(QXmlStreamReader& xml) {
    Element element;
    element.name = xml.name().toString().toStdString();
    for (const QXmlStreamAttribute& a : xml.attributes())
        element.attributes[a.name().toString().toStdString()] = a.value().toString().toStdString();
    while (xml.readNext() != QXmlStreamReader::EndElement && !xml.hasError()) {
        if (xml.isStartElement()) element.children.push_back(ReadElement(xml));
        if (xml.isCharacters() && !xml.isWhitespace()) element.text += xml.text().toString().toStdString();
    }
    return element;
}

class StationXmlTest : public CatalogueFixture {
protected:
    // Writes the catalogue's document, checks that the schema accepts it and
    // answers its root element.
    Element Export(const Catalogue& catalogue, std::vector<ExportNote>* notes = nullptr) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        bool ok = false;
        const std::vector<ExportNote> written = WriteStationXml(catalogue, {"ZR", "2026-01-02T03:04:05Z"}, buffer, ok);
        EXPECT_TRUE(ok);
        if (notes) *notes = written;

        QTemporaryDir dir;
        const QString path = dir.filePath("export.xml");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(buffer.data());
        file.close();
        QProcess xmllint;
        xmllint.start("xmllint", {"--noout", "--schema", SE_STATIONXML_SCHEMA, path});
        EXPECT_TRUE(xmllint.waitForFinished(60000));
        EXPECT_EQ(xmllint.exitCode(), 0) << xmllint.readAllStandardError().toStdString()
                                         << buffer.data().toStdString();

        QXmlStreamReader xml(buffer.data());
        while (!xml.isStartElement() && !xml.atEnd()) xml.readNext();
        Element root = ReadElement(xml);
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        return root;
    }

    // Every stored value of every station and channel reads back equal.
    void ExpectReadsBack(const Catalogue& catalogue, const Element& root) {
        ASSERT_EQ(root.name, "FDSNStationXML");
        EXPECT_EQ(root.attributes.at("schemaVersion"), "1.2");
        const Element* network = root.Child("Network");
        ASSERT_TRUE(network);
        EXPECT_EQ(network->attributes.at("code"), "ZR");
        const auto stations = network->All("Station");
        ASSERT_EQ(stations.size(), catalogue.sites.size());
        for (size_t i = 0; i < stations.size(); ++i) ExpectStation(catalogue, catalogue.sites[i], *stations[i]);
    }

    static void ExpectNumber(const Element& e, const std::string& child, double expected) {
        EXPECT_EQ(std::stod(e.ChildText(child)), expected) << e.attributes.at("code") << " " << child;
    }

    static void ExpectDate(const Element& e, const char* attribute, const std::optional<WallClock>& stored) {
        const auto at = e.attributes.find(attribute);
        if (!stored && std::string(attribute) == "startDate")
            EXPECT_EQ(at->second, "1900-01-01T00:00:00Z");  // required: the convention for "no date"
        else if (!stored)
            EXPECT_EQ(at, e.attributes.end()) << attribute;
        else if (at == e.attributes.end())
            ADD_FAILURE() << attribute << " missing";
        else
            EXPECT_EQ(at->second, UtcText(*stored).value_or("?"));
    }

    void ExpectStation(const Catalogue& catalogue, const StoredSite& site, const Element& e) {
        SCOPED_TRACE(site.STA.value_or("NULL"));
        EXPECT_EQ(e.attributes.at("code"), *site.STA);
        ExpectDate(e, "startDate", site.ONDATE);
        ExpectDate(e, "endDate", site.OFFDATE);
        ExpectNumber(e, "Latitude", *site.LAT);
        ExpectNumber(e, "Longitude", *site.LON);
        ExpectNumber(e, "Elevation", *site.ELEV);
        ASSERT_TRUE(e.Child("Site"));
        EXPECT_EQ(e.Child("Site")->ChildText("Name"), *site.STANAME);
        EXPECT_EQ(e.Child("Site")->ChildText("Description"), *site.DESCR);
        EXPECT_EQ(e.ChildText("Geology"), *site.UNDERGROUND);

        std::vector<const StoredChannel*> rows;
        for (const StoredChannel& ch : catalogue.channels)
            if (ch.STA == site.STA) rows.push_back(&ch);
        const auto channels = e.All("Channel");
        ASSERT_EQ(channels.size(), rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const StoredChannel& ch = *rows[i];
            const Element& c = *channels[i];
            SCOPED_TRACE(*ch.CHAN);
            EXPECT_EQ(c.attributes.at("code"), *ch.CHAN);
            EXPECT_EQ(c.attributes.at("locationCode"), ch.LCODE == "??" ? "" : ch.LCODE.value_or(""));
            ExpectDate(c, "startDate", site.ONDATE);
            ASSERT_TRUE(c.Child("Comment"));
            EXPECT_EQ(c.Child("Comment")->attributes.at("subject"), "CALIBFILE");
            EXPECT_EQ(c.Child("Comment")->ChildText("Value"), *ch.CALIBFILE);
            ExpectNumber(c, "Latitude", ch.LAT.value_or(*site.LAT));
            ExpectNumber(c, "Longitude", ch.LON.value_or(*site.LON));
            ExpectNumber(c, "Elevation", *site.ELEV - ch.EDEPH.value_or(0));
            ExpectNumber(c, "Depth", ch.EDEPH.value_or(0));
            ExpectNumber(c, "Azimuth", *AzimuthFromHang(*ch.HANG));
            ExpectNumber(c, "Dip", *ch.VANG - 90);
            ExpectNumber(c, "SampleRate", *ch.SPS);
            ASSERT_TRUE(c.Child("Sensor"));
            EXPECT_EQ(c.Child("Sensor")->ChildText("Description"), *ch.DESCR);
        }
    }
};

TEST_F(StationXmlTest, DemoCatalogueValidatesAndReadsBackEqual) {
    LoadDemo();
    const Catalogue catalogue = ReadCatalogue(session_, {});
    ASSERT_EQ(catalogue.sites.size(), 8u);
    std::vector<ExportNote> notes;
    ExpectReadsBack(catalogue, Export(catalogue, &notes));
    EXPECT_TRUE(notes.empty());
}

TEST_F(StationXmlTest, HostileTextSurvivesAndForbiddenCharactersAreReplacedAndReported) {
    LoadDemo();
    const std::string name = "O'Brien \"<&>\" ]]> Кисловодск";
    const std::string descr = "Тест & <b>жирный</b> 'кавычки'";
    const std::string file = "a&b<c>'\".resp";
    Execute({"INSERT INTO SITE (STA, NGROUPS, ELEV, LAT, LON, DESCR, STANAME, UNDERGROUND, ONDATE) VALUES ('HOST', 1, "
             "-12.5, -33.25, -70.125, " + SqlQuote(descr) + ", " + SqlQuote(name) + ", " + SqlQuote("гранит") +
             ", {ts '1965-03-04 05:06:07'})",
             "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, EDEPH, SPS, HANG, VANG, DESCR, CALIBFILE, LCODE) "
             "VALUES ('HOST', 'HHE', 1, 2, 7.5, 100, 450, 90, " + SqlQuote("СМ-3 \"x\" <y>") + ", " + SqlQuote(file) +
             ", '?\?')"});
    const Catalogue catalogue = ReadCatalogue(session_, {"HOST"});
    ASSERT_EQ(catalogue.sites.size(), 1u);
    EXPECT_EQ(catalogue.sites[0].STANAME, name);
    std::vector<ExportNote> notes;
    const Element root = Export(catalogue, &notes);
    ExpectReadsBack(catalogue, root);
    EXPECT_TRUE(notes.empty());

    // A control character cannot be written in XML 1.0: it is replaced and said.
    Execute({"UPDATE SITE SET STANAME=" + SqlQuote(std::string("Bell\x07") + "Name") + " WHERE STA='HOST'"});
    const Element replaced = Export(ReadCatalogue(session_, {"HOST"}), &notes);
    EXPECT_EQ(replaced.Child("Network")->Child("Station")->Child("Site")->ChildText("Name"), "Bell\xEF\xBF\xBDName");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].station, "HOST");
}

// The catalogue is fetched in blocks of bound columns as wide as the driver
// describes them; a longer text (SQLite keeps any length) is still read whole.
TEST_F(StationXmlTest, TextsLongerThanTheirColumnAreReadWhole) {
    if (CurrentBackend().name != "sqlite") GTEST_SKIP() << "only SQLite stores a text longer than its column";
    LoadDemo();
    std::string name;
    for (int i = 0; i < 400; ++i) name += "Ж";
    const std::string file = std::string(3000, 'r') + ".resp";
    Execute({"UPDATE SITE SET STANAME=" + SqlQuote(name) + " WHERE STA='OBN'",
             "UPDATE SITECHAN SET CALIBFILE=" + SqlQuote(file) + " WHERE STA='OBN'"});
    const Catalogue catalogue = ReadCatalogue(session_, {});
    ASSERT_NE(catalogue.FindSite("OBN"), nullptr);
    EXPECT_EQ(catalogue.FindSite("OBN")->STANAME, name);
    ASSERT_FALSE(catalogue.ChannelsOf("OBN").empty());
    for (const StoredChannel& channel : catalogue.ChannelsOf("OBN")) EXPECT_EQ(channel.CALIBFILE, file);
    EXPECT_EQ(catalogue.sites.size(), catalogue.allSites.size());
}

TEST_F(StationXmlTest, MissingCoordinatesAndDatesStillGiveAValidDocument) {
    LoadDemo();
    Execute({"INSERT INTO SITE (STA, NGROUPS) VALUES ('NOLL', 1)",
             "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX) VALUES ('NOLL', 'BHZ', 1, 0)"});
    std::vector<ExportNote> notes;
    const Element root = Export(ReadCatalogue(session_, {"NOLL"}), &notes);
    const Element* station = root.Child("Network")->Child("Station");
    ASSERT_TRUE(station);
    EXPECT_EQ(station->attributes.at("startDate"), "1900-01-01T00:00:00Z");
    EXPECT_EQ(station->ChildText("Latitude"), "0");
    EXPECT_EQ(station->All("Comment").size(), 4u);  // ONDATE, LAT, LON, ELEV said to be unknown
    EXPECT_EQ(station->Child("Site")->ChildText("Name"), "NOLL");
    const Element* channel = station->Child("Channel");
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->ChildText("Depth"), "0");
    EXPECT_FALSE(channel->Child("Azimuth"));
    EXPECT_FALSE(channel->Child("SampleRate"));
    EXPECT_EQ(channel->attributes.at("startDate"), "1900-01-01T00:00:00Z");
    EXPECT_EQ(notes.size(), 4u);
}

TEST(StationXmlAngles, CssAnglesBecomeStationXmlAngles) {
    const struct {
        double hang;
        std::optional<double> azimuth;
    } azimuths[] = {{0, 0.0}, {90, 90.0}, {-1, 0.0}, {-90, 270.0}, {360, 0.0}, {450, 90.0}};
    for (const auto& a : azimuths) EXPECT_EQ(AzimuthFromHang(a.hang), a.azimuth) << a.hang;
    const struct {
        double vang;
        std::optional<double> dip;
    } dips[] = {{0, -90.0}, {90, 0.0}, {180, 90.0}, {-1, std::nullopt}, {181, std::nullopt}};
    for (const auto& d : dips) EXPECT_EQ(DipFromVang(d.vang), d.dip) << d.vang;
}

// Stored times are UTC wall-clock times: the document holds them as they
// are, before 1970 and up to year 9999 too, whatever the process's zone.
TEST(StationXmlDates, StoredTimesAreWrittenAsUtcWhateverTheZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    for (const char* zone : {"UTC", "<+03>-3", "Asia/Kamchatka"}) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(UtcText({2024, 3, 1, 10, 15, 0}), "2024-03-01T10:15:00Z") << zone;
        EXPECT_EQ(UtcText({1965, 3, 4, 1, 6, 7}), "1965-03-04T01:06:07Z") << zone;
        EXPECT_EQ(UtcText({9999, 12, 31, 23, 59, 59}), "9999-12-31T23:59:59Z") << zone;
    }
    if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
    tzset();
}

}  // namespace

#include "tools/stationxml.h"

#include <QIODevice>
#include <QString>
#include <QXmlStreamWriter>

#include <cmath>
#include <ctime>
#include <map>

#include "text/text.h"
#include "tools/value_text.h"

namespace {

constexpr const char* kNamespace = "http://www.fdsn.org/xml/station/1";

// Station codes longer than this are valid StationXML but not SEED, and many
// clients refuse them.
constexpr size_t kSeedStationCodeLength = 5;

// The text as XML 1.0 can hold it: invalid UTF-8 and the characters XML
// forbids (control characters other than tab and line ends, U+FFFE, U+FFFF)
// become U+FFFD. `changed` tells whether anything was replaced.
QString XmlText(const std::string& utf8, bool& changed) {
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    changed = text.toUtf8().toStdString() != utf8;
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != 0x9 && u != 0xA && u != 0xD) || u == 0xFFFE || u == 0xFFFF) {
            c = QChar(0xFFFD);
            changed = true;
        }
    }
    return text;
}

QString Number(double value) { return QString::fromStdString(NumberText(value)); }

// Writes one station and its channels, collecting what had to change.
class StationWriter {
public:
    StationWriter(QXmlStreamWriter& xml, std::vector<ExportNote>& notes) : xml_(xml), notes_(notes) {}

    void Station(const StoredSite& site, const std::vector<const StoredChannel*>& channels) {
        station_ = site.STA.value_or(std::string());
        channel_.clear();
        xml_.writeStartElement("Station");
        xml_.writeAttribute("code", Text(station_));
        if (text::CharCount(station_) > kSeedStationCodeLength)
            Note("код станции длиннее пяти символов: записан, но программы, ждущие код SEED, его не примут");
        // Comments the station carries, in English for readers anywhere.
        std::vector<std::string> comments;
        std::optional<std::string> start = site.ONDATE ? UtcText(*site.ONDATE) : std::nullopt;
        if (!start) {
            start = kNoStartDate;
            Note("дата открытия ONDATE = " + (site.ONDATE ? WallClockText(*site.ONDATE) : std::string("NULL")) +
                 (site.ONDATE ? " не является временем" : "") + ": записано " + kNoStartDate);
            comments.push_back(std::string("The catalogue has no opening date for this station (ONDATE ") +
                               (site.ONDATE ? "is not a time" : "is NULL") + "); " + kNoStartDate +
                               " is written instead");
        }
        const std::optional<std::string> end = Date(site.OFFDATE, "OFFDATE");
        xml_.writeAttribute("startDate", QString::fromStdString(*start));
        if (end) xml_.writeAttribute("endDate", QString::fromStdString(*end));

        // Required values that the catalogue lacks are written as 0 and said
        // so in a comment, so that a reader neither fails nor is misled.
        // The schema's ranges: latitude -90 <= x < 90, longitude -180..180.
        const double lat = Required(site.LAT, site.LAT && *site.LAT >= -90 && *site.LAT < 90, "LAT", comments);
        const double lon = Required(site.LON, site.LON && *site.LON >= -180 && *site.LON <= 180, "LON", comments);
        const double elev = Required(site.ELEV, site.ELEV && std::isfinite(*site.ELEV), "ELEV", comments);

        // Channels the format cannot carry as stored are left out, each said
        // in a comment on its station.
        std::vector<const StoredChannel*> written;
        for (const StoredChannel* channel : channels) {
            if (const std::optional<std::string> reason = Unwritable(*channel)) {
                channel_ = channel->CHAN.value_or(std::string());
                Note("канал не выгружен: " + *reason);
                channel_.clear();
                comments.push_back("Channel '" + channel->CHAN.value_or("") + "' location '" +
                                   channel->LCODE.value_or("") +
                                   "' of the catalogue is not exported: StationXML requires a channel code of three "
                                   "characters and a location code that is empty or two letters or digits");
            } else {
                written.push_back(channel);
            }
        }
        for (const std::string& message : comments) Comment(message);

        xml_.writeTextElement("Latitude", Number(lat));
        xml_.writeTextElement("Longitude", Number(lon));
        xml_.writeTextElement("Elevation", Number(elev));
        xml_.writeStartElement("Site");
        xml_.writeTextElement("Name", Text(site.STANAME.value_or(station_)));
        if (site.DESCR) xml_.writeTextElement("Description", Text(*site.DESCR));
        xml_.writeEndElement();
        if (site.UNDERGROUND && !site.UNDERGROUND->empty()) xml_.writeTextElement("Geology", Text(*site.UNDERGROUND));

        for (const StoredChannel* channel : written) Channel(*channel, lat, lon, elev, *start, end);
        xml_.writeEndElement();
    }

private:
    // Why the channel cannot be written as stored, or nullopt.
    static std::optional<std::string> Unwritable(const StoredChannel& ch) {
        const std::string code = ch.CHAN.value_or(std::string());
        if (text::CharCount(code) != 3) return "код канала '" + code + "' не из трёх символов";
        if (!LocationCode(ch.LCODE))
            return "код места LCODE = '" + ch.LCODE.value_or("") + "': ожидается пусто, '?\?', '--' или две буквы A-Z или цифры";
        return std::nullopt;
    }

    void Channel(const StoredChannel& ch, double lat, double lon, double elev, const std::string& start,
                 const std::optional<std::string>& end) {
        channel_ = ch.CHAN.value_or(std::string());
        xml_.writeStartElement("Channel");
        xml_.writeAttribute("code", Text(channel_));
        xml_.writeAttribute("locationCode", QString::fromStdString(*LocationCode(ch.LCODE)));
        xml_.writeAttribute("startDate", QString::fromStdString(start));
        if (end) xml_.writeAttribute("endDate", QString::fromStdString(*end));
        if (ch.CALIBFILE && !ch.CALIBFILE->empty()) {
            // The response file is kept by name; no Response is built from it.
            xml_.writeStartElement("Comment");
            xml_.writeAttribute("subject", "CALIBFILE");
            xml_.writeTextElement("Value", Text(*ch.CALIBFILE));
            xml_.writeEndElement();
        }
        const double depth = ch.EDEPH.value_or(0.0);
        // The channel's own position where it has one, else its station's.
        const bool ownPosition = ch.LAT && ch.LON && *ch.LAT >= -90 && *ch.LAT < 90 && *ch.LON >= -180 &&
                                 *ch.LON <= 180;
        xml_.writeTextElement("Latitude", Number(ownPosition ? *ch.LAT : lat));
        xml_.writeTextElement("Longitude", Number(ownPosition ? *ch.LON : lon));
        // The sensor's elevation: the ground's less the depth below it.
        xml_.writeTextElement("Elevation", Number(elev - depth));
        xml_.writeTextElement("Depth", Number(depth));
        if (ch.HANG) {
            if (const auto azimuth = AzimuthFromHang(*ch.HANG))
                xml_.writeTextElement("Azimuth", Number(*azimuth));
            else
                Note("HANG = " + NumberText(*ch.HANG) + " не записан: не азимут");
        }
        if (ch.VANG) {
            if (const auto dip = DipFromVang(*ch.VANG))
                xml_.writeTextElement("Dip", Number(*dip));
            else
                Note("VANG = " + NumberText(*ch.VANG) + " вне 0..180 не записан");
        }
        if (ch.SPS) xml_.writeTextElement("SampleRate", Number(*ch.SPS));
        if (ch.DESCR && !ch.DESCR->empty()) {
            xml_.writeStartElement("Sensor");
            xml_.writeTextElement("Description", Text(*ch.DESCR));
            xml_.writeEndElement();
        }
        xml_.writeEndElement();
        channel_.clear();
    }

    double Required(const std::optional<double>& value, bool valid, const char* column,
                    std::vector<std::string>& comments) {
        if (valid) return *value;
        const std::string stored = std::string(column) + " = " + (value ? NumberText(*value) : "NULL");
        Note(stored + " не годится для StationXML, записано 0");
        // The document's own comment is in English, for readers anywhere.
        comments.push_back("The catalogue holds " + stored + ", which StationXML cannot hold; 0 is written instead");
        return 0;
    }

    std::optional<std::string> Date(const std::optional<WallClock>& stamp, const char* column) {
        if (!stamp) return std::nullopt;
        std::optional<std::string> utc = UtcText(*stamp);
        if (!utc) Note(std::string(column) + " = " + WallClockText(*stamp) + " не является временем, не записано");
        return utc;
    }

    void Comment(const std::string& message) {
        xml_.writeStartElement("Comment");
        xml_.writeTextElement("Value", Text(message));
        xml_.writeEndElement();
    }

    QString Text(const std::string& value) {
        bool changed = false;
        QString text = XmlText(value, changed);
        if (changed) Note("текст '" + value + "' содержит символы, недопустимые в XML: заменены на U+FFFD");
        return text;
    }

    void Note(const std::string& message) { notes_.push_back({station_, channel_, message}); }

    QXmlStreamWriter& xml_;
    std::vector<ExportNote>& notes_;
    std::string station_, channel_;
};

}  // namespace

std::optional<std::string> LocationCode(const std::optional<std::string>& lcode) {
    const std::string code = lcode.value_or(std::string());
    if (code.empty() || code == "??" || code == "--") return std::string();
    const auto seedCharacter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    if (code.size() == 2 && seedCharacter(code[0]) && seedCharacter(code[1])) return code;
    return std::nullopt;
}

std::optional<double> AzimuthFromHang(double hang) {
    if (!std::isfinite(hang)) return std::nullopt;
    if (hang == -1) return 0.0;  // CSS 3.0: not applicable (a vertical component)
    const double azimuth = std::fmod(std::fmod(hang, 360.0) + 360.0, 360.0);
    return azimuth;
}

std::optional<double> DipFromVang(double vang) {
    if (!(vang >= 0 && vang <= 180)) return std::nullopt;
    return vang - 90;
}

std::string UtcNowText() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::vector<ExportNote> WriteStationXml(const Catalogue& catalogue, const StationXmlOptions& options,
                                        QIODevice& device, bool& ok) {
    std::vector<ExportNote> notes;
    QXmlStreamWriter xml(&device);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(kNamespace);
    xml.writeStartElement(kNamespace, "FDSNStationXML");
    xml.writeAttribute("schemaVersion", "1.2");
    xml.writeTextElement("Source", "station-export");
    xml.writeTextElement("Module", "station-export (station-editor)");
    xml.writeTextElement("Created", QString::fromStdString(options.created));
    StationWriter stations(xml, notes);
    // The stations of each network code, codes in sort order, stations in
    // the catalogue's.
    std::map<std::string, std::vector<const StoredSite*>> byNetwork;
    for (const StoredSite& site : catalogue.sites) {
        if (!site.STA) {
            notes.push_back({{}, {}, "строка SITE без кода станции (STA = NULL) не выгружена"});
            continue;
        }
        byNetwork[options.network.Of(*site.STA)].push_back(&site);
    }
    if (byNetwork.empty()) byNetwork[options.network.Fallback()];
    for (const auto& [code, sites] : byNetwork) {
        xml.writeStartElement("Network");
        {
            bool changed = false;
            xml.writeAttribute("code", XmlText(code, changed));
        }
        // The network starts with its earliest station (the texts are all
        // "YYYY-MM-DDTHH:MM:SSZ", so they compare as times).
        std::string networkStart;
        for (const StoredSite* site : sites) {
            const std::optional<std::string> start = site->ONDATE ? UtcText(*site->ONDATE) : std::nullopt;
            const std::string written = start.value_or(kNoStartDate);
            if (networkStart.empty() || written < networkStart) networkStart = written;
        }
        xml.writeAttribute("startDate", QString::fromStdString(networkStart.empty() ? kNoStartDate : networkStart));
        for (const StoredSite* site : sites) {
            if (!options.stations) break;
            std::vector<const StoredChannel*> channels;
            for (const StoredChannel& channel : catalogue.ChannelsOf(*site->STA)) channels.push_back(&channel);
            stations.Station(*site, channels);
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    ok = !xml.hasError();
    return notes;
}

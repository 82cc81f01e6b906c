#include "tools/map_formats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cmath>
#include <optional>
#include <span>

#include "text/text.h"
#include "tools/value_text.h"

namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

// A stored time as the UTC text both formats write; nullopt for NULL or a
// value that names no time.
std::optional<std::string> Utc(const std::optional<WallClock>& stamp) {
    return stamp ? UtcText(*stamp) : std::nullopt;
}

bool ValidPosition(const std::optional<double>& lat, const std::optional<double>& lon) {
    return lat && lon && std::abs(*lat) <= 90 && std::abs(*lon) <= 180;
}

// Whether StationXML (and so the web service's formats) can carry the channel.
bool Carried(const StoredChannel& ch) {
    return text::CharCount(ch.CHAN.value_or(std::string())) == 3 && LocationCode(ch.LCODE).has_value();
}

// Collects the notes of one station.
class Notes {
public:
    explicit Notes(std::vector<ExportNote>& notes) : notes_(notes) {}
    void Add(const std::string& station, const std::string& channel, const std::string& message) {
        notes_.push_back({station, channel, message});
    }
    // The station's start, the convention's date when it has none (noted).
    std::string Start(const StoredSite& site) {
        if (const std::optional<std::string> start = Utc(site.ONDATE)) return *start;
        Add(*site.STA, {}, std::string("дата открытия ONDATE не задана или не является временем: записано ") +
                               kNoStartDate);
        return kNoStartDate;
    }
    void LeftOut(const StoredSite& site, const StoredChannel& ch) {
        Add(*site.STA, ch.CHAN.value_or(""),
            "канал не выгружен: код канала не из трёх символов или код места LCODE = '" + ch.LCODE.value_or("") +
                "' не годится");
    }

private:
    std::vector<ExportNote>& notes_;
};

}  // namespace

std::vector<ExportNote> WriteGeoJson(const Catalogue& catalogue, const NetworkCodes& networks, std::ostream& out) {
    std::vector<ExportNote> notes;
    Notes note(notes);
    QJsonArray features;
    for (const StoredSite& site : catalogue.sites) {
        if (!site.STA) {
            note.Add({}, {}, "строка SITE без кода станции (STA = NULL) не выгружена");
            continue;
        }
        QJsonValue geometry = QJsonValue::Null;
        if (ValidPosition(site.LAT, site.LON)) {
            QJsonArray point{*site.LON, *site.LAT};
            if (site.ELEV && std::isfinite(*site.ELEV)) point.append(*site.ELEV);
            geometry = QJsonObject{{"type", "Point"}, {"coordinates", point}};
        } else {
            note.Add(*site.STA, {}, "нет годных координат LAT/LON: объект без геометрии");
        }
        QJsonArray channels;
        for (const StoredChannel& ch : catalogue.ChannelsOf(*site.STA)) {
            QJsonObject channel{{"code", Q(ch.CHAN.value_or(""))}, {"location", Q(ch.LCODE.value_or(""))}};
            const std::pair<const char*, std::optional<double>> numbers[] = {
                {"sampleRate", ch.SPS}, {"hang", ch.HANG}, {"vang", ch.VANG}, {"depth", ch.EDEPH}};
            for (const auto& [key, value] : numbers)
                channel.insert(key, value && std::isfinite(*value) ? QJsonValue(*value) : QJsonValue());
            channel.insert("sensor", ch.DESCR ? QJsonValue(Q(*ch.DESCR)) : QJsonValue());
            channels.append(channel);
        }
        const auto textOrNull = [](const std::optional<std::string>& v) { return v ? QJsonValue(Q(*v)) : QJsonValue(); };
        QJsonObject properties{{"network", Q(networks.Of(*site.STA))},
                               {"station", Q(*site.STA)},
                               {"name", textOrNull(site.STANAME)},
                               {"description", textOrNull(site.DESCR)},
                               {"startDate", textOrNull(Utc(site.ONDATE))},
                               {"endDate", textOrNull(Utc(site.OFFDATE))},
                               {"channels", channels}};
        features.append(QJsonObject{{"type", "Feature"}, {"geometry", geometry}, {"properties", properties}});
    }
    const QJsonObject collection{{"type", "FeatureCollection"}, {"features", features}};
    const QByteArray json = QJsonDocument(collection).toJson(QJsonDocument::Indented);
    out.write(json.constData(), json.size());
    return notes;
}

std::vector<ExportNote> WriteStationText(const Catalogue& catalogue, const NetworkCodes& networks, TextLevel level,
                                         std::ostream& out) {
    std::vector<ExportNote> notes;
    Notes note(notes);
    // A field's text with the separator and line ends replaced, noted.
    const auto field = [&](const std::string& value, const std::string& station, const std::string& channel) {
        std::string text = value;
        bool changed = false;
        for (char& c : text)
            if (c == '|' || c == '\n' || c == '\r') c = ' ', changed = true;
        if (changed) note.Add(station, channel, "в тексте '" + value + "' знаки '|' и концы строк заменены пробелом");
        return text;
    };
    const auto number = [](const std::optional<double>& value) {
        return value && std::isfinite(*value) ? NumberText(*value) : std::string();
    };
    // The service writes times without the zone letter; they are UTC.
    const auto time = [](const std::string& utc) { return utc.substr(0, utc.size() - 1); };

    // The header as the service writes it: the column names joined by " | "
    // (the data lines have bare bars).
    static constexpr const char* kStationColumns[] = {"Network",   "Station",   "Latitude",  "Longitude",
                                                      "Elevation", "SiteName",  "StartTime", "EndTime"};
    static constexpr const char* kChannelColumns[] = {
        "Network", "Station", "Location",          "Channel", "Latitude",  "Longitude",  "Elevation",  "Depth",
        "Azimuth", "Dip",     "SensorDescription", "Scale",   "ScaleFreq", "ScaleUnits", "SampleRate", "StartTime",
        "EndTime"};
    const std::span<const char* const> columns =
        level == TextLevel::Station ? std::span<const char* const>(kStationColumns) : kChannelColumns;
    out << '#';
    for (size_t i = 0; i < columns.size(); ++i) out << (i ? " | " : "") << columns[i];
    out << '\n';
    for (const StoredSite& site : catalogue.sites) {
        if (!site.STA) {
            note.Add({}, {}, "строка SITE без кода станции (STA = NULL) не выгружена");
            continue;
        }
        const std::string& sta = *site.STA;
        const std::string start = time(note.Start(site));
        const std::string end = Utc(site.OFFDATE) ? time(*Utc(site.OFFDATE)) : std::string();
        const std::string net = field(networks.Of(sta), sta, {});
        if (level == TextLevel::Station) {
            out << net << '|' << field(sta, sta, {}) << '|' << number(site.LAT) << '|' << number(site.LON) << '|'
                << number(site.ELEV) << '|' << field(site.STANAME.value_or(sta), sta, {}) << '|' << start << '|'
                << end << '\n';
            continue;
        }
        for (const StoredChannel& ch : catalogue.ChannelsOf(sta)) {
            if (!Carried(ch)) {
                note.LeftOut(site, ch);
                continue;
            }
            const std::string chan = *ch.CHAN;
            const bool own = ValidPosition(ch.LAT, ch.LON);
            // The depth as StationXML writes it (0 when NULL), the sensor's
            // elevation the ground's less the depth.
            const double depth = ch.EDEPH.value_or(0.0);
            const std::string elevation = site.ELEV ? number(*site.ELEV - depth) : std::string();
            const std::optional<double> azimuth = ch.HANG ? AzimuthFromHang(*ch.HANG) : std::nullopt;
            const std::optional<double> dip = ch.VANG ? DipFromVang(*ch.VANG) : std::nullopt;
            out << net << '|' << field(sta, sta, chan) << '|' << *LocationCode(ch.LCODE) << '|' << field(chan, sta, chan)
                << '|' << number(own ? ch.LAT : site.LAT) << '|' << number(own ? ch.LON : site.LON) << '|'
                << elevation << '|' << number(depth) << '|' << number(azimuth) << '|' << number(dip) << '|'
                << field(ch.DESCR.value_or(""), sta, chan) << "||||" << number(ch.SPS) << '|' << start << '|' << end
                << '\n';
        }
    }
    return notes;
}

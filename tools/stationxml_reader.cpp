#include "tools/stationxml_reader.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <deque>
#include <stdexcept>
#include <string_view>

#include "text/text.h"
#include "station/value_rules.h"

namespace {

// A fault of the document, with the reader's position added where it is thrown.
struct DocumentFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Utf8(QStringView text) { return text.toString().toStdString(); }

// Reads the elements of one document; each reader function starts on the
// start of its element and ends on its end. Elements are matched by local
// name, so files without the default namespace read as well.
class Reader {
public:
    Reader(QIODevice& device, const std::set<std::string>& only) : xml_(&device), only_(only) {}

    std::vector<XmlStation> Document() {
        Root();
        if (xml_.name() != u"FDSNStationXML") Fail("корневой элемент не FDSNStationXML");
        while (Next())
            if (xml_.name() == u"Network")
                Network();
            else
                xml_.skipCurrentElement();
        if (xml_.hasError()) FailOnReaderError();
        // Moved into a vector of their number, each block of the queue freed
        // as it empties: a vector grown while reading would hold up to twice
        // the stations, and three times while it moves them to a larger one.
        std::vector<XmlStation> stations;
        stations.reserve(stations_.size());
        while (!stations_.empty()) {
            stations.push_back(std::move(stations_.front()));
            stations_.pop_front();
        }
        return stations;
    }

private:
    // Steps to the root element. An entity declared outside the document
    // refuses it: the reader leaves such an entity's text out, and a value
    // would silently lose it.
    void Root() {
        while (!xml_.atEnd()) {
            switch (xml_.readNext()) {
                case QXmlStreamReader::DTD:
                    for (const QXmlStreamEntityDeclaration& entity : xml_.entityDeclarations())
                        if (!entity.systemId().isEmpty() || !entity.publicId().isEmpty())
                            Fail("внешняя сущность &" + Utf8(entity.name()) + "; не раскрывается");
                    break;
                case QXmlStreamReader::StartElement: return;
                case QXmlStreamReader::Invalid: FailOnReaderError();
                default: break;
            }
        }
        Fail("документ пуст или не XML");
    }

    // Steps to the next child element; false at the end of the current one.
    bool Next() {
        const bool child = xml_.readNextStartElement();
        if (xml_.hasError()) FailOnReaderError();
        return child;
    }

    [[noreturn]] void Fail(const std::string& reason) { Fail(reason, xml_.lineNumber()); }
    [[noreturn]] void Fail(const std::string& reason, qint64 line) {
        throw DocumentFault("строка " + std::to_string(line) + ": " + reason);
    }

    // The reader's error at its line. The reader decodes ahead of where it
    // parses, so bytes that are not UTF-8 in a UTF-8 document are reported
    // at the line that holds them, found by reading the file again.
    [[noreturn]] void FailOnReaderError() {
        const std::string reason = Utf8(xml_.errorString());
        const QStringView encoding = xml_.documentEncoding();
        QIODevice* device = xml_.device();
        if ((encoding.isEmpty() || encoding.compare(u"UTF-8", Qt::CaseInsensitive) == 0) && device &&
            !device->isSequential() && device->seek(0)) {
            QStringDecoder utf8(QStringDecoder::Utf8);
            for (qint64 line = 1; !device->atEnd(); ++line) {
                static_cast<void>(static_cast<QString>(utf8.decode(device->readLine())));
                if (utf8.hasError()) Fail(reason, line);
            }
        }
        Fail(reason);
    }

    std::string Attribute(const char* name, bool required) {
        const QStringView value = xml_.attributes().value(QLatin1String(name));
        if (required && !xml_.attributes().hasAttribute(QLatin1String(name)))
            Fail("у элемента " + Utf8(xml_.name()) + " нет атрибута " + name);
        return Utf8(value);
    }

    std::optional<std::time_t> Time(const char* name, bool required) {
        const std::string text = Attribute(name, required);
        if (text.empty() && !required) return std::nullopt;
        const std::optional<std::time_t> time = ParseXmlTime(text);
        if (!time) Fail(std::string("атрибут ") + name + " = '" + text + "' не является временем");
        return time;
    }

    std::string Text() {
        const QString text = xml_.readElementText(QXmlStreamReader::SkipChildElements);
        if (xml_.hasError()) FailOnReaderError();
        return text.trimmed().toStdString();
    }

    double Number() {
        const std::string name = Utf8(xml_.name());
        const QString text = xml_.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        if (xml_.hasError()) FailOnReaderError();
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok) Fail(name + " = '" + text.toStdString() + "' не является числом");
        return value;
    }

    void Network() {
        const std::string code = Attribute("code", true);
        while (Next())
            if (xml_.name() == u"Station")
                Station(code);
            else
                xml_.skipCurrentElement();
    }

    void Station(const std::string& network) {
        XmlStation station;
        station.network = network;
        station.code = Attribute("code", true);
        station.start = Time("startDate", false);
        station.end = Time("endDate", false);
        const bool wanted = only_.empty() || only_.count(text::ToUpper(station.code));
        if (!wanted) {
            xml_.skipCurrentElement();
            return;
        }
        while (Next()) {
            const QStringView name = xml_.name();
            if (name == u"Description") station.description = Text();
            else if (name == u"Latitude") station.latitude = Number();
            else if (name == u"Longitude") station.longitude = Number();
            else if (name == u"Elevation") station.elevation = Number();
            else if (name == u"Geology") station.geology = Text();
            else if (name == u"Site") Site(station);
            else if (name == u"Channel") station.channels.push_back(Channel());
            else xml_.skipCurrentElement();
        }
        // A station's few channels are kept in no more room than they take.
        station.channels.shrink_to_fit();
        stations_.push_back(std::move(station));
    }

    void Site(XmlStation& station) {
        while (Next())
            if (xml_.name() == u"Name")
                station.siteName = Text();
            else if (xml_.name() == u"Description")
                station.siteDescription = Text();
            else
                xml_.skipCurrentElement();
    }

    XmlChannel Channel() {
        XmlChannel channel;
        channel.code = Attribute("code", true);
        channel.locationCode = Attribute("locationCode", true);
        channel.start = Time("startDate", false);
        channel.end = Time("endDate", false);
        while (Next()) {
            const QStringView name = xml_.name();
            if (name == u"Latitude") channel.latitude = Number();
            else if (name == u"Longitude") channel.longitude = Number();
            else if (name == u"Elevation") channel.elevation = Number();
            else if (name == u"Depth") channel.depth = Number();
            else if (name == u"Azimuth") channel.azimuth = Number();
            else if (name == u"Dip") channel.dip = Number();
            else if (name == u"SampleRate") channel.sampleRate = Number();
            else if (name == u"Sensor") Sensor(channel);
            else if (name == u"Comment") Comment(channel);
            else xml_.skipCurrentElement();  // Response of any size among them
        }
        return channel;
    }

    void Sensor(XmlChannel& channel) {
        while (Next()) {
            const QStringView name = xml_.name();
            if (name == u"Description") channel.sensorDescription = Text();
            else if (name == u"Type") channel.sensorType = Text();
            else if (name == u"Model") channel.sensorModel = Text();
            else xml_.skipCurrentElement();
        }
    }

    void Comment(XmlChannel& channel) {
        const bool calibFile = Attribute("subject", false) == "CALIBFILE";
        while (Next())
            if (xml_.name() == u"Value" && calibFile)
                channel.calibFile = Text();
            else
                xml_.skipCurrentElement();
    }

    QXmlStreamReader xml_;
    const std::set<std::string>& only_;
    std::deque<XmlStation> stations_;
};

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153LL * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number the `count` digits at `from` write.
int Digits(const std::string& text, size_t from, size_t count) {
    int value = 0;
    for (size_t i = from; i < from + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

}  // namespace

std::optional<std::time_t> ParseXmlTime(const std::string& text) {
    // "YYYY-MM-DDThh:mm:ss": each part exactly its digits, no sign or blank.
    static constexpr std::string_view kShape = "0000-00-00T00:00:00";
    if (text.size() < kShape.size()) return std::nullopt;
    for (size_t i = 0; i < kShape.size(); ++i)
        if (kShape[i] == '0' ? !IsDigit(text[i]) : text[i] != kShape[i]) return std::nullopt;
    const int y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2), h = Digits(text, 11, 2),
              mi = Digits(text, 14, 2), s = Digits(text, 17, 2);
    // A date the calendar does not have is refused, never carried over into
    // the next day or month.
    if (!IsCalendarTime(y, mo, d, h, mi, s)) return std::nullopt;
    size_t at = kShape.size();
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && IsDigit(text[at])) ++at;
    }
    long long offset = 0;
    if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        if (text.size() - at != 6 || !IsDigit(text[at + 1]) || !IsDigit(text[at + 2]) || text[at + 3] != ':' ||
            !IsDigit(text[at + 4]) || !IsDigit(text[at + 5]))
            return std::nullopt;
        const int minutes = Digits(text, at + 1, 2) * 60 + Digits(text, at + 4, 2);
        if (Digits(text, at + 4, 2) > 59 || minutes > kMaxUtcOffsetMinutes) return std::nullopt;
        offset = (text[at] == '+' ? 1 : -1) * minutes * 60LL;
        at += 6;
    }
    if (at != text.size()) return std::nullopt;
    return static_cast<std::time_t>(DaysFromCivil(y, mo, d) * 86400 + h * 3600LL + mi * 60LL + s - offset);
}

std::optional<std::vector<XmlStation>> ReadStationXml(QIODevice& device, const std::set<std::string>& only,
                                                      std::string& error) {
    try {
        return Reader(device, only).Document();
    } catch (const DocumentFault& fault) {
        error = fault.what();
        return std::nullopt;
    }
}

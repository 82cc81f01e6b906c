#include "tools/fdsn_document.h"

#include <QBuffer>

#include <map>
#include <sstream>

#include "tools/map_formats.h"
#include "tools/stationxml.h"
#include "tools/value_text.h"

namespace {

// The text format's network lines, one per code in code order: a network's
// epoch runs from its earliest station's start to its latest end (open while
// one station is open).
std::string NetworkText(const Catalogue& selected, const NetworkCodes& networks) {
    struct Span {
        std::string start, end;
        bool open = false;
        size_t stations = 0;
    };
    std::map<std::string, Span> spans;
    for (const StoredSite& site : selected.sites) {
        Span& span = spans[networks.Of(site.STA.value_or(""))];
        const std::string s = (site.ONDATE ? UtcText(*site.ONDATE) : std::nullopt).value_or(kNoStartDate);
        if (span.start.empty() || s < span.start) span.start = s;
        const std::optional<std::string> e = site.OFFDATE ? UtcText(*site.OFFDATE) : std::nullopt;
        if (!e) span.open = true;
        else if (*e > span.end) span.end = *e;
        ++span.stations;
    }
    const auto time = [](const std::string& utc) { return utc.empty() ? utc : utc.substr(0, utc.size() - 1); };
    std::string text = "#Network | Description | StartTime | EndTime | TotalStations\n";
    for (const auto& [code, span] : spans) {
        std::string net = code;
        for (char& c : net)
            if (c == '|' || c == '\n' || c == '\r') c = ' ';
        text += net + "||" + time(span.start) + '|' + (span.open ? std::string() : time(span.end)) + '|' +
                std::to_string(span.stations) + '\n';
    }
    return text;
}

}  // namespace

FdsnDocument WriteFdsnDocument(const Catalogue& selected, const FdsnQuery& query, const NetworkCodes& networks,
                               const std::string& created) {
    if (query.format == FdsnFormat::Text) {
        if (query.level == FdsnLevel::Network) return {"text/plain; charset=utf-8", NetworkText(selected, networks)};
        std::ostringstream text;
        WriteStationText(selected, networks, query.level == FdsnLevel::Channel ? TextLevel::Channel : TextLevel::Station,
                         text);
        return {"text/plain; charset=utf-8", std::move(text).str()};
    }
    StationXmlOptions options{networks, created};
    options.stations = query.level != FdsnLevel::Network;
    // The station level is the document without channels.
    Catalogue stationsOnly;
    const Catalogue* written = &selected;
    if (query.level == FdsnLevel::Station) {
        stationsOnly = CatalogueOf(selected.sites, {}, [](const std::optional<std::string>&) { return true; });
        written = &stationsOnly;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool ok = false;
    WriteStationXml(*written, options, buffer, ok);
    return {"application/xml", bytes.toStdString()};
}

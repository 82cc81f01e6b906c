#include "tools/fdsn_document.h"

#include <QBuffer>

#include <sstream>

#include "tools/map_formats.h"
#include "tools/stationxml.h"
#include "tools/value_text.h"

namespace {

// The text format's network line: the network's epoch runs from its earliest
// station's start to its latest end (open while one station is open).
std::string NetworkText(const Catalogue& selected, const std::string& network) {
    std::string start, end;
    bool open = false;
    for (const StoredSite& site : selected.sites) {
        const std::string s = (site.ONDATE ? UtcText(*site.ONDATE) : std::nullopt).value_or(kNoStartDate);
        if (start.empty() || s < start) start = s;
        const std::optional<std::string> e = site.OFFDATE ? UtcText(*site.OFFDATE) : std::nullopt;
        if (!e) open = true;
        else if (e > end) end = *e;
    }
    const auto time = [](const std::string& utc) { return utc.empty() ? utc : utc.substr(0, utc.size() - 1); };
    std::string net = network;
    for (char& c : net)
        if (c == '|' || c == '\n' || c == '\r') c = ' ';
    return "#Network | Description | StartTime | EndTime | TotalStations\n" + net + "||" + time(start) + '|' +
           (open ? std::string() : time(end)) + '|' + std::to_string(selected.sites.size()) + '\n';
}

}  // namespace

FdsnDocument WriteFdsnDocument(const Catalogue& selected, const FdsnQuery& query, const std::string& network,
                               const std::string& created) {
    if (query.format == FdsnFormat::Text) {
        if (query.level == FdsnLevel::Network) return {"text/plain; charset=utf-8", NetworkText(selected, network)};
        std::ostringstream text;
        WriteStationText(selected, network, query.level == FdsnLevel::Channel ? TextLevel::Channel : TextLevel::Station,
                         text);
        return {"text/plain; charset=utf-8", std::move(text).str()};
    }
    StationXmlOptions options{network, created};
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

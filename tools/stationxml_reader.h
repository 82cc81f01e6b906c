#pragma once
// Reading FDSN StationXML 1.0 to 1.2 with a streaming XML reader: the values
// of every station epoch and channel epoch the catalogue can hold; Response
// elements and everything else are stepped over unread.

#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QIODevice;

// One Channel element's values; nullopt where the file has none.
struct XmlChannel {
    std::string code, locationCode;  // the location code as written
    std::optional<std::time_t> start, end;
    std::optional<double> latitude, longitude, elevation, depth, azimuth, dip, sampleRate;
    std::optional<std::string> sensorDescription, sensorType, sensorModel;
    std::optional<std::string> calibFile;  // the Comment with subject CALIBFILE
};

// One Station element (an epoch of a station) and its channels.
struct XmlStation {
    std::string network, code;
    std::optional<std::time_t> start, end;
    std::optional<double> latitude, longitude, elevation;
    std::optional<std::string> siteName, siteDescription, description, geology;
    std::vector<XmlChannel> channels;
};

// The station epochs of every network, in the file's order; only the codes
// in `only` (upper-case codes, matched by the file's code upper-cased) when
// it is not empty. nullopt when the document is not
// well-formed StationXML, with the reason (Russian) in `error`.
std::optional<std::vector<XmlStation>> ReadStationXml(QIODevice& device, const std::set<std::string>& only,
                                                      std::string& error);

// A StationXML time as an instant: "YYYY-MM-DDThh:mm:ss", optionally with a
// fraction (dropped) and "Z" or an offset "+hh:mm"; without a zone it is UTC.
// nullopt for a time the calendar does not have (2020-02-31, T24:00, year
// 0000) or an offset beyond +-14:00.
std::optional<std::time_t> ParseXmlTime(const std::string& text);

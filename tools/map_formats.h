#pragma once
// The catalogue where users look besides StationXML: a GeoJSON layer for
// maps (RFC 7946) and the FDSN station web service's text format.

#include <ostream>
#include <string>
#include <vector>

#include "tools/catalogue.h"
#include "tools/stationxml.h"

// Writes one FeatureCollection: a Feature per chosen station, its Point
// [lon, lat, elevation] and as properties its codes, names, UTC dates and
// channels. A station without valid coordinates gets a null geometry (said
// in a note). Answers what had to be written otherwise than stored.
std::vector<ExportNote> WriteGeoJson(const Catalogue& catalogue, const NetworkCodes& networks, std::ostream& out);

// The levels of the web service's text format.
enum class TextLevel { Station, Channel };

// Writes the text format: a header line starting with '#', then a line per
// station (or per channel), fields separated by '|', times in UTC. Channels
// StationXML cannot carry are left out, as there; '|' and line ends inside a
// text become ' ' (noted).
std::vector<ExportNote> WriteStationText(const Catalogue& catalogue, const NetworkCodes& networks, TextLevel level,
                                         std::ostream& out);

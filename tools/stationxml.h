#pragma once
// The catalogue as FDSN StationXML 1.2: a Network per network code, a Station per SITE row,
// a Channel per SITECHAN row, written so that the clients in use read it
// (start dates always present, SEED channel and location codes).

#include <optional>
#include <string>
#include <vector>

#include "tools/catalogue.h"
#include "tools/network_codes.h"

class QIODevice;

// The start written for a station the catalogue gives no opening date: the
// formats and their clients require one.
inline constexpr const char* kNoStartDate = "1900-01-01T00:00:00Z";

// What the document states besides the catalogue.
struct StationXmlOptions {
    NetworkCodes network = "XX";  // each station's Network code
    std::string created;         // the Created time, "YYYY-MM-DDTHH:MM:SSZ"
    bool stations = true;        // false: the Network element alone, without its stations
};

// A stored value the document cannot hold as it is, and what it holds instead.
struct ExportNote {
    std::string station, channel, message;
};

// Writes the document of the catalogue's chosen stations to `device` with
// Qt's XML writer; answers what had to be written otherwise than stored.
// False in `ok` when the device refused the text.
std::vector<ExportNote> WriteStationXml(const Catalogue& catalogue, const StationXmlOptions& options,
                                        QIODevice& device, bool& ok);

// The location code StationXML gets for a stored LCODE: NULL, empty, "??"
// and "--" give ""; two of A-Z and 0-9 stay; anything else is nullopt (the
// channel cannot be written).
std::optional<std::string> LocationCode(const std::optional<std::string>& lcode);

// The current time in UTC as StationXML writes it.
std::string UtcNowText();

// CSS 3.0 angles as StationXML angles: HANG (degrees clockwise from north,
// -1 where not applicable) as an Azimuth in 0..360, VANG (degrees from the
// vertical) as a Dip in -90..90 (Dip = VANG - 90). nullopt where no honest
// value exists.
std::optional<double> AzimuthFromHang(double hang);
std::optional<double> DipFromVang(double vang);

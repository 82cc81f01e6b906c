#pragma once
// A request of the FDSN station web service (fdsnws-station 1.1): its
// parameters read and checked, and the catalogue's stations and channels it
// selects.

#include <exception>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/catalogue.h"
#include "tools/network_codes.h"

// A parameter the service cannot answer: its name and why, in English as
// the service's clients show it.
class FdsnParameterError : public std::exception {
public:
    FdsnParameterError(std::string parameter, std::string reason);
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Parameter() const { return parameter_; }

private:
    std::string parameter_, message_;
};

// One selection of codes and times: the GET parameters, or one line of a
// POST body. Empty code lists match everything; a location pattern "" is
// the empty location ("--" in the request).
struct FdsnSelection {
    std::vector<std::string> networks, stations, locations, channels;
    std::optional<double> start, end;  // seconds since 1970 UTC: the epoch ends on/after, starts on/before
};

enum class FdsnLevel { Network, Station, Channel };
enum class FdsnFormat { Xml, Text };

// The request as the service reads it; times in seconds since 1970 UTC.
struct FdsnQuery {
    std::vector<FdsnSelection> selections;  // at least one; a station is chosen when one of them matches
    std::optional<double> startBefore, startAfter, endBefore, endAfter;
    std::optional<double> minLatitude, maxLatitude, minLongitude, maxLongitude;
    bool byDistance = false;  // latitude, longitude, minradius or maxradius given
    double latitude = 0, longitude = 0, minRadius = 0, maxRadius = 180;  // degrees
    FdsnLevel level = FdsnLevel::Station;
    FdsnFormat format = FdsnFormat::Xml;
    int nodata = 204;
    std::optional<std::string> updatedAfter;  // as the journal writes times, "YYYY-MM-DD hh:mm:ss"
};

using FdsnParameters = std::vector<std::pair<std::string, std::string>>;

// The request of GET parameters (names and aliases, case-insensitive).
// Throws FdsnParameterError.
FdsnQuery ReadFdsnQuery(const FdsnParameters& parameters);
// The request of a POST body: "key=value" lines, then lines of
// "NET STA LOC CHA START END" ("*" for an open time). Throws FdsnParameterError.
FdsnQuery ReadFdsnPostBody(std::string_view body);

// A time as the service takes it: YYYY-MM-DD[THH:MM:SS[.ffffff]][Z], in
// seconds since 1970 UTC; nullopt when it is not one.
std::optional<double> FdsnTime(std::string_view text);

// Whether `code` matches one of the patterns ('?' one character, '*' any
// run, letters compared without case); an empty list matches everything.
bool CodeMatches(const std::vector<std::string>& patterns, std::string_view code);

// Whether answering needs the channels: the channel level, or a selection
// that names locations or channels.
bool NeedsChannels(const FdsnQuery& query);

// The station codes the request names without wildcards, when every
// selection names its stations so (the catalogue is then read for them
// alone); nullopt when one matches by pattern or takes every station.
std::optional<std::vector<std::string>> ListedStations(const FdsnQuery& query);

// The stations and channels of `catalogue` the request selects under the
// network codes `networks`, ordered and indexed as ReadCatalogue answers. A
// station is chosen when one selection matches its codes and times and it
// lies in the region, and, when the selection names locations or channels,
// one of its channels matches them; its channels are those any matching
// selection names. `changed`: only these stations (updatedafter).
Catalogue SelectFdsn(Catalogue catalogue, const FdsnQuery& query, const NetworkCodes& networks,
                     const std::set<std::string>* changed);

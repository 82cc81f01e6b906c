#pragma once
// The rules station-check judges the catalogue by: one table, one row per
// rule, so that a rule is added in one place.

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "tools/catalogue.h"

// How bad a finding is.
enum class Severity { Error, Warning };

// One finding: where, by which rule, and the operator's message (Russian).
struct Finding {
    std::string station;  // empty when the row's STA is NULL
    std::string channel;  // empty for a finding on the station itself
    std::string rule;
    Severity severity = Severity::Error;
    std::string message;
    bool operator==(const Finding&) const = default;
};

// What the rules need besides the catalogue.
struct CheckContext {
    std::string responseFolder;          // where CALIBFILE names are looked up
    std::time_t now = std::time(nullptr);  // what "in the future" is judged against
};

// Reports one finding of the running rule: station, channel, message.
using FindingSink = std::function<void(const std::string&, const std::string&, const std::string&)>;

// One rule: its name, severity, a one-line description (Russian) and the
// function that looks for its faults.
struct CheckRule {
    const char* name;
    Severity severity;
    const char* description;
    void (*apply)(const Catalogue&, const CheckContext&, const FindingSink&);
};

// Every rule, errors first.
const std::vector<CheckRule>& CheckRules();

// Runs every rule over the catalogue; findings sorted by station, then
// channel, then the order of the rule table.
std::vector<Finding> CheckCatalogue(const Catalogue& catalogue, const CheckContext& context);

// "error" or "warning".
const char* SeverityName(Severity severity);

// The north and east offsets (km) of a point from a central point on the
// WGS84 ellipsoid, from the geodesic between them.
struct Offset {
    double north = 0, east = 0;
};
Offset GeodesicOffset(double centralLat, double centralLon, double lat, double lon);

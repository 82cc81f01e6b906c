#include "tools/fdsn_query.h"

#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>
#include <map>
#include <regex>
#include <sstream>

#include "tools/stationxml.h"
#include "tools/value_text.h"
#include "text/text.h"

FdsnParameterError::FdsnParameterError(std::string parameter, std::string reason)
    : parameter_(std::move(parameter)), message_(parameter_ + ": " + reason) {}

namespace {

// The parameter names the service takes, each with its short alias.
const std::map<std::string, std::string>& ParameterNames() {
    static const std::map<std::string, std::string> names = {
        {"starttime", "starttime"},       {"start", "starttime"},          {"endtime", "endtime"},
        {"end", "endtime"},               {"startbefore", "startbefore"},  {"startafter", "startafter"},
        {"endbefore", "endbefore"},       {"endafter", "endafter"},        {"network", "network"},
        {"net", "network"},               {"station", "station"},          {"sta", "station"},
        {"location", "location"},         {"loc", "location"},             {"channel", "channel"},
        {"cha", "channel"},               {"minlatitude", "minlatitude"},  {"minlat", "minlatitude"},
        {"maxlatitude", "maxlatitude"},   {"maxlat", "maxlatitude"},       {"minlongitude", "minlongitude"},
        {"minlon", "minlongitude"},       {"maxlongitude", "maxlongitude"}, {"maxlon", "maxlongitude"},
        {"latitude", "latitude"},         {"lat", "latitude"},             {"longitude", "longitude"},
        {"lon", "longitude"},             {"minradius", "minradius"},      {"maxradius", "maxradius"},
        {"level", "level"},               {"format", "format"},            {"includerestricted", "includerestricted"},
        {"includeavailability", "includeavailability"}, {"updatedafter", "updatedafter"}, {"nodata", "nodata"},
    };
    return names;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A comma list of codes, upper-cased as the editor stores them (Cyrillic
// too); "--" (location) is the empty code.
std::vector<std::string> Codes(const std::string& name, const std::string& value) {
    std::vector<std::string> codes;
    std::stringstream list(value);
    std::string code;
    bool any = false;
    while (std::getline(list, code, ',')) {
        any = true;
        if (name == "location" && code == "--") {
            codes.emplace_back();
            continue;
        }
        if (code.empty()) throw FdsnParameterError(name, "an empty code in the list '" + value + "'");
        for (unsigned char c : code)
            if (c <= ' ' || c == 0x7f) throw FdsnParameterError(name, "the code '" + code + "' holds a space or control character");
        if (code == "*") return {};  // everything
        codes.push_back(text::ToUpper(code));
    }
    if (!any || value.back() == ',') throw FdsnParameterError(name, "an empty code in the list '" + value + "'");
    return codes;
}

double Number(const std::string& name, const std::string& value, double low, double high) {
    double number = 0;
    std::istringstream in(value);
    in.imbue(std::locale::classic());
    if (value.empty() || !(in >> number) || !in.eof() || !std::isfinite(number))
        throw FdsnParameterError(name, "'" + value + "' is not a number");
    if (number < low || number > high)
        throw FdsnParameterError(name, "'" + value + "' is outside " + NumberText(low) + " to " + NumberText(high));
    return number;
}

double Time(const std::string& name, const std::string& value) {
    const std::optional<double> time = FdsnTime(value);
    if (!time) throw FdsnParameterError(name, "'" + value + "' is not a time YYYY-MM-DD[THH:MM:SS[.ffffff]][Z]");
    return *time;
}

bool Boolean(const std::string& name, const std::string& value) {
    const std::string v = Lower(value);
    if (v == "true") return true;
    if (v == "false") return false;
    throw FdsnParameterError(name, "'" + value + "' is neither true nor false");
}

// Applies one parameter (by its full name) to the request.
void Apply(FdsnQuery& query, FdsnSelection& selection, const std::string& name, const std::string& value) {
    if (name == "starttime") selection.start = Time(name, value);
    else if (name == "endtime") selection.end = Time(name, value);
    else if (name == "startbefore") query.startBefore = Time(name, value);
    else if (name == "startafter") query.startAfter = Time(name, value);
    else if (name == "endbefore") query.endBefore = Time(name, value);
    else if (name == "endafter") query.endAfter = Time(name, value);
    else if (name == "network") selection.networks = Codes(name, value);
    else if (name == "station") selection.stations = Codes(name, value);
    else if (name == "location") selection.locations = Codes(name, value);
    else if (name == "channel") selection.channels = Codes(name, value);
    else if (name == "minlatitude") query.minLatitude = Number(name, value, -90, 90);
    else if (name == "maxlatitude") query.maxLatitude = Number(name, value, -90, 90);
    else if (name == "minlongitude") query.minLongitude = Number(name, value, -180, 180);
    else if (name == "maxlongitude") query.maxLongitude = Number(name, value, -180, 180);
    else if (name == "latitude") query.latitude = Number(name, value, -90, 90), query.byDistance = true;
    else if (name == "longitude") query.longitude = Number(name, value, -180, 180), query.byDistance = true;
    else if (name == "minradius") query.minRadius = Number(name, value, 0, 180), query.byDistance = true;
    else if (name == "maxradius") query.maxRadius = Number(name, value, 0, 180), query.byDistance = true;
    else if (name == "includerestricted" || name == "includeavailability") Boolean(name, value);
    else if (name == "level") {
        const std::string level = Lower(value);
        if (level == "network") query.level = FdsnLevel::Network;
        else if (level == "station") query.level = FdsnLevel::Station;
        else if (level == "channel" || level == "response") query.level = FdsnLevel::Channel;
        else throw FdsnParameterError(name, "'" + value + "' is not one of network, station, channel, response");
    } else if (name == "format") {
        const std::string format = Lower(value);
        if (format == "xml") query.format = FdsnFormat::Xml;
        else if (format == "text") query.format = FdsnFormat::Text;
        else throw FdsnParameterError(name, "'" + value + "' is not one of xml, text");
    } else if (name == "nodata") {
        if (value != "204" && value != "404") throw FdsnParameterError(name, "'" + value + "' is not 204 or 404");
        query.nodata = value == "204" ? 204 : 404;
    } else if (name == "updatedafter") {
        const double time = Time(name, value);
        // The journal keeps whole seconds: a fraction is dropped, which asks for more, never less.
        const std::time_t seconds = static_cast<std::time_t>(std::floor(time));
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
        query.updatedAfter = text;
    }
}

// Reads the parameters into `query` and its one `selection`, each name once.
void ApplyAll(FdsnQuery& query, FdsnSelection& selection, const FdsnParameters& parameters) {
    std::set<std::string> seen;
    for (const auto& [given, value] : parameters) {
        const auto found = ParameterNames().find(Lower(given));
        if (found == ParameterNames().end()) throw FdsnParameterError(given, "not a parameter of this service");
        if (!seen.insert(found->second).second) throw FdsnParameterError(found->second, "given more than once");
        Apply(query, selection, found->second, value);
    }
}

void Check(const FdsnQuery& query) {
    if (query.minLatitude && query.maxLatitude && *query.minLatitude > *query.maxLatitude)
        throw FdsnParameterError("minlatitude", "greater than maxlatitude");
    if (query.minRadius > query.maxRadius) throw FdsnParameterError("minradius", "greater than maxradius");
    for (const FdsnSelection& selection : query.selections)
        if (selection.start && selection.end && *selection.start > *selection.end)
            throw FdsnParameterError("starttime", "later than endtime");
}

// '?' takes one character (a whole UTF-8 sequence), '*' any run of them;
// both texts upper-cased.
bool Matches(std::string_view pattern, std::string_view code) {
    const auto next = [](std::string_view text, size_t at) {
        size_t end = at + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
        return end;
    };
    size_t p = 0, c = 0, starP = std::string_view::npos, starC = 0;
    while (c < code.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starC = c;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || pattern[p] == code[c])) {
            if (pattern[p] == '?') {
                c = next(code, c);
                ++p;
            } else {
                ++p, ++c;
            }
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            c = starC = next(code, starC);
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// A station's epoch as the documents write it: its start (the convention's
// date when it has none) and its end (nullopt: open).
struct Epoch {
    double start;
    std::optional<double> end;
};
Epoch EpochOf(const StoredSite& site) {
    static const double kNoStart = *FdsnTime(kNoStartDate);
    const std::optional<std::time_t> start = site.ONDATE ? UtcInstant(*site.ONDATE) : std::nullopt;
    const std::optional<std::time_t> end = site.OFFDATE ? UtcInstant(*site.OFFDATE) : std::nullopt;
    return {start ? static_cast<double>(*start) : kNoStart,
            end ? std::optional<double>(static_cast<double>(*end)) : std::nullopt};
}

bool InRegion(const FdsnQuery& query, const StoredSite& site) {
    const bool boxed = query.minLatitude || query.maxLatitude || query.minLongitude || query.maxLongitude;
    if (!boxed && !query.byDistance) return true;
    if (!site.LAT || !site.LON || std::abs(*site.LAT) > 90 || std::abs(*site.LON) > 180) return false;
    const double lat = *site.LAT, lon = *site.LON;
    if (query.minLatitude && lat < *query.minLatitude) return false;
    if (query.maxLatitude && lat > *query.maxLatitude) return false;
    const double west = query.minLongitude.value_or(-180), east = query.maxLongitude.value_or(180);
    // A box whose west edge lies east of its east edge crosses the date line.
    if (west <= east ? (lon < west || lon > east) : (lon < west && lon > east)) return false;
    if (query.byDistance) {
        double metres = 0;
        const double degrees = GeographicLib::Geodesic::WGS84().Inverse(query.latitude, query.longitude, lat, lon, metres);
        if (degrees < query.minRadius || degrees > query.maxRadius) return false;
    }
    return true;
}

bool InTime(const FdsnQuery& query, const FdsnSelection& selection, const Epoch& epoch) {
    if (selection.start && epoch.end && *epoch.end < *selection.start) return false;
    if (selection.end && epoch.start > *selection.end) return false;
    if (query.startBefore && !(epoch.start < *query.startBefore)) return false;
    if (query.startAfter && !(epoch.start > *query.startAfter)) return false;
    if (query.endBefore && !(epoch.end && *epoch.end < *query.endBefore)) return false;
    if (query.endAfter && epoch.end && !(*epoch.end > *query.endAfter)) return false;
    return true;
}

bool ChannelMatches(const FdsnSelection& selection, const StoredChannel& channel) {
    if (selection.locations.empty() && selection.channels.empty()) return true;
    const std::optional<std::string> location = LocationCode(channel.LCODE);
    if (!location || !channel.CHAN) return false;
    return CodeMatches(selection.locations, *location) && CodeMatches(selection.channels, *channel.CHAN);
}

}  // namespace

std::optional<double> FdsnTime(std::string_view text) {
    static const std::regex pattern(
        R"((\d{4})-(\d{2})-(\d{2})(?:T(\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,9}))?)?)?Z?)");
    std::match_results<std::string_view::const_iterator> m;
    if (!std::regex_match(text.begin(), text.end(), m, pattern)) return std::nullopt;
    const auto field = [&m](int i) { return m[i].matched ? std::stoi(m[i].str()) : 0; };
    std::tm tm{};
    tm.tm_year = field(1) - 1900;
    tm.tm_mon = field(2) - 1;
    tm.tm_mday = field(3);
    tm.tm_hour = field(4);
    tm.tm_min = field(5);
    tm.tm_sec = field(6);
    const std::tm asked = tm;
    const std::time_t seconds = timegm(&tm);
    // timegm carries fields out of range over; a real time comes back unchanged.
    if (tm.tm_year != asked.tm_year || tm.tm_mon != asked.tm_mon || tm.tm_mday != asked.tm_mday ||
        tm.tm_hour != asked.tm_hour || tm.tm_min != asked.tm_min || tm.tm_sec != asked.tm_sec)
        return std::nullopt;
    const double fraction = m[7].matched ? std::stod("0." + m[7].str()) : 0.0;
    return static_cast<double>(seconds) + fraction;
}

bool CodeMatches(const std::vector<std::string>& patterns, std::string_view code) {
    if (patterns.empty()) return true;
    const std::string upper = text::ToUpper(code);
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) { return Matches(p, upper); });
}

FdsnQuery ReadFdsnQuery(const FdsnParameters& parameters) {
    FdsnQuery query;
    FdsnSelection selection;
    ApplyAll(query, selection, parameters);
    query.selections.push_back(std::move(selection));
    Check(query);
    return query;
}

FdsnQuery ReadFdsnPostBody(std::string_view body) {
    FdsnQuery query;
    FdsnParameters parameters;
    std::vector<FdsnSelection> lines;
    std::istringstream in{std::string(body)};
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            if (!lines.empty()) throw FdsnParameterError(line.substr(0, equals), "a parameter after the selection lines");
            const auto trim = [](std::string s) {
                s.erase(0, s.find_first_not_of(" \t"));
                s.erase(s.find_last_not_of(" \t") + 1);
                return s;
            };
            parameters.emplace_back(trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
            continue;
        }
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string word; fields >> word;) f.push_back(word);
        if (f.size() != 6) throw FdsnParameterError("POST", "the line '" + line + "' is not NET STA LOC CHA START END");
        FdsnSelection selection;
        selection.networks = Codes("network", f[0]);
        selection.stations = Codes("station", f[1]);
        selection.locations = Codes("location", f[2]);
        selection.channels = Codes("channel", f[3]);
        if (f[4] != "*") selection.start = Time("starttime", f[4]);
        if (f[5] != "*") selection.end = Time("endtime", f[5]);
        lines.push_back(std::move(selection));
    }
    FdsnSelection unused;
    for (const auto& [name, value] : parameters) {
        const auto found = ParameterNames().find(Lower(name));
        if (found != ParameterNames().end() &&
            (found->second == "network" || found->second == "station" || found->second == "location" ||
             found->second == "channel" || found->second == "starttime" || found->second == "endtime"))
            throw FdsnParameterError(found->second, "goes on the selection lines of a POST body");
    }
    ApplyAll(query, unused, parameters);
    if (lines.empty()) throw FdsnParameterError("POST", "the body holds no selection line NET STA LOC CHA START END");
    query.selections = std::move(lines);
    Check(query);
    return query;
}

bool NeedsChannels(const FdsnQuery& query) {
    if (query.level == FdsnLevel::Channel) return true;
    return std::any_of(query.selections.begin(), query.selections.end(), [](const FdsnSelection& selection) {
        return !selection.locations.empty() || !selection.channels.empty();
    });
}

std::optional<std::vector<std::string>> ListedStations(const FdsnQuery& query) {
    std::vector<std::string> codes;
    for (const FdsnSelection& selection : query.selections) {
        if (selection.stations.empty()) return std::nullopt;
        for (const std::string& code : selection.stations) {
            if (code.find_first_of("?*") != std::string::npos) return std::nullopt;
            if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
        }
    }
    return codes;
}

Catalogue SelectFdsn(Catalogue catalogue, const FdsnQuery& query, const NetworkCodes& networks,
                     const std::set<std::string>* changed) {
    std::set<std::string> chosen;
    std::vector<StoredChannel> channels;
    for (const StoredSite& site : catalogue.sites) {
        if (!site.STA || (changed && !changed->count(*site.STA)) || !InRegion(query, site)) continue;
        const Epoch epoch = EpochOf(site);
        const std::string& network = networks.Of(*site.STA);
        const std::span<const StoredChannel> own = catalogue.ChannelsOf(*site.STA);
        std::vector<bool> taken(own.size(), false);
        bool station = false;
        for (const FdsnSelection& selection : query.selections) {
            if (!CodeMatches(selection.networks, network) || !CodeMatches(selection.stations, *site.STA) ||
                !InTime(query, selection, epoch))
                continue;
            const bool anyChannel = selection.locations.empty() && selection.channels.empty();
            if (anyChannel) station = true;
            for (size_t i = 0; i < own.size(); ++i)
                if (ChannelMatches(selection, own[i])) taken[i] = true, station = true;
        }
        if (!station) continue;
        chosen.insert(*site.STA);
        for (size_t i = 0; i < own.size(); ++i)
            if (taken[i]) channels.push_back(own[i]);
    }
    return CatalogueOf(std::move(catalogue.allSites), std::move(channels),
                       [&chosen](const std::optional<std::string>& code) { return code && chosen.count(*code); });
}

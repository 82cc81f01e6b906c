#include "tools/station_import.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

#include "db/wall_clock.h"
#include "text/text.h"
#include "station/catalogue_columns.h"
#include "station/number_text.h"
#include "station/station_code.h"
#include "station/value_rules.h"
#include "tools/value_text.h"

namespace {

// The form's groups and components.
constexpr int kMaxGroups = catalogue::kGroupMax;
constexpr int kLastComponent = catalogue::kLastComponent;
// The stale-group rule, named without its namespace: the parameters below
// called `catalogue` hold the catalogue as read.
using catalogue::StaleGroups;

// Widths (characters) of the text columns the import writes.
constexpr size_t kCodWidth = catalogue::SiteWidth("COD"), kSiteDescrWidth = catalogue::SiteWidth("DESCR"),
                 kStanameWidth = catalogue::SiteWidth("STANAME"), kUndergroundWidth = catalogue::SiteWidth("UNDERGROUND"),
                 kChannelDescrWidth = catalogue::SiteChanWidth("DESCR"),
                 kCalibFileWidth = catalogue::SiteChanWidth("CALIBFILE"), kLcodeWidth = catalogue::SiteChanWidth("LCODE");

// The first value of `checks` outside its rule, as the reason; nullopt when
// every given value keeps its rule.
std::optional<std::string> FirstProblem(std::initializer_list<std::pair<Quantity, std::optional<double>>> checks) {
    for (const auto& [quantity, value] : checks)
        if (value)
            if (std::optional<std::string> problem = ValueProblem(quantity, *value)) return problem;
    return std::nullopt;
}

std::optional<std::string> ChannelProblem(const XmlChannel& c) {
    return FirstProblem({{Quantity::Latitude, c.latitude},
                         {Quantity::Longitude, c.longitude},
                         {Quantity::Elevation, c.elevation},
                         {Quantity::Depth, c.depth},
                         {Quantity::Azimuth, c.azimuth},
                         {Quantity::Dip, c.dip},
                         {Quantity::SampleRate, c.sampleRate}});
}

// The station's values and its dates as they would be stored, by the rules
// of station/value_rules.h.
std::optional<std::string> StationProblem(const XmlStation& epoch, const std::optional<WallClock>& onDate,
                                          const std::optional<WallClock>& offDate) {
    if (std::optional<std::string> problem = FirstProblem({{Quantity::Latitude, epoch.latitude},
                                                           {Quantity::Longitude, epoch.longitude},
                                                           {Quantity::Elevation, epoch.elevation}}))
        return problem;
    for (const auto& [column, date] : {std::pair{"ONDATE", &onDate}, std::pair{"OFFDATE", &offDate}})
        if (*date)
            if (std::optional<std::string> problem = DateProblem(column, **date)) return problem;
    return DateOrderProblem(onDate, offDate);
}

bool OpenAt(const std::optional<std::time_t>& start, const std::optional<std::time_t>& end, std::time_t at) {
    return (!start || *start <= at) && (!end || *end > at);
}

// The text cut to `width` characters, noted when cut.
std::optional<std::string> Fit(const std::optional<std::string>& value, size_t width, const char* column,
                               const std::string& station, const std::string& channel,
                               std::vector<ImportNote>& notes) {
    if (!value || text::CharCount(*value) <= width) return value;
    notes.push_back({station, channel,
                     std::string(column) + " длиннее " + std::to_string(width) + " символов, обрезано: '" + *value +
                         "'"});
    return text::Left(*value, width);
}

// The component of an orientation letter: Z 0, N or 1 1, E or 2 2.
std::optional<int> Component(char letter) {
    switch (letter) {
        case 'Z': return 0;
        case 'N': case '1': return 1;
        case 'E': case '2': return 2;
        default: return std::nullopt;
    }
}

std::string LocationOf(const std::string& written) {
    // Two spaces and "--" are the empty location code in many files.
    return written == "  " || written == "--" ? std::string() : written;
}

StoredChannel MapChannel(const XmlChannel& c, const std::string& sta, std::vector<ImportNote>& notes) {
    StoredChannel ch;
    ch.STA = sta;
    ch.CHAN = c.code;
    ch.SPS = c.sampleRate;
    ch.EDEPH = c.depth;
    ch.LAT = c.latitude;
    ch.LON = c.longitude;
    ch.HANG = c.azimuth;
    if (c.dip) ch.VANG = *c.dip + 90;
    // The export writes the CSS "not applicable" HANG -1 of a vertical as
    // azimuth 0; read back, it is -1 again.
    if (c.azimuth && *c.azimuth == 0 && c.dip && std::abs(*c.dip) == 90) ch.HANG = -1.0;
    std::optional<std::string> descr = c.sensorDescription;
    if (!descr || descr->empty()) descr = c.sensorType;
    if (!descr || descr->empty()) descr = c.sensorModel;
    ch.DESCR = Fit(descr, kChannelDescrWidth, "DESCR", sta, c.code, notes);
    ch.CALIBFILE = Fit(c.calibFile, kCalibFileWidth, "CALIBFILE", sta, c.code, notes);
    ch.LCODE = Fit(LocationOf(c.locationCode), kLcodeWidth, "LCODE", sta, c.code, notes);
    return ch;
}

// The channels of an epoch grouped as the form holds them; the names of
// those refused by a value rule go to `refused`.
std::vector<StoredChannel> GroupChannels(const std::vector<const XmlChannel*>& open, const std::string& sta,
                                         std::vector<std::string>& refused, std::vector<ImportNote>& notes) {
    struct Group {
        double rate = 0;
        std::vector<StoredChannel> rows;
    };
    std::map<std::pair<std::string, std::string>, Group> groups;  // by location code and band+instrument
    for (const XmlChannel* c : open) {
        const std::optional<int> component = c->code.size() == 3 ? Component(c->code[2]) : std::nullopt;
        if (!component) {
            notes.push_back({sta, c->code,
                             "канал не загружен: ориентация не Z, N/1 или E/2 (или код не из трёх символов), в "
                             "группах формы ему нет места"});
            continue;
        }
        if (const std::optional<std::string> problem = ChannelProblem(*c)) {
            notes.push_back({sta, c->code, "канал не загружен: " + *problem + "; записанный остаётся как есть", true});
            refused.push_back(c->code);
            continue;
        }
        StoredChannel row = MapChannel(*c, sta, notes);
        row.CHANINDEX = *component;
        Group& group = groups[{*row.LCODE, c->code.substr(0, 2)}];
        group.rate = std::max(group.rate, c->sampleRate.value_or(0));
        group.rows.push_back(std::move(row));
    }
    std::vector<std::pair<std::pair<std::string, std::string>, Group*>> ordered;
    for (auto& [key, group] : groups) ordered.push_back({key, &group});
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.second->rate > b.second->rate; });
    std::vector<StoredChannel> rows;
    for (size_t g = 0; g < ordered.size(); ++g) {
        bool taken[catalogue::kComponentCount] = {};
        for (StoredChannel& row : ordered[g].second->rows) {
            const int component = static_cast<int>(*row.CHANINDEX);
            if (g >= kMaxGroups) {
                notes.push_back({sta, *row.CHAN, "канал не загружен: у формы не больше семи групп"});
            } else if (taken[component]) {
                notes.push_back({sta, *row.CHAN,
                                 "канал не загружен: компонента " + std::to_string(component) + " группы " +
                                     std::to_string(g + 1) + " уже занята"});
            } else {
                taken[component] = true;
                row.NGROUP = static_cast<double>(g + 1);
                rows.push_back(std::move(row));
            }
        }
    }
    std::sort(rows.begin(), rows.end(), [](const StoredChannel& a, const StoredChannel& b) {
        return std::tie(a.NGROUP, a.CHANINDEX) < std::tie(b.NGROUP, b.CHANINDEX);
    });
    return rows;
}

// Notes each channel of the epoch (by location and code) none of whose
// epochs is open at `when`: it is left out.
void NoteChannelsNotOpen(const XmlStation& epoch, const std::string& sta, const std::vector<const XmlChannel*>& open,
                         std::time_t when, std::vector<ImportNote>& notes) {
    std::set<std::pair<std::string, std::string>> taken, noted;
    for (const XmlChannel* c : open) taken.emplace(c->locationCode, c->code);
    const std::string time = WallClockText(UtcWallClock(when));
    for (const XmlChannel& c : epoch.channels)
        if (!taken.count({c.locationCode, c.code}) && noted.emplace(c.locationCode, c.code).second)
            notes.push_back({sta, c.code,
                             "канал не загружен: ни одна его эпоха не открыта на " + time + " UTC (код места '" +
                                 c.locationCode + "')"});
}

// The station under its checked code `sta`; nullopt, noted, when a value
// of the station breaks its rule.
std::optional<ImportedStation> MapStation(const XmlStation& epoch, const std::string& sta, std::time_t at,
                                          std::vector<ImportNote>& notes) {
    // A file's times are stored as their UTC wall-clock time, whatever the
    // zone the program runs in.
    std::optional<WallClock> onDate, offDate;
    if (epoch.start) onDate = UtcWallClock(*epoch.start);
    if (epoch.end) offDate = UtcWallClock(*epoch.end);
    if (const std::optional<std::string> problem = StationProblem(epoch, onDate, offDate)) {
        notes.push_back({sta, {}, "станция не загружена: " + *problem, true});
        return std::nullopt;
    }
    ImportedStation station;
    StoredSite& site = station.site;
    site.STA = sta;
    site.LAT = epoch.latitude;
    site.LON = epoch.longitude;
    site.ELEV = epoch.elevation;
    site.STANAME = Fit(epoch.siteName, kStanameWidth, "STANAME", sta, {}, notes);
    site.DESCR = Fit(epoch.siteDescription ? epoch.siteDescription : epoch.description, kSiteDescrWidth, "DESCR", sta,
                     {}, notes);
    site.UNDERGROUND = Fit(epoch.geology, kUndergroundWidth, "UNDERGROUND", sta, {}, notes);
    site.ONDATE = onDate;
    site.OFFDATE = offDate;

    // An epoch that ended at or before `at` keeps the channels open at its end.
    const bool ended = epoch.end && *epoch.end <= at;
    const std::time_t when = ended ? *epoch.end : at;
    std::vector<const XmlChannel*> open;
    for (const XmlChannel& c : epoch.channels)
        if ((!c.start || *c.start <= when) && (!c.end || *c.end > when || (ended && *c.end >= when)))
            open.push_back(&c);
    NoteChannelsNotOpen(epoch, sta, open, when, notes);
    station.channels = GroupChannels(open, sta, station.refusedChannels, notes);
    double groups = 0;
    for (const StoredChannel& row : station.channels) groups = std::max(groups, *row.NGROUP);
    site.NGROUPS = groups;
    return station;
}

// A number as the SITE statement stores it: printed with six decimals.
double AsStored(double value) {
    const std::string text = FixedText(value, 6);
    double stored = value;
    std::from_chars(text.data(), text.data() + text.size(), stored);
    return stored;
}

template <typename T>
std::string ValueText(const std::optional<T>& value) {
    if (!value) return "NULL";
    if constexpr (std::is_same_v<T, double>)
        return NumberText(*value);
    else if constexpr (std::is_same_v<T, WallClock>)
        return WallClockText(*value);
    else
        return "'" + *value + "'";
}

// The save stores an absent text as empty, so NULL and empty are one value.
template <typename T>
bool SameValue(const std::optional<T>& a, const std::optional<T>& b) {
    if constexpr (std::is_same_v<T, std::string>)
        return a.value_or(std::string()) == b.value_or(std::string());
    else
        return a == b;
}

// Adds "COLUMN: old -> new" for each differing column.
template <typename Row, typename... Columns>
void Compare(const Row& old, const Row& now, std::vector<std::string>& changes,
             const std::pair<const char*, Columns Row::*>&... columns) {
    (
        [&] {
            const auto& [name, member] = columns;
            if (!SameValue(old.*member, now.*member))
                changes.push_back(std::string(name) + ": " + ValueText(old.*member) + " -> " + ValueText(now.*member));
        }(),
        ...);
}

std::vector<std::string> SiteChanges(const StoredSite& old, const StoredSite& now) {
    std::vector<std::string> changes;
    using S = StoredSite;
    Compare(old, now, changes, std::pair{"COD", &S::COD}, std::pair{"LAT", &S::LAT}, std::pair{"LON", &S::LON},
            std::pair{"ELEV", &S::ELEV}, std::pair{"STANAME", &S::STANAME}, std::pair{"DESCR", &S::DESCR},
            std::pair{"UNDERGROUND", &S::UNDERGROUND}, std::pair{"ONDATE", &S::ONDATE},
            std::pair{"OFFDATE", &S::OFFDATE}, std::pair{"NGROUPS", &S::NGROUPS});
    return changes;
}

std::vector<std::string> ChannelChanges(const StoredChannel& old, const StoredChannel& now) {
    std::vector<std::string> changes;
    using C = StoredChannel;
    Compare(old, now, changes, std::pair{"SPS", &C::SPS}, std::pair{"HANG", &C::HANG}, std::pair{"VANG", &C::VANG},
            std::pair{"EDEPH", &C::EDEPH}, std::pair{"LAT", &C::LAT}, std::pair{"LON", &C::LON},
            std::pair{"DESCR", &C::DESCR}, std::pair{"CALIBFILE", &C::CALIBFILE}, std::pair{"LCODE", &C::LCODE});
    return changes;
}

std::string ChannelName(const StoredChannel& ch) {
    return "канал " + ch.CHAN.value_or("NULL") + " (группа " + ValueText(ch.NGROUP) + ", компонента " +
           ValueText(ch.CHANINDEX) + ")";
}

}  // namespace

std::vector<ImportedStation> PlanImport(const std::vector<XmlStation>& epochs, std::time_t at,
                                        std::vector<ImportNote>& notes) {
    // Epochs by code as it is stored, codes in the order of their first
    // epoch; a code the rule refuses is noted once.
    std::vector<std::string> codes;
    std::map<std::string, std::vector<const XmlStation*>> byCode;
    std::set<std::string> refused;
    for (const XmlStation& epoch : epochs) {
        std::string problem;
        const std::optional<std::string> checked = CheckedStationCode(epoch.code, problem);
        if (!checked) {
            if (refused.insert(epoch.code).second)
                notes.push_back({epoch.code, {}, "станция не загружена: " + problem, true});
            continue;
        }
        auto& list = byCode[*checked];
        if (list.empty()) codes.push_back(*checked);
        list.push_back(&epoch);
    }
    std::vector<ImportedStation> stations;
    for (const std::string& code : codes) {
        const XmlStation* chosen = nullptr;
        for (const XmlStation* epoch : byCode[code])
            if (OpenAt(epoch->start, epoch->end, at)) chosen = epoch;
        // Else the latest that started before `at` (no start: the earliest).
        const auto startOf = [](const XmlStation* e) { return e->start.value_or(std::numeric_limits<std::time_t>::min()); };
        if (!chosen)
            for (const XmlStation* epoch : byCode[code])
                if (startOf(epoch) <= at && (!chosen || startOf(epoch) > startOf(chosen))) chosen = epoch;
        if (!chosen) {
            notes.push_back({code, {}, "станция не загружена: ни одна её эпоха не началась к заданному времени"});
            continue;
        }
        if (byCode[code].size() > 1) {
            std::set<std::string> networks;
            for (const XmlStation* epoch : byCode[code]) networks.insert(epoch->network);
            if (networks.size() > 1)
                notes.push_back({code, {}, "код станции есть в нескольких сетях; взята эпоха сети " + chosen->network});
        }
        if (std::optional<ImportedStation> station = MapStation(*chosen, code, at, notes))
            stations.push_back(std::move(*station));
    }
    return stations;
}

bool KeepStoredColumns(ImportedStation& station, const StoredSite* stored, std::vector<ImportNote>& notes) {
    StoredSite& site = station.site;
    // A place the file does not give never becomes 0: an existing station
    // keeps its own, a new one is not written without it.
    const std::pair<const char*, std::optional<double> StoredSite::*> place[] = {
        {"LAT", &StoredSite::LAT}, {"LON", &StoredSite::LON}, {"ELEV", &StoredSite::ELEV}};
    // What the SITE statement stores (six decimals), so that a station
    // imported again compares unchanged.
    for (std::optional<double>* number : {&site.LAT, &site.LON, &site.ELEV})
        if (*number) *number = AsStored(**number);
    if (!stored) {
        for (const auto& [column, member] : place)
            if (!(site.*member)) {
                notes.push_back({*site.STA, {}, std::string("станция не загружена: новая станция без ") + column +
                                                    " (в файле нет значения)", true});
                return false;
            }
        site.COD = Fit(site.STA, kCodWidth, "COD", *site.STA, {}, notes);
        return true;
    }
    for (const auto& [column, member] : place)
        if (!(site.*member)) site.*member = stored->*member;
    site.COD = stored->COD;
    site.NINDEX = stored->NINDEX;
    site.STATYPE = stored->STATYPE;
    site.REFSTA = stored->REFSTA;
    site.DNORTH = stored->DNORTH;
    site.DEAST = stored->DEAST;
    site.DESCR = stored->DESCR;
    if (!site.UNDERGROUND) site.UNDERGROUND = stored->UNDERGROUND;
    return true;
}

StationDiff DiffStation(const ImportedStation& station, const Catalogue& catalogue) {
    StationDiff diff;
    const std::string& sta = *station.site.STA;
    const StoredSite* stored = catalogue.FindSite(sta);
    if (!stored) diff.change = StationChange::New;
    const StoredSite empty;
    for (const std::string& change : SiteChanges(stored ? *stored : empty, station.site))
        diff.lines.push_back("  " + change);

    // The form shows (and its save keeps or removes) groups 1..NGROUPS.
    const int shown =
        StaleGroups(stored ? stored->NGROUPS.value_or(kMaxGroups) : 0.0, station.site.NGROUPS.value_or(0));
    const auto sameKey = [](const StoredChannel& a, const StoredChannel& b) {
        return a.CHAN == b.CHAN && a.NGROUP == b.NGROUP && a.CHANINDEX == b.CHANINDEX;
    };
    const std::span<const StoredChannel> old = catalogue.ChannelsOf(sta);
    for (const StoredChannel& now : station.channels) {
        const auto found = std::find_if(old.begin(), old.end(), [&](const StoredChannel& o) { return sameKey(o, now); });
        if (found == old.end()) {
            diff.lines.push_back("  " + ChannelName(now) + ": добавлен");
            continue;
        }
        const std::vector<std::string> changes = ChannelChanges(*found, now);
        if (changes.empty()) continue;
        std::string line = "  " + ChannelName(now) + ": изменён:";
        for (const std::string& change : changes) line += " " + change + ";";
        line.pop_back();
        diff.lines.push_back(line);
    }
    for (const StoredChannel& o : old) {
        if (!o.NGROUP || !o.CHANINDEX || *o.NGROUP < 1 || *o.NGROUP > shown || *o.CHANINDEX < 0 ||
            *o.CHANINDEX > kLastComponent)
            continue;
        const bool kept = o.CHAN && std::count(station.refusedChannels.begin(), station.refusedChannels.end(), *o.CHAN);
        if (!kept && std::none_of(station.channels.begin(), station.channels.end(),
                                  [&](const StoredChannel& now) { return sameKey(now, o); }))
            diff.lines.push_back("  " + ChannelName(o) + ": удалён");
    }
    if (stored) diff.change = diff.lines.empty() ? StationChange::Unchanged : StationChange::Changed;
    return diff;
}

const char* ChangeName(StationChange change) {
    switch (change) {
        case StationChange::New: return "новая";
        case StationChange::Changed: return "изменена";
        case StationChange::Unchanged: return "без изменений";
    }
    return "";
}

StationValues ToStationValues(const ImportedStation& station, const StoredSite* stored) {
    const StoredSite& site = station.site;
    StationValues v;
    v.code = *site.STA;
    v.nindex = static_cast<int>(site.NINDEX.value_or(0));
    v.ngroups = static_cast<int>(site.NGROUPS.value_or(0));
    v.lat = site.LAT;
    v.lon = site.LON;
    v.elev = site.ELEV;
    v.descr = site.DESCR.value_or("");
    v.staname = site.STANAME.value_or("");
    v.cod = site.COD.value_or("");
    v.refsta = site.REFSTA.value_or("");
    v.underground = site.UNDERGROUND.value_or("");
    v.dnorth = site.DNORTH;
    v.deast = site.DEAST;
    if (site.ONDATE) v.onDate = WallClockText(*site.ONDATE);
    if (site.OFFDATE) v.offDate = v.offDateOnUpdate = WallClockText(*site.OFFDATE);
    v.datesAsGiven = true;
    for (const StoredChannel& row : station.channels) {
        ChannelValues c;
        c.chan = *row.CHAN;
        c.group = static_cast<int>(*row.NGROUP);
        c.component = static_cast<int>(*row.CHANINDEX);
        c.sps = row.SPS.value_or(0);
        c.calibFile = row.CALIBFILE.value_or("");
        c.locCode = row.LCODE.value_or("");
        c.sensorType = row.DESCR.value_or("");
        c.hang = row.HANG;
        c.vang = row.VANG;
        c.edeph = row.EDEPH;
        c.lat = row.LAT;
        c.lon = row.LON;
        v.channels.push_back(std::move(c));
    }
    v.keptChannels = station.refusedChannels;
    v.staleGroups = StaleGroups(stored ? stored->NGROUPS.value_or(kMaxGroups) : 0.0, v.ngroups);
    return v;
}

StationWrite PlanStationWrite(ImportedStation station, const Catalogue& catalogue, std::vector<ImportNote>& notes) {
    const StoredSite* stored = catalogue.FindSite(*station.site.STA);
    StationWrite write;
    if (!KeepStoredColumns(station, stored, notes)) {
        write.refused = true;
        return write;
    }
    write.diff = DiffStation(station, catalogue);
    if (write.diff.change != StationChange::Unchanged) write.values = ToStationValues(station, stored);
    return write;
}

Catalogue CatalogueOf(const StationSnapshot& snapshot, const std::string& code) {
    Catalogue catalogue;
    if (!snapshot.site) return catalogue;
    StoredSite site = StoredRowOf(*snapshot.site);
    site.STA = code;
    catalogue.sites.push_back(std::move(site));
    catalogue.allSites = catalogue.sites;
    for (const ChannelRow& row : snapshot.channels) {
        StoredChannel channel = StoredRowOf(row);
        channel.STA = code;
        catalogue.channels.push_back(std::move(channel));
    }
    std::sort(catalogue.channels.begin(), catalogue.channels.end(), [](const StoredChannel& a, const StoredChannel& b) {
        return std::tie(a.NGROUP, a.CHANINDEX, a.CHAN) < std::tie(b.NGROUP, b.CHANINDEX, b.CHAN);
    });
    catalogue.Index();
    return catalogue;
}

#include "tools/check_rules.h"

#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <cmath>
#include <initializer_list>
#include <filesystem>
#include <map>
#include <numbers>
#include <system_error>
#include <unordered_map>

#include "text/text.h"
#include "station/catalogue_columns.h"
#include "station/component_orientation.h"
#include "station/value_rules.h"
#include "tools/value_text.h"

namespace {

std::string Code(const std::optional<std::string>& code) { return code.value_or(std::string()); }

// A message of the shared rules as a finding begins: with a capital letter.
std::string Capitalized(const std::string& message) {
    const std::string first = text::Left(message, 1);
    return text::ToUpper(first) + message.substr(first.size());
}

// The form shows the groups 1 to NGROUPS (at most kMaxGroups).
constexpr int kMaxGroups = catalogue::kGroupMax;
constexpr int kLastComponent = catalogue::kLastComponent;

// ---- station rules -------------------------------------------------------

// Reports each stored value of `columns` outside its rule, naming the column.
template <typename Row>
void ReportValues(const Row& row, const std::string& channel, const FindingSink& report,
                  std::initializer_list<std::tuple<const char*, Quantity, std::optional<double> Row::*>> columns) {
    for (const auto& [column, quantity, member] : columns)
        if (const std::optional<double>& value = row.*member; value)
            if (const std::optional<std::string> problem = ValueProblem(quantity, *value))
                report(Code(row.STA), channel, Capitalized(*problem) + " (" + column + ")");
}

void CoordinatesInRange(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    using S = StoredSite;
    for (const StoredSite& site : c.sites)
        ReportValues(site, {}, report,
                     {{"LAT", Quantity::Latitude, &S::LAT},
                      {"LON", Quantity::Longitude, &S::LON},
                      {"ELEV", Quantity::Elevation, &S::ELEV}});
}

void OffDateNotBeforeOnDate(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredSite& site : c.sites)
        if (const std::optional<std::string> problem = DateOrderProblem(site.ONDATE, site.OFFDATE))
            report(Code(site.STA), {}, Capitalized(*problem));
}

void RefStaInSite(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredSite& site : c.sites)
        if (site.REFSTA && !site.REFSTA->empty() && !c.FindSite(*site.REFSTA))
            report(Code(site.STA), {}, "Центральная точка REFSTA = '" + *site.REFSTA + "' не найдена в SITE");
}

bool HasChannels(const Catalogue& c, const std::string& station) { return !c.ChannelsOf(station).empty(); }

void GroupCountValid(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredSite& site : c.sites) {
        if (!site.STA || !HasChannels(c, *site.STA)) continue;
        if (!site.NGROUPS)
            report(*site.STA, {}, "Число групп NGROUPS не задано (NULL), а у станции есть каналы");
        else if (*site.NGROUPS < 1 || *site.NGROUPS > kMaxGroups)
            report(*site.STA, {},
                   "Число групп NGROUPS = " + NumberText(*site.NGROUPS) + " вне диапазона 1.." + std::to_string(kMaxGroups) +
                       ", а у станции есть каналы");
    }
}

// ---- channel rules -------------------------------------------------------

void GroupShownByForm(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredChannel& ch : c.channels) {
        if (!ch.STA || !ch.NGROUP) continue;
        const StoredSite* site = c.FindSite(*ch.STA);
        if (!site || !site->NGROUPS || *site->NGROUPS < 1) continue;  // judged by the rule on NGROUPS
        const double shown = std::min<double>(*site->NGROUPS, kMaxGroups);
        if (*ch.NGROUP < 1 || *ch.NGROUP > shown)
            report(*ch.STA, Code(ch.CHAN),
                   "Канал в группе NGROUP = " + NumberText(*ch.NGROUP) + ", а у станции групп NGROUPS = " +
                       NumberText(*site->NGROUPS) + ": форма его не показывает");
    }
}

void ChanIndexInRange(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredChannel& ch : c.channels)
        if (ch.CHANINDEX && (*ch.CHANINDEX < 0 || *ch.CHANINDEX > kLastComponent))
            report(Code(ch.STA), Code(ch.CHAN),
                   "Номер компоненты CHANINDEX = " + NumberText(*ch.CHANINDEX) + " вне диапазона 0.." + std::to_string(kLastComponent));
}

void ChannelValuesInRange(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    using C = StoredChannel;
    for (const StoredChannel& ch : c.channels)
        ReportValues(ch, Code(ch.CHAN), report,
                     {{"LAT", Quantity::Latitude, &C::LAT},
                      {"LON", Quantity::Longitude, &C::LON},
                      {"EDEPH", Quantity::Depth, &C::EDEPH},
                      {"HANG", Quantity::Hang, &C::HANG},
                      {"VANG", Quantity::Vang, &C::VANG},
                      {"SPS", Quantity::SampleRate, &C::SPS}});
}

void ChannelNameOncePerStation(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    std::map<std::pair<std::string, std::string>, int> rows;
    for (const StoredChannel& ch : c.channels)
        if (ch.STA && ch.CHAN) ++rows[{*ch.STA, *ch.CHAN}];
    for (const auto& [key, count] : rows)
        if (count > 1)
            report(key.first, key.second, "Канал записан в SITECHAN " + std::to_string(count) + " раза");
}

void StationIndexOnce(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    std::map<double, std::vector<std::string>> byIndex;
    for (const StoredSite& site : c.allSites)
        if (site.NINDEX) byIndex[*site.NINDEX].push_back(Code(site.STA));
    for (const StoredSite& site : c.sites) {
        if (!site.NINDEX || byIndex[*site.NINDEX].size() < 2) continue;
        std::string others;
        for (const std::string& code : byIndex[*site.NINDEX])
            if (code != Code(site.STA)) others += (others.empty() ? "" : ", ") + code;
        report(Code(site.STA), {}, "NINDEX = " + NumberText(*site.NINDEX) + " есть и у станции " + others);
    }
}

void KeyColumnsSet(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredSite& site : c.sites)
        if (!site.STA) report({}, {}, "Строка SITE без кода станции: STA = NULL");
    for (const StoredChannel& ch : c.channels) {
        std::string missing;
        const std::pair<const char*, bool> keys[] = {
            {"STA", !ch.STA}, {"CHAN", !ch.CHAN}, {"NGROUP", !ch.NGROUP}, {"CHANINDEX", !ch.CHANINDEX}};
        for (const auto& [name, isNull] : keys)
            if (isNull) missing += (missing.empty() ? "" : ", ") + std::string(name);
        if (!missing.empty()) report(Code(ch.STA), Code(ch.CHAN), "Строка SITECHAN с пустым ключом: NULL в " + missing);
    }
}

// ---- warnings ------------------------------------------------------------

void OffsetMatchesCoordinates(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredSite& site : c.sites) {
        if (!site.REFSTA || site.REFSTA->empty() || !site.DNORTH || !site.DEAST || !site.LAT || !site.LON) continue;
        const StoredSite* central = c.FindSite(*site.REFSTA);
        if (!central || !central->LAT || !central->LON) continue;
        const auto valid = [](double lat, double lon) { return std::abs(lat) <= 90 && std::abs(lon) <= 180; };
        if (!valid(*site.LAT, *site.LON) || !valid(*central->LAT, *central->LON)) continue;
        const Offset computed = GeodesicOffset(*central->LAT, *central->LON, *site.LAT, *site.LON);
        const double apart = std::hypot(*site.DNORTH - computed.north, *site.DEAST - computed.east);
        const double tolerance = std::max(0.1, 0.05 * std::hypot(computed.north, computed.east));
        if (apart > tolerance) {
            const auto km = [](double v) { return NumberText(std::round(v * 1000) / 1000); };
            report(Code(site.STA), {},
                   "Смещение от " + *site.REFSTA + " DNORTH = " + NumberText(*site.DNORTH) +
                       ", DEAST = " + NumberText(*site.DEAST) + " км, а по координатам " + km(computed.north) +
                       ", " + km(computed.east) + " км (расхождение " + km(apart) + " км)");
        }
    }
}

// A SEED band code and the sampling rates (samples per second) it stands for.
struct BandCode {
    const char* letters;
    double low, high;  // low <= rate < high; low < rate when lowOpen
    bool lowOpen;
};

const BandCode kBandCodes[] = {
    {"FG", 1000, 5000, false}, {"CD", 250, 1000, false}, {"EH", 80, 250, false}, {"SB", 10, 80, false},
    {"M", 1, 10, true},        {"L", 0.5, 2, false},     {"V", 0.05, 0.2, false}, {"U", 0.005, 0.02, false},
};

void BandFitsRate(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredChannel& ch : c.channels) {
        if (!ch.CHAN || ch.CHAN->empty() || !ch.SPS) continue;
        const char band = (*ch.CHAN)[0];
        if (band == '\0') continue;
        for (const BandCode& code : kBandCodes) {
            if (!std::strchr(code.letters, band)) continue;
            const double rate = *ch.SPS;
            const bool fits = (code.lowOpen ? rate > code.low : rate >= code.low) && rate < code.high;
            if (!fits)
                report(Code(ch.STA), *ch.CHAN,
                       std::string("Код диапазона '") + band + "' не подходит к частоте SPS = " + NumberText(rate) +
                           " (ожидается " + NumberText(code.low) + ".." + NumberText(code.high) + ")");
        }
    }
}

void OrientationFitsIndex(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredChannel& ch : c.channels) {
        if (!ch.CHAN || ch.CHAN->size() < 3 || !ch.CHANINDEX) continue;
        const char letter = (*ch.CHAN)[2];
        int expected = -1;
        for (const char* order : {"ZNE", "123"})
            if (const char* at = std::strchr(order, letter); at && letter) expected = static_cast<int>(at - order);
        if (expected < 0 || *ch.CHANINDEX < 0 || *ch.CHANINDEX > kLastComponent) continue;
        if (*ch.CHANINDEX != expected)
            report(Code(ch.STA), *ch.CHAN,
                   std::string("Буква ориентации '") + letter + "' не подходит к компоненте CHANINDEX = " +
                       NumberText(*ch.CHANINDEX) + " (ожидается " + std::to_string(expected) + ")");
    }
}

void ResponseFileExists(const Catalogue& c, const CheckContext& context, const FindingSink& report) {
    // Many channels name the same file: each name is looked up once.
    std::unordered_map<std::string, bool> exists;
    for (const StoredChannel& ch : c.channels) {
        if (!ch.CALIBFILE || ch.CALIBFILE->empty()) continue;
        const auto [known, added] = exists.try_emplace(*ch.CALIBFILE, false);
        if (added) {
            std::error_code ec;
            known->second =
                std::filesystem::is_regular_file(std::filesystem::path(context.responseFolder) / *ch.CALIBFILE, ec);
        }
        if (!known->second)
            report(Code(ch.STA), Code(ch.CHAN),
                   "Файл отклика CALIBFILE = '" + *ch.CALIBFILE + "' не найден в " + context.responseFolder);
    }
}

void LocationCodeShape(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredChannel& ch : c.channels)
        if (ch.LCODE && !ch.LCODE->empty() && text::CharCount(*ch.LCODE) != 2)
            report(Code(ch.STA), Code(ch.CHAN),
                   "Код места LCODE = '" + *ch.LCODE + "': ожидается пусто, '?\?' или два символа");
}

// ---- what StationXML validators judge -----------------------------------

// The SEED instrument code of a channel (its second letter), or '\0'.
char InstrumentCode(const StoredChannel& ch) { return ch.CHAN && ch.CHAN->size() >= 2 ? (*ch.CHAN)[1] : '\0'; }
// The SEED orientation code (third letter), or '\0'.
char OrientationCode(const StoredChannel& ch) { return ch.CHAN && ch.CHAN->size() >= 3 ? (*ch.CHAN)[2] : '\0'; }

// High- and low-gain seismometers (H, L), mass positions (M) and
// accelerometers (N): the instruments whose data mean nothing without an
// orientation.
bool NeedsOrientation(const StoredChannel& ch) {
    const char code = InstrumentCode(ch);
    return code != '\0' && std::strchr("HLMN", code) != nullptr;
}

void OrientationSet(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredChannel& ch : c.channels)
        if (NeedsOrientation(ch) && (!ch.HANG || !ch.VANG))
            report(Code(ch.STA), Code(ch.CHAN),
                   std::string("Инструмент '") + InstrumentCode(ch) + "' без ориентации: " +
                       (!ch.HANG && !ch.VANG ? "HANG и VANG" : !ch.HANG ? "HANG" : "VANG") + " = NULL");
}

// Whether `angle` lies within 5 degrees of one of `targets`, on the circle.
bool Near(double angle, std::initializer_list<double> targets) {
    for (double target : targets) {
        const double apart = std::fmod(std::abs(angle - target), 360.0);
        if (std::min(apart, 360 - apart) <= 5) return true;
    }
    return false;
}

void AnglesFitOrientation(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredChannel& ch : c.channels) {
        const char letter = OrientationCode(ch);
        if (letter == 'Z' && ch.VANG && !Near(*ch.VANG, {0, 180}))
            report(Code(ch.STA), Code(ch.CHAN),
                   "Вертикальный канал, а VANG = " + NumberText(*ch.VANG) + " (ожидается 0 или 180 ±5°)");
        // HANG -1 on a vertical is "not applicable" and never judged.
        if (letter == 'N' && ch.HANG && !Near(*ch.HANG, {0, 180}))
            report(Code(ch.STA), Code(ch.CHAN),
                   "Канал север-юг, а HANG = " + NumberText(*ch.HANG) + " (ожидается 0 или 180 ±5°)");
        if (letter == 'E' && ch.HANG && !Near(*ch.HANG, {90, 270}))
            report(Code(ch.STA), Code(ch.CHAN),
                   "Канал восток-запад, а HANG = " + NumberText(*ch.HANG) + " (ожидается 90 или 270 ±5°)");
    }
}

// The angle from the vertical against the component the form shows the
// channel as: a horizontal component recorded as vertical, or the reverse.
void VangFitsComponent(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredChannel& ch : c.channels) {
        if (!ch.CHANINDEX || !ch.VANG || std::round(*ch.CHANINDEX) != *ch.CHANINDEX) continue;
        const auto meant = ComponentOrientation(static_cast<int>(*ch.CHANINDEX));
        if (!meant) continue;  // judged by the rule on CHANINDEX
        const bool horizontal = meant->vang == 90;
        if (horizontal ? Near(*ch.VANG, {0, 180}) : Near(*ch.VANG, {90}))
            report(Code(ch.STA), Code(ch.CHAN),
                   std::string(horizontal ? "Горизонтальная" : "Вертикальная") + " компонента CHANINDEX = " +
                       NumberText(*ch.CHANINDEX) + ", а VANG = " + NumberText(*ch.VANG) + ": записана как " +
                       (horizontal ? "вертикальная (ожидается 90)" : "горизонтальная (ожидается 0 или 180)"));
    }
}

// How far a channel may lie from its station before a validator warns (km).
constexpr double kChannelDistanceKm = 1.0;

void ChannelNearStation(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    const auto valid = [](double lat, double lon) { return std::abs(lat) <= 90 && std::abs(lon) <= 180; };
    for (const StoredChannel& ch : c.channels) {
        if (!ch.STA || !ch.LAT || !ch.LON || !valid(*ch.LAT, *ch.LON)) continue;
        const StoredSite* site = c.FindSite(*ch.STA);
        if (!site || !site->LAT || !site->LON || !valid(*site->LAT, *site->LON)) continue;
        double metres = 0;
        GeographicLib::Geodesic::WGS84().Inverse(*site->LAT, *site->LON, *ch.LAT, *ch.LON, metres);
        if (metres / 1000 > kChannelDistanceKm)
            report(*ch.STA, Code(ch.CHAN),
                   "Канал LAT = " + NumberText(*ch.LAT) + ", LON = " + NumberText(*ch.LON) + " в " +
                       NumberText(std::round(metres) / 1000) + " км от станции (больше 1 км)");
    }
}

void SensorDescribed(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredChannel& ch : c.channels)
        if (!ch.DESCR || ch.DESCR->find_first_not_of(" \t") == std::string::npos)
            report(Code(ch.STA), Code(ch.CHAN), "Не указан тип датчика (DESCR пусто)");
}

void CodesFitStationXml(const Catalogue& c, const CheckContext&, const FindingSink& report) {
    for (const StoredSite& site : c.sites)
        if (site.STA && text::CharCount(*site.STA) > 5)
            report(*site.STA, {}, "Код станции длиннее пяти символов: StationXML и SEED его не передают");
    for (const StoredChannel& ch : c.channels)
        if (ch.CHAN && text::CharCount(*ch.CHAN) != 3)
            report(Code(ch.STA), *ch.CHAN, "Код канала не из трёх символов: в StationXML канал не выгружается");
}

void OnDateNotInFuture(const Catalogue& c, const CheckContext& context, const FindingSink& report) {
    for (const StoredSite& site : c.sites) {
        if (!site.ONDATE) continue;
        const std::optional<std::time_t> on = UtcInstant(*site.ONDATE);
        if (on && *on > context.now)
            report(Code(site.STA), {}, "Дата открытия ONDATE " + WallClockText(*site.ONDATE) + " в будущем");
    }
}

}  // namespace

const std::vector<CheckRule>& CheckRules() {
    static const std::vector<CheckRule> rules = {
        {"coordinates", Severity::Error, "LAT, LON или ELEV станции вне допустимого диапазона или не число",
         CoordinatesInRange},
        {"offdate-before-ondate", Severity::Error, "OFFDATE раньше ONDATE", OffDateNotBeforeOnDate},
        {"refsta-unknown", Severity::Error, "REFSTA называет станцию, которой нет в SITE", RefStaInSite},
        {"ngroups", Severity::Error, "NGROUPS NULL, меньше 1 или больше 7 при наличии каналов", GroupCountValid},
        {"group-hidden", Severity::Error, "канал в группе вне 1..NGROUPS: форма его не показывает",
         GroupShownByForm},
        {"chanindex", Severity::Error, "CHANINDEX вне 0..2", ChanIndexInRange},
        {"channel-values", Severity::Error,
         "LAT, LON, EDEPH, HANG (кроме -1 у вертикали), VANG или SPS канала вне допустимого диапазона или не число",
         ChannelValuesInRange},
        {"duplicate-channel", Severity::Error, "два ряда с одним именем канала у одной станции",
         ChannelNameOncePerStation},
        {"nindex-duplicate", Severity::Error, "у двух станций один NINDEX", StationIndexOnce},
        {"null-key", Severity::Error, "ключевое поле строки NULL (SITE: STA; SITECHAN: STA, CHAN, NGROUP, CHANINDEX)",
         KeyColumnsSet},
        {"orientation-null", Severity::Error, "канал инструмента H, L, M или N (вторая буква CHAN) с HANG или VANG NULL",
         OrientationSet},
        {"array-offset", Severity::Warning,
         "DNORTH/DEAST расходятся со смещением по координатам от REFSTA больше чем на 0,1 км и 5 %",
         OffsetMatchesCoordinates},
        {"band-code", Severity::Warning, "код диапазона SEED (первая буква CHAN) не подходит к SPS", BandFitsRate},
        {"orientation", Severity::Warning, "буква ориентации (Z/N/E, 1/2/3) не подходит к CHANINDEX",
         OrientationFitsIndex},
        {"orientation-component", Severity::Warning,
         "компонента N или E (CHANINDEX 1, 2) с VANG у 0/180 или компонента Z (CHANINDEX 0) с VANG у 90 (±5°)",
         VangFitsComponent},
        {"calibfile-missing", Severity::Warning, "CALIBFILE не называет файл в DIR/RESPONSE", ResponseFileExists},
        {"lcode", Severity::Warning, "LCODE не пусто, не '?\?' и не из двух символов", LocationCodeShape},
        {"dip-azimuth", Severity::Warning,
         "вертикальный канал с VANG не у 0/180, канал N с HANG не у 0/180, канал E с HANG не у 90/270 (±5°)",
         AnglesFitOrientation},
        {"channel-distance", Severity::Warning, "LAT/LON канала дальше 1 км от станции (по геодезической WGS84)",
         ChannelNearStation},
        {"sensor-description", Severity::Warning, "тип датчика (DESCR канала) пуст", SensorDescribed},
        {"stationxml-code", Severity::Warning, "код станции длиннее 5 или код канала не из 3 символов",
         CodesFitStationXml},
        {"ondate-future", Severity::Warning, "ONDATE в будущем", OnDateNotInFuture},
    };
    return rules;
}

std::vector<Finding> CheckCatalogue(const Catalogue& catalogue, const CheckContext& context) {
    std::vector<Finding> findings;
    for (const CheckRule& rule : CheckRules())
        rule.apply(catalogue, context, [&](const std::string& station, const std::string& channel,
                                           const std::string& message) {
            findings.push_back({station, channel, rule.name, rule.severity, message});
        });
    // Stable: within one station and channel the table's order stays.
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return std::tie(a.station, a.channel) < std::tie(b.station, b.channel);
    });
    return findings;
}

const char* SeverityName(Severity severity) { return severity == Severity::Error ? "error" : "warning"; }

Offset GeodesicOffset(double centralLat, double centralLon, double lat, double lon) {
    double distance = 0, azimuth = 0, azimuthAtPoint = 0;
    GeographicLib::Geodesic::WGS84().Inverse(centralLat, centralLon, lat, lon, distance, azimuth, azimuthAtPoint);
    constexpr double kDegree = std::numbers::pi / 180;
    return {distance / 1000 * std::cos(azimuth * kDegree), distance / 1000 * std::sin(azimuth * kDegree)};
}

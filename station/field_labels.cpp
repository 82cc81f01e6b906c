#include "station/field_labels.h"

#include <utility>

#include "resources/control_ids.h"
#include "resources/form_template.h"

namespace {

// A label of the template as one line: a word the template breaks with "- "
// joined again, the date format's hint and a trailing colon dropped.
std::string Cleaned(std::string text) {
    for (std::size_t at; (at = text.find("- ")) != std::string::npos;) text.erase(at, 2);
    if (const std::size_t hint = text.find(" (yyyy"); hint != std::string::npos) text.erase(hint);
    while (!text.empty() && (text.back() == ':' || text.back() == ' ')) text.pop_back();
    return text;
}

// The label the template places right before the control in its table.
std::string LabelBefore(int control) {
    std::string label;
    for (const res::ControlTemplate& c : res::StationFormTemplate().controls) {
        if (c.kind == res::ControlKind::Label) label = c.text;
        if (c.id == control) return Cleaned(label);
    }
    return {};
}

// The heading above a column of the channel grid: the label at the same x as
// the group 1 control.
std::string HeadingAbove(int control) {
    const res::ControlTemplate* target = res::FindControl(control);
    if (target == nullptr) return {};
    for (const res::ControlTemplate& c : res::StationFormTemplate().controls)
        if (c.kind == res::ControlKind::Label && c.x == target->x && c.y < target->y) return Cleaned(c.text);
    return {};
}

}  // namespace

std::string SiteFieldLabel(std::string_view column) {
    static const std::pair<std::string_view, int> kShown[] = {
        {"STA", ctl::StationCode},  {"COD", ctl::IntlCode},         {"LAT", ctl::Latitude},
        {"LON", ctl::Longitude},    {"ELEV", ctl::Elevation},       {"NINDEX", ctl::DbNumber},
        {"DESCR", ctl::NameRu},     {"STANAME", ctl::NameEn},       {"UNDERGROUND", ctl::Ground},
        {"ONDATE", ctl::OnDate},    {"OFFDATE", ctl::OffDate},      {"NGROUPS", ctl::GroupCount},
        {"REFSTA", ctl::CentralPoint}, {"DNORTH", ctl::OffsetNorth}, {"DEAST", ctl::OffsetEast},
    };
    for (const auto& [name, control] : kShown)
        if (name == column) {
            std::string label = LabelBefore(control);
            if (!label.empty()) return label;
        }
    if (column == "LDDATE") return "Время записи";
    if (column == "STATYPE") return "Тип станции";
    return std::string(column);
}

std::string ChannelFieldLabel(std::string_view column) {
    if (column == "LCODE") return HeadingAbove(ctl::LocCode(1));
    if (column == "SPS") return HeadingAbove(ctl::SampleRate(1));
    if (column == "DESCR") return HeadingAbove(ctl::SensorType(1));
    static const std::pair<std::string_view, const char*> kOwn[] = {
        {"CHAN", "Канал"},           {"CALIBFILE", "Файл отклика"},  {"HANG", "Азимут, град"},
        {"VANG", "Угол от вертикали, град"}, {"EDEPH", "Глубина"}, {"LAT", "Широта канала, град"},
        {"LON", "Долгота канала, град"},     {"LDDATE", "Время записи"}, {"NGROUP", "Группа"},
        {"CHANINDEX", "Компонента"},        {"STA", "Станция"},
    };
    for (const auto& [name, label] : kOwn)
        if (name == column) return label;
    return std::string(column);
}

std::string ComponentName(int component) {
    static const char* const kNames[] = {"Z", "N", "E"};
    if (component >= 0 && component <= 2) return kNames[component];
    return std::to_string(component);
}

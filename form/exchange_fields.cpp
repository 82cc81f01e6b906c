// Moving the form fields into their controls and reading them back with the
// form's checks, in one fixed order for both directions.

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "form/field_syntax.h"
#include "form/station_dlg.h"
#include "text/text.h"
#include "station/catalogue_columns.h"
#include "station/value_rules.h"

namespace {

constexpr const char* kIntegerMessage = "Please enter an integer.";
constexpr const char* kNumberMessage = "Please enter a number.";

// How a field moves between its member and its control.
enum class Kind {
    Text,       // an edit's whole text
    Code,       // StationCode: straight into the combo box's edit field
    ListValue,  // LocCode, CentralPoint: the first list entry it begins, else the edit field
    Float,
    Integer,
    NumberText,  // SampleRate, OffsetNorth, OffsetEast: a text that is empty or one number
};

// One field of the exchange, with its check at read-back.
struct ExchangedField {
    Kind kind;
    int id;
    std::string* text = nullptr;
    double* real = nullptr;
    int* integer = nullptr;
    bool* shownEmpty = nullptr;  // a NULL column: shown as an empty text
    int maxChars = 0;            // length check; 0 for none
    bool tellLimit = false;      // the edit is told maxChars as its typing limit
    bool ranged = false;
    int low = 0;
    int high = 0;
    const ValueRange* range = nullptr;  // a number's rule (station/value_rules.h)
};

ExchangedField TextField(int id, std::string& value, int maxChars = 0) {
    ExchangedField f{Kind::Text, id};
    f.text = &value;
    f.maxChars = maxChars;
    f.tellLimit = maxChars > 0;
    return f;
}

ExchangedField ListField(int id, std::string& value, int maxChars = 0) {
    ExchangedField f{Kind::ListValue, id};
    f.text = &value;
    f.maxChars = maxChars;
    f.tellLimit = maxChars > 0;
    return f;
}

// A coordinate field, within its quantity's range.
ExchangedField FloatField(int id, double& value, bool& shownEmpty, Quantity quantity) {
    ExchangedField f{Kind::Float, id};
    f.real = &value;
    f.shownEmpty = &shownEmpty;
    f.range = &RangeOf(quantity);
    return f;
}

// A number kept as its text; with a quantity, within its range.
ExchangedField NumberTextField(int id, std::string& value, const ValueRange* range = nullptr) {
    ExchangedField f{Kind::NumberText, id};
    f.text = &value;
    f.range = range;
    return f;
}

ExchangedField IntegerField(int id, int& value, bool* shownEmpty = nullptr, bool ranged = false) {
    ExchangedField f{Kind::Integer, id};
    f.integer = &value;
    f.shownEmpty = shownEmpty;
    f.ranged = ranged;
    f.low = 1;
    f.high = ctl::GroupCountMax;
    return f;
}

std::string RangeMessage(const char* what, int low, int high) {
    return std::string("Please enter ") + what + " between " + std::to_string(low) + " and " + std::to_string(high) +
           ".";
}

// The message for a number outside its rule's range.
std::string RangeMessage(const ValueRange& range) {
    const auto whole = [](double bound) { return std::to_string(static_cast<long long>(bound)); };
    if (!(range.high < std::numeric_limits<double>::max()))
        return "Please enter a number not less than " + whole(range.low) + ".";
    return "Please enter a number between " + whole(range.low) + " and " + whole(range.high) + ".";
}

// Whether the value keeps the field's rule; a field without one keeps it.
bool InRange(const ExchangedField& entry, double value) {
    return entry.range == nullptr || !ValueProblem(entry.range->quantity, value);
}

std::string LengthMessage(int maxChars) {
    return "Please enter no more than " + std::to_string(maxChars) + " characters.";
}

// The flags of the number fields loaded from NULL (CStationDlg's EmptyShown).
struct EmptyFlags {
    bool& elevation;
    bool& latitude;
    bool& longitude;
    bool& groupCount;
};

// Every field of the form with its control and check, in the fixed order of
// the exchange, bound to the members of `f`.
std::vector<ExchangedField> FieldTable(FormFields& f, const EmptyFlags& empty) {
    std::vector<ExchangedField> order;
    order.reserve(64);
    // 1. ChanName of cell 0, then cells 9 to 20, then 1 to 8.
    const auto chan = [&](int k) { order.push_back(TextField(ctl::ChanName(k), f.ChanName[static_cast<size_t>(k)], 6)); };
    chan(0);
    for (int k = 9; k < ctl::CellCount; ++k) chan(k);
    for (int k = 1; k <= 8; ++k) chan(k);
    // 2. Elevation, Latitude, Longitude, GroupCount, StationCode, IntlCode.
    order.push_back(FloatField(ctl::Elevation, f.Elevation, empty.elevation, Quantity::Elevation));
    order.push_back(FloatField(ctl::Latitude, f.Latitude, empty.latitude, Quantity::Latitude));
    order.push_back(FloatField(ctl::Longitude, f.Longitude, empty.longitude, Quantity::Longitude));
    order.push_back(IntegerField(ctl::GroupCount, f.GroupCount, &empty.groupCount, true));
    {
        ExchangedField code{Kind::Code, ctl::StationCode};
        code.text = &f.StationCode;
        code.maxChars = catalogue::SiteWidth("STA");
        order.push_back(code);
    }
    // StationCode, IntlCode, LocCode, NameEn, Ground and SensorType take no
    // more than their columns hold (SITE.STA, SITE.COD, SITECHAN.LCODE,
    // SITE.STANAME, SITE.UNDERGROUND and SITECHAN.DESCR). ChanName, NameRu
    // and the dates have limits of the form's own, below their columns'.
    order.push_back(TextField(ctl::IntlCode, f.IntlCode, catalogue::SiteWidth("COD")));
    // 3. SampleRate of each group; DbNumber; LocCode of each group;
    //    CentralPoint, OffsetNorth, OffsetEast.
    for (int g = 1; g <= ctl::GroupCountMax; ++g)
        order.push_back(NumberTextField(ctl::SampleRate(g), f.SampleRate[static_cast<size_t>(g - 1)],
                                        &RangeOf(Quantity::SampleRate)));
    order.push_back(IntegerField(ctl::DbNumber, f.DbNumber));
    for (int g = 1; g <= ctl::GroupCountMax; ++g)
        order.push_back(ListField(ctl::LocCode(g), f.LocCode[static_cast<size_t>(g - 1)],
                                  catalogue::SiteChanWidth("LCODE")));
    order.push_back(ListField(ctl::CentralPoint, f.CentralPoint));
    order.push_back(NumberTextField(ctl::OffsetNorth, f.OffsetNorth));
    order.push_back(NumberTextField(ctl::OffsetEast, f.OffsetEast));
    // 4. NameRu, NameEn, Ground, OnDate, OffDate; SensorType of each group.
    order.push_back(TextField(ctl::NameRu, f.NameRu, 50));
    order.push_back(TextField(ctl::NameEn, f.NameEn, catalogue::SiteWidth("STANAME")));
    order.push_back(TextField(ctl::Ground, f.Ground, catalogue::SiteWidth("UNDERGROUND")));
    order.push_back(TextField(ctl::OnDate, f.OnDate, 50));
    order.push_back(TextField(ctl::OffDate, f.OffDate, 50));
    for (int g = 1; g <= ctl::GroupCountMax; ++g)
        order.push_back(TextField(ctl::SensorType(g), f.SensorType[static_cast<size_t>(g - 1)],
                                  catalogue::SiteChanWidth("DESCR")));

    return order;
}

// Puts every field into its control; a control that already shows the
// field's text is left alone. `showingGroupCount` is set while GroupCount's
// text is put in.
void ShowFields(platform::DialogPort& port, const std::vector<ExchangedField>& order, bool& showingGroupCount) {
    for (const ExchangedField& entry : order) {
        const bool empty = entry.shownEmpty != nullptr && *entry.shownEmpty;
        std::string shown;
        switch (entry.kind) {
            case Kind::Text:
            case Kind::Code:
            case Kind::NumberText:
                shown = *entry.text;
                break;
            case Kind::Float:
                shown = empty ? std::string() : FloatFieldText(*entry.real);
                break;
            case Kind::Integer:
                shown = empty ? std::string() : std::to_string(*entry.integer);
                break;
            case Kind::ListValue: {
                // An empty value shows an empty edit field rather than
                // the first entry, which every entry "begins with".
                const int index =
                    entry.text->empty() ? platform::CB_ERR : port.FindString(entry.id, -1, *entry.text);
                if (index != platform::CB_ERR) {
                    if (port.GetCurSel(entry.id) != index || port.Text(entry.id) != port.GetLBText(entry.id, index))
                        port.SetCurSel(entry.id, index);
                } else if (entry.text->empty()) {
                    if (port.GetCurSel(entry.id) != platform::CB_ERR || !port.Text(entry.id).empty())
                        port.SetCurSel(entry.id, -1);
                } else if (port.Text(entry.id) != *entry.text) {
                    port.SetText(entry.id, *entry.text);
                }
                if (entry.tellLimit) port.SetLimitText(entry.id, entry.maxChars);
                continue;
            }
        }
        if (port.Text(entry.id) != shown) {
            // Showing GroupCount notifies its change; the handler must know
            // that the program, not the user, put the number there.
            showingGroupCount = entry.id == ctl::GroupCount;
            port.SetText(entry.id, shown);
            showingGroupCount = false;
        }
        if (entry.tellLimit) port.SetLimitText(entry.id, entry.maxChars);
    }
}

// Reads every control back into its field with the field's check, in order;
// the first check that fails answers `fail`'s result (false) at once.
bool ReadFieldsBack(platform::DialogPort& port, const std::vector<ExchangedField>& order,
                    const std::function<bool(int id, const std::string& message)>& fail) {
    for (const ExchangedField& entry : order) {
        const std::string typed = port.Text(entry.id);
        switch (entry.kind) {
            case Kind::Text:
            case Kind::Code:
            case Kind::ListValue:
                *entry.text = typed;
                if (entry.maxChars > 0 && text::CharCount(typed) > static_cast<size_t>(entry.maxChars))
                    return fail(entry.id, LengthMessage(entry.maxChars));
                break;
            case Kind::Float: {
                // A text still as shown keeps the value it shows, so that a
                // stored coordinate the user did not touch is written back
                // as stored, not as its six shown digits.
                const bool untouched =
                    !*entry.shownEmpty && std::isfinite(*entry.real) && typed == FloatFieldText(*entry.real);
                const std::optional<double> value = untouched ? *entry.real : ReadFloatField(typed);
                if (!value) return fail(entry.id, kNumberMessage);
                *entry.real = *value;
                *entry.shownEmpty = false;
                if (!InRange(entry, *value)) return fail(entry.id, RangeMessage(*entry.range));
                break;
            }
            case Kind::NumberText: {
                // Empty stays empty (stored as 0); anything else is one
                // number, with a decimal point or a decimal comma.
                *entry.text = typed;
                if (typed.find_first_not_of(" \t") == std::string::npos) break;
                const std::optional<double> value = ReadFloatField(typed);
                if (!value) return fail(entry.id, kNumberMessage);
                if (!InRange(entry, *value)) return fail(entry.id, RangeMessage(*entry.range));
                break;
            }
            case Kind::Integer: {
                const std::optional<int> value = ReadIntegerField(typed);
                if (!value) return fail(entry.id, kIntegerMessage);
                *entry.integer = *value;
                if (entry.shownEmpty != nullptr) *entry.shownEmpty = false;
                if (entry.ranged && (*value < entry.low || *value > entry.high))
                    return fail(entry.id, RangeMessage("an integer", entry.low, entry.high));
                break;
            }
        }
    }
    return true;
}

}  // namespace

bool CStationDlg::FailCheck(int controlId, const std::string& message) {
    port_.MessageBox(message, port_.AppTitle(), platform::Buttons::Ok, platform::Icon::Exclamation);
    port_.FocusAndSelectAll(controlId);
    return false;
}

bool CStationDlg::ExchangeFields(Exchange direction) {
    const std::vector<ExchangedField> order = FieldTable(
        fields_, {emptyShown_.Elevation, emptyShown_.Latitude, emptyShown_.Longitude, emptyShown_.GroupCount});
    if (direction == Exchange::Show) {
        ShowFields(port_, order, showingGroupCount_);
        return true;
    }
    return ReadFieldsBack(port_, order, [this](int id, const std::string& message) { return FailCheck(id, message); });
}

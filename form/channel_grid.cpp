// The channel grid: rows enabled by the group count, and the response file
// of each cell.

#include <algorithm>
#include <cctype>
#include <limits>

#include "form/station_dlg.h"
#include "platform/profile_reader.h"
#include "text/text.h"
#include "resources/control_ids.h"
#include "resources/string_table.h"
#include "station/catalogue_columns.h"

// The grid has a row for every channel group the catalogue holds and a cell
// for every component.
static_assert(ctl::GroupCountMax == catalogue::kGroupMax);
static_assert(ctl::CellCount == catalogue::kGroupMax * catalogue::kComponentCount);

namespace {

// Capacity of the initial-name read, terminator included.
constexpr size_t kPathCapacity = 4096;
// The dialog keeps at most this many characters of the chosen file's name.
constexpr size_t kResponseNameChars = 63;

// The leading integer of the text as atoi reads it: white space, a sign,
// digits; 0 when there are none. A value beyond the 32-bit range reads as
// the nearest bound, which is out of the grid's range either way.
int LeadingInteger(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > std::numeric_limits<int>::max()) {
            value = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
            break;
        }
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// The file's name without its folder.
std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void CStationDlg::ApplyGroupCount() {
    const int n = fields_.GroupCount;
    if (n <= 0) return;
    // A count above seven can come only from the database: it enables every row.
    EnableGroupRows(std::min(n, ctl::GroupCountMax));
}

void CStationDlg::EnableGroupRows(int rows) {
    for (int k = 0; k < ctl::CellCount; ++k) {
        const bool on = k < 3 * rows;
        port_.Enable(ctl::ChanName(k), on);
        port_.Enable(ctl::ResponseButton(k), on);
    }
    for (int g = 1; g <= ctl::GroupCountMax; ++g) {
        const bool on = g <= rows;
        port_.Enable(ctl::SampleRate(g), on);
        port_.Enable(ctl::LocCode(g), on);
        port_.Enable(ctl::SensorType(g), on);
    }
}

void CStationDlg::OnGroupCountChanged() {
    const std::string text = port_.Text(ctl::GroupCount);
    if (text.empty()) return;
    const int n = LeadingInteger(text);
    fields_.GroupCount = n;
    if ((n >= 1 && n <= ctl::GroupCountMax) || (showingGroupCount_ && n > ctl::GroupCountMax)) {
        ApplyGroupCount();
        return;
    }
    // Not a count the grid has: forgotten, and the edit emptied (which calls
    // this again and ends at the empty text). The rows stay as they were.
    fields_.GroupCount = 0;
    port_.SetText(ctl::GroupCount, "");
}

void CStationDlg::ChooseResponseFile(int buttonId, const std::string& channelName) {
    const std::string initialName = text::Left(port_.Text(buttonId), kPathCapacity - 1);
    const std::string folder = ResponseFolder(env_.profile);
    const std::string title = LoadString(str::ChooseResponseTitle) + " (" + fields_.StationCode + " " + channelName + ")";
    const std::optional<std::string> chosen = port_.ChooseFile(title, folder, initialName);
    if (!chosen) return;
    const std::string name = text::Left(FileName(*chosen), kResponseNameChars);
    port_.SetText(buttonId, name);
    port_.SetToolTip(buttonId, name);
}

void CStationDlg::SetResponsePath(int groupIndex, int componentIndex, const std::string& path) {
    if (groupIndex < 0 || groupIndex >= ctl::GroupCountMax || componentIndex < 0 || componentIndex > 2) return;
    const int button = ctl::ResponseButton(ctl::CellIndex(groupIndex + 1, componentIndex));
    port_.SetText(button, path);
    port_.SetToolTip(button, path);
}

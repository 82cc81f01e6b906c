// The channel rows a save writes: every named cell of the groups in use.

#include <algorithm>

#include "form/station_dlg.h"
#include "form/field_syntax.h"

std::vector<ChannelValues> CStationDlg::ChannelRowsToWrite() {
    std::vector<ChannelValues> rows;
    for (int g = 1; g <= ctl::GroupCountMax && fields_.GroupCount > g - 1; ++g) {
        const auto gi = static_cast<size_t>(g - 1);
        for (int j = 0; j < 3; ++j) {
            const int cell = ctl::CellIndex(g, j);
            const std::string& name = fields_.ChanName[static_cast<size_t>(cell)];
            if (name.empty()) continue;
            // The response file is the text its button carries, read here,
            // before the store's transaction begins.
            rows.push_back(ChannelValues{name, g, j, NumberTextValue(fields_.SampleRate[gi]),
                                         port_.Text(ctl::ResponseButton(cell)), fields_.LocCode[gi],
                                         fields_.SensorType[gi]});
        }
    }
    return rows;
}

// Writing a station's SITECHAN rows in one transaction.

#include <algorithm>
#include <ctime>

#include "db/sql_text.h"
#include "db/station_recordsets.h"
#include "form/number_text.h"
#include "form/operation_session.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"

bool CStationDlg::WriteChannelRows(CDatabase& session, const std::string& stationCode, bool transactionOpen) {
    // Deletes every row of the station whose name is not among the names
    // written below (a clause is appended per written row), but only in the
    // cells the form has: components Z, N, E of the groups it showed or
    // GroupCount enables. Rows it never showed stay as they are.
    const int groups = std::min(std::max(loadedGroups_, fields_.GroupCount), ctl::GroupCountMax);
    std::string staleChannels = "delete from SITECHAN where STA=" + SqlQuote(stationCode) +
                                " and NGROUP between 1 and " + std::to_string(groups) +
                                " and CHANINDEX between 0 and 2 ";

    if (!transactionOpen && !session.BeginTransaction()) {
        AppMessage(LoadString(str::TransactionError), platform::Icon::Exclamation);
        return false;
    }
    try {
        for (int g = 1; g <= ctl::GroupCountMax && fields_.GroupCount > g - 1; ++g) {
            const auto gi = static_cast<size_t>(g - 1);
            for (int j = 0; j < 3; ++j) {
                const int cell = ctl::CellIndex(g, j);
                const std::string& name = fields_.ChanName[static_cast<size_t>(cell)];
                if (name.empty()) continue;
                const std::string responsePath = port_.Text(ctl::ResponseButton(cell));
                WriteChannelRow(session, stationCode, name, g, j, LeadingNumber(fields_.SampleRate[gi]),
                                responsePath, fields_.LocCode[gi], fields_.SensorType[gi]);
                staleChannels += "and CHAN<>" + SqlQuote(name) + " ";
            }
        }
        session.ExecuteDirect(staleChannels);
    } catch (const CDBException& e) {
        session.RollbackTransaction();
        ShowDbError(e);
        return false;
    }
    if (const auto failure = CommitFailure(session)) {
        // Nothing of this run is stored; say so instead of going on as saved.
        AppMessage(*failure, platform::Icon::Stop);
        return false;
    }
    return true;
}

void WriteChannelRow(CDatabase& session, const std::string& stationCode, const std::string& channel,
                     int group, int component, double samplesPerSecond, const std::string& calibFile,
                     const std::string& locCode, const std::string& sensorType) {
    CSiteChan row(&session);
    row.Filter = "STA=" + SqlQuote(stationCode) + " and CHAN=" + SqlQuote(channel) +
                 " and NGROUP=" + std::to_string(group) + " and CHANINDEX=" + std::to_string(component);
    row.Open();
    const bool insert = row.IsEndOfSet();
    if (insert)
        row.BeginInsert();
    else
        row.BeginEdit();
    row.STA = stationCode;
    row.CHAN = channel;
    row.NGROUP = group;
    row.CHANINDEX = component;
    row.SPS = samplesPerSecond;
    // The form does not show the orientation: a new row starts level and
    // north, an existing one keeps what it has.
    if (insert) {
        row.HANG = 0.0;
        row.VANG = 0.0;
    }
    row.CALIBFILE = calibFile;
    row.LDDATE = std::time(nullptr);  // the record set writes it as local time
    row.LCODE = locCode;
    row.DESCR = sensorType;
    row.Update();
    row.Close();
}

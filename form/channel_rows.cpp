// Writing a station's SITECHAN rows in one transaction.

#include "form/station_dlg.h"

bool CStationDlg::WriteChannelRows(CDatabase& session, const std::string& stationCode) {
    (void)session;
    (void)stationCode;
    return false;
}

void WriteChannelRow(CDatabase& session, const std::string& stationCode, const std::string& channel,
                     int group, int component, double samplesPerSecond, const std::string& calibFile,
                     const std::string& locCode, const std::string& sensorType) {
    (void)session;
    (void)stationCode;
    (void)channel;
    (void)group;
    (void)component;
    (void)samplesPerSecond;
    (void)calibFile;
    (void)locCode;
    (void)sensorType;
}

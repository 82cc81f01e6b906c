// Filling the station lists and loading a station into the form fields.

#include "form/station_dlg.h"

void CStationDlg::FillStationLists() {}

void CStationDlg::LoadStation(std::string code) { (void)code; }

void CStationDlg::LoadChannelGroup(CDatabase& session, const std::string& code, int groupIndex) {
    (void)session;
    (void)code;
    (void)groupIndex;
}

void CStationDlg::OnStationCodeEditChange() {}

void CStationDlg::OnStationCodeSelChange() {}

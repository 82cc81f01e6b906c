// Saving a station: the SITE row, then its channel rows, then the refresh.

#include "form/station_dlg.h"

void CStationDlg::SaveStation() {}

std::string NormalizeDateText(const std::string& text, int timeDefault) {
    (void)text;
    (void)timeDefault;
    return {};
}

bool IsValidDateText(const std::string& text) {
    (void)text;
    return true;
}

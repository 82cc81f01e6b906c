// Deleting a station from SITECHAN and SITE after the user's confirmation.

#include "form/station_dlg.h"

void CStationDlg::DeleteStation() {}

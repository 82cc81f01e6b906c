#pragma once
// The station form: one station's SITE row and channel grid, with save,
// delete and leave.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "db/session.h"
#include "db/session_pool.h"
#include "form/form_fields.h"
#include "form/station_undo.h"
#include "platform/dialog_port.h"
#include "station/station_snapshot.h"
#include "station/station_values.h"

class ProfileReader;

// What the form needs from the application: the start station, how to build
// the connect string and open (or reuse) operation sessions, and the
// configuration file for the response folder.
struct FormEnvironment {
    std::string startStationCode;
    std::function<std::string()> connectString;  // BuildConnectString
    SessionFactory openSession;                  // a new, closed CDatabase
    SessionPool* pool = nullptr;                 // when set, operations draw their sessions here
    const ProfileReader* profile = nullptr;      // "ZRN" / "DIR"
    // Test seam: runs inside a save or delete, between the station's second
    // reading and the first write (see StationStore::afterReRead).
    std::function<void()> storeSeam;
};

// Direction of ExchangeFields.
enum class Exchange { Show, ReadBack };

// The modal station form (template 102) and its operations.
class CStationDlg : public platform::DialogEvents {
public:
    CStationDlg(platform::DialogPort& port, FormEnvironment env);
    ~CStationDlg() override;

    // Runs the form modally until it closes.
    int DoModal();

    // platform::DialogEvents
    bool OnInitDialog() override;
    void OnCommand(int controlId, platform::Notify notification) override;
    void OnOK() override;      // SaveStation
    void OnCancel() override;  // closes the form
    void OnUndoKey() override;  // UndoLastChange

    // Fields and their exchange with the controls (station_dlg.cpp,
    // exchange_fields.cpp).
    bool ExchangeFields(Exchange direction);
    FormFields& Fields() { return fields_; }
    const FormFields& Fields() const { return fields_; }

    // Station lists and loading (station_loading.cpp).
    void FillStationLists();
    void LoadStation(std::string code);
    void OnStationCodeEditChange();
    void OnStationCodeSelChange();

    // Saving (station_saving.cpp) and its channel rows (channel_rows.cpp):
    // the form's values go to the station store, which writes them.
    void SaveStation();

    // Deleting (station_deleting.cpp).
    void DeleteStation();

    // Undo (station_undo.cpp): restores the station of the window's newest
    // change as it was before it, after the user's confirmation, and loads it.
    void UndoLastChange();

    // Channel grid and response files (channel_grid.cpp).
    void ApplyGroupCount();
    void EnableGroupRows(int rows);  // rows 1..rows on, the others off
    void OnGroupCountChanged();
    void ChooseResponseFile(int buttonId, const std::string& channelName);
    void SetResponsePath(int groupIndex, int componentIndex, const std::string& path);

private:
    // The parts of LoadStation (station_loading.cpp): the fields emptied,
    // a station SITE does not hold shown with its defaults and the number
    // `store` gives it, a stored SITE row shown field by field, and the
    // stored channel rows placed in the grid (the highest group placed).
    void ClearStationFields();
    void ShowNewStation(class StationStore& store);
    void ShowSiteRow(const SiteRow& site);
    int ShowChannelRows(const std::vector<ChannelRow>& rows);
    void PlaceChannelRow(const ChannelRow& row);
    // The station as the form holds it after a read-back, with the response
    // files read from their buttons: everything a save writes.
    StationValues ValuesToSave();
    std::vector<ChannelValues> ChannelRowsToWrite();
    // The store's question about a station changed since loading: the box
    // with string `textId`, OK and Cancel; true for OK.
    bool AskChanged(int textId, const std::string& code);
    void ShowDbError(const CDBException& e);
    void AppMessage(const std::string& text, platform::Icon icon);
    // Runs one event handler; a database error it does not catch ends it
    // with a stop box, and the form stays open.
    void Guarded(const std::function<void()>& handler);
    // One read-back check failed: the message, then the focus on the control.
    bool FailCheck(int controlId, const std::string& message);

    platform::DialogPort& port_;
    FormEnvironment env_;
    FormFields fields_;

    // Numeric fields loaded from a NULL column: ExchangeFields(Show) puts an
    // empty text into their controls instead of the number; a successful
    // read-back of the field clears its flag. Loading sets them.
    struct EmptyShown {
        bool Latitude = false;
        bool Longitude = false;
        bool Elevation = false;
        bool GroupCount = false;
    };
    EmptyShown emptyShown_;

    // Set while ExchangeFields shows GroupCount, so that a stored count above
    // seven is kept as shown rather than emptied like a typed one.
    bool showingGroupCount_ = false;

    // The station as the last LoadStation read it; nullopt when that load
    // did not finish.
    std::optional<StationSnapshot> loaded_;
    // The channel groups the last load showed: a save deletes stale rows
    // only in these and in the groups GroupCount enables.
    int loadedGroups_ = 0;

    // The saves and deletes of this window that Ctrl+Z can take back.
    WindowChanges changes_;
};

// A form date text as "%04d-%02d-%02d %02d:%02d:%02d", missing time parts
// taking timeDefault (0 or 1).
std::string NormalizeDateText(const std::string& text, int timeDefault);
// Whether a non-empty date text reads as a real calendar date and time.
bool IsValidDateText(const std::string& text);

// Undo in the form: the window's list of changes, and Ctrl+Z, which restores
// the station of the newest one as it was before it and loads it.

#include "form/station_undo.h"

#include <ctime>

#include "db/session.h"
#include "db/wall_clock.h"
#include "form/operation_session.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"
#include "station/exact_station.h"
#include "station/station_journal.h"
#include "station/station_restore.h"

namespace {

// The local time of day now, as the question names a change.
std::string TimeOfDayNow() {
    const std::string text = WallClockText(LocalWallClock(std::time(nullptr)));
    return text.substr(text.size() - 8);
}

}  // namespace

void WindowChanges::Record(const std::string& code, ChangeKind kind, std::optional<std::int64_t> entry) {
    if (!entry) {
        changes_.clear();
        missed_ = true;
        return;
    }
    changes_.push_back({code, kind, *entry, TimeOfDayNow()});
}

void WindowChanges::DropLast() {
    if (!changes_.empty()) changes_.pop_back();
}

std::string UndoQuestion(const WindowChange& change) {
    const int text = change.kind == ChangeKind::Created ? str::UndoCreateQuestion
                     : change.kind == ChangeKind::Saved ? str::UndoSaveQuestion
                                                        : str::UndoDeleteQuestion;
    return FormatString(text, change.code, change.time);
}

void CStationDlg::OnUndoKey() {
    Guarded([this] { UndoLastChange(); });
}

void CStationDlg::UndoLastChange() {
    const WindowChange* last = changes_.Last();
    if (last == nullptr) {
        if (changes_.MissedAny()) AppMessage(LoadString(str::UndoNotJournaled), platform::Icon::Information);
        return;
    }
    const WindowChange change = *last;
    if (port_.MessageBox(UndoQuestion(change), LoadString(str::Attention), platform::Buttons::OkCancel,
                         platform::Icon::Exclamation) != platform::Answer::Ok)
        return;

    auto session = OpenOperationSession(env_);
    if (!session) {
        AppMessage(LoadString(str::DatabaseInitError), platform::Icon::Exclamation);
        return;
    }
    // A station changed since by anyone else would lose that change too:
    // asked first. The restore checks again under its lock.
    const std::optional<JournalEntry> entry = ReadJournalEntry(*session, change.entry);
    if (entry && !SameRows(ReadExactStation(*session, change.code), entry->afterRows) &&
        !AskChanged(str::UndoChangedQuestion, change.code))
        return;
    const RestoreResult result =
        RestoreStation(*session, change.code, change.entry, LoadString(str::UndoReason),
                       [this](const std::string& code) { return AskChanged(str::UndoChangedQuestion, code); });
    if (result.outcome == StoreOutcome::Cancelled) return;
    if (result.outcome == StoreOutcome::NoTransaction) {
        AppMessage(LoadString(str::TransactionError), platform::Icon::Exclamation);
        return;
    }
    changes_.DropLast();
    session.reset();

    // The station as it is now: back in the list after an undone delete,
    // gone from it after an undone creation (then the form shows the code
    // with a new station's defaults, as when it is typed).
    FillStationLists();
    const int position = port_.FindString(ctl::StationCode, -1, change.code);
    if (position != platform::CB_ERR && port_.GetLBText(ctl::StationCode, position) == change.code) {
        port_.SetCurSel(ctl::StationCode, position);
    } else {
        port_.SetCurSel(ctl::StationCode, -1);
        port_.SetText(ctl::StationCode, change.code);
    }
    fields_.StationCode = change.code;
    LoadStation(change.code);
    ExchangeFields(Exchange::Show);
}

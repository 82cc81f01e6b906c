#pragma once
// Opening the session of one form operation.

#include <memory>
#include <optional>
#include <string>

#include "form/station_dlg.h"

// A new session from the environment's factory, opened with its connect
// string and UseCursorLibrary. nullptr when the driver's completion was
// cancelled (Open answered false); a failed connection throws CDBException.
// The session closes when the pointer goes.
std::unique_ptr<CDatabase> OpenOperationSession(const FormEnvironment& env);

// Commits the open transaction. On failure rolls back whatever the driver
// may have left pending and answers the text to show: the driver's text of
// the failed commit, or string 832 when the driver gave none.
std::optional<std::string> CommitFailure(CDatabase& session);

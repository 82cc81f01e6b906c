#pragma once
// Opening the session of one form operation.

#include <memory>

#include "form/station_dlg.h"

// A new session from the environment's factory, opened with its connect
// string and UseCursorLibrary. nullptr when the driver's completion was
// cancelled (Open answered false); a failed connection throws CDBException.
// The session closes when the pointer goes.
std::unique_ptr<CDatabase> OpenOperationSession(const FormEnvironment& env);

#pragma once
// Opening the session of one form operation.

#include <memory>
#include <string>

#include "form/station_dlg.h"

// A session opened with the environment's connect string and
// UseCursorLibrary: from the environment's pool when it has one, else a new
// one from its factory. nullptr when the driver's completion was cancelled
// (Open answered false); a failed connection throws CDBException. The session
// goes back to the pool, or closes, when the pointer goes.
PooledSession OpenOperationSession(const FormEnvironment& env);

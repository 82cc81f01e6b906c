#pragma once
// Catalogue values as text: numbers, stored wall-clock times and UTC times.

#include <optional>
#include <string>

#include "db/select_rows.h"
#include "db/wall_clock.h"

// The shortest text that reads back as the same double ("20", "43.9562").
std::string NumberText(double value);

// WallClockText (db/wall_clock.h) gives a stored date and time as the form
// shows it: "YYYY-MM-DD HH:MM:SS".

// A stored local wall-clock time as the UTC instant it names, in the form
// "YYYY-MM-DDTHH:MM:SSZ"; whether daylight saving applies is the C library's
// local-time rule. nullopt when the fields name no time.
std::optional<std::string> UtcText(const WallClock& stamp);

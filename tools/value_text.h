#pragma once
// Catalogue values as text: numbers, stored wall-clock times and UTC times.

#include <ctime>
#include <optional>
#include <string>

#include "db/select_rows.h"
#include "db/wall_clock.h"

// The shortest text that reads back as the same double ("20", "43.9562").
std::string NumberText(double value);

// WallClockText (db/wall_clock.h) gives a stored date and time as the form
// shows it: "YYYY-MM-DD HH:MM:SS".

// The catalogue stores times as UTC wall-clock times (the import writes a
// file's times so, a new station's ONDATE is UTC now), whatever the zone a
// program runs in.

// A stored time as StationXML writes it: "YYYY-MM-DDTHH:MM:SSZ". nullopt
// when the fields name no calendar time.
std::optional<std::string> UtcText(const WallClock& stamp);

// The instant a stored time names. nullopt when the fields name no calendar
// time.
std::optional<std::time_t> UtcInstant(const WallClock& stamp);

#pragma once
// The one rule for a station code, whichever way it comes in: the form, a
// StationXML file or a program's command line.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "station/catalogue_columns.h"

// Characters SITE.STA holds.
inline constexpr std::size_t kStationCodeChars = catalogue::SiteWidth("STA");

// The code as it is stored: upper-cased as the form's station box does
// (Latin and Cyrillic alike). nullopt when the code is empty, holds a blank
// (leading, trailing or inner) or a control character, or is longer than
// the column; `problem` then receives the reason, naming the code (Russian).
// A database may compare codes ignoring trailing blanks or case, so such a
// code could land on another station's rows.
std::optional<std::string> CheckedStationCode(std::string_view typed, std::string& problem);

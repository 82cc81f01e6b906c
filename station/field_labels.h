#pragma once
// The names a person reads for the catalogue's columns: the station form's
// own labels where the form shows the column, a Russian name otherwise.

#include <string>
#include <string_view>

// The label of a SITE column ("Широта, град" for LAT); the column name when
// it has none.
std::string SiteFieldLabel(std::string_view column);
// The label of a SITECHAN column ("Отсч./сек." for SPS).
std::string ChannelFieldLabel(std::string_view column);
// "Z", "N" or "E" for components 0 to 2, else the number.
std::string ComponentName(int component);

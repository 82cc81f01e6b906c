#pragma once
// The inserts that put a station's rows back exactly as a journal entry holds
// them, every column named with its value.

#include <string>
#include <vector>

#include "station/exact_station.h"

// "insert into SITE (...) values (...)" for the SITE row, when there is one,
// and one "insert into SITECHAN (...) values (...),(...)" for every channel
// row. NULL is written as NULL, text through the quoting helper, numbers as
// the shortest decimal that reads back to the same double (PostgreSQL's
// 'NaN' and 'Infinity' texts for the values that are not finite), dates as
// {ts '...'}.
std::vector<std::string> RestoreStatements(const ExactStation& rows);

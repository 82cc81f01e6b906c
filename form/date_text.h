#pragma once
// Date-time texts of the form: "%Y-%m-%d %H:%M:%S" in local time or UTC.
// NormalizeDateText and IsValidDateText are declared with the form.

#include <ctime>
#include <string>

// The instant in UTC, "%Y-%m-%d %H:%M:%S".
std::string UtcTimeText(std::time_t instant);

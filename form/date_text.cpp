// Reading and writing the form's date-time texts.

#include "form/date_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "form/station_dlg.h"

namespace {

std::string FormatTm(const std::tm& parts) {
    std::array<char, 64> buffer{};
    const size_t n = std::strftime(buffer.data(), buffer.size(), "%Y-%m-%d %H:%M:%S", &parts);
    return std::string(buffer.data(), n);
}

// The six parts of a date text as the pattern "%04d-%02d-%02d %02d:%02d:%02d"
// scans them (the blank matching any run of white space, none included),
// starting from their defaults; `scanned` counts how many were read.
struct DateParts {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int scanned = 0;
};

DateParts ScanDateText(const std::string& text, int timeDefault) {
    DateParts p;
    p.hour = p.minute = p.second = timeDefault;
    const int n = std::sscanf(text.c_str(), "%04d-%02d-%02d %02d:%02d:%02d", &p.year, &p.month, &p.day, &p.hour,
                              &p.minute, &p.second);
    p.scanned = n < 0 ? 0 : n;
    return p;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return days[static_cast<size_t>(month - 1)];
}

}  // namespace

std::string UtcTimeText(std::time_t instant) {
    std::tm parts{};
    gmtime_r(&instant, &parts);
    return FormatTm(parts);
}

std::string NormalizeDateText(const std::string& text, int timeDefault) {
    const DateParts p = ScanDateText(text, timeDefault);
    // Each scanned part has at most four digits and a sign, so 40 bytes hold
    // any result; snprintf cuts rather than overruns in any case.
    std::array<char, 40> out{};
    const int n = std::snprintf(out.data(), out.size(), "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                                p.hour, p.minute, p.second);
    if (n < 0) return {};
    return std::string(out.data(), std::min(static_cast<size_t>(n), out.size() - 1));
}

bool IsValidDateText(const std::string& text) {
    const DateParts p = ScanDateText(text, 0);
    if (p.scanned < 3) return false;
    if (p.year < 1 || p.month < 1 || p.month > 12) return false;
    if (p.day < 1 || p.day > DaysInMonth(p.year, p.month)) return false;
    if (p.scanned >= 4 && (p.hour < 0 || p.hour > 23)) return false;
    if (p.scanned >= 5 && (p.minute < 0 || p.minute > 59)) return false;
    if (p.scanned >= 6 && (p.second < 0 || p.second > 59)) return false;
    return true;
}

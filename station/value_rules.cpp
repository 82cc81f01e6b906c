#include "station/value_rules.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr double kUnbounded = std::numeric_limits<double>::max();

// Elevations from the deepest ocean floor to the highest summit, with room;
// depths below the surface from a tower's top to the deepest borehole.
const std::array<ValueRange, 9> kRanges{{
    {Quantity::Latitude, "широта", -90, 90},
    {Quantity::Longitude, "долгота", -180, 180},
    {Quantity::Elevation, "высота", -12000, 9000},
    {Quantity::Depth, "глубина", -9000, 12000},
    {Quantity::Azimuth, "азимут", 0, 360},
    {Quantity::Hang, "азимут", 0, 360},
    {Quantity::Dip, "наклон", -90, 90},
    {Quantity::Vang, "угол от вертикали", 0, 180},
    {Quantity::SampleRate, "частота", 0, kUnbounded},
}};

// HANG of a vertical channel: the azimuth does not apply.
constexpr double kHangNotApplicable = -1;

std::string Number(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string RangeText(const ValueRange& range) {
    if (range.high == kUnbounded) return "не меньше " + Number(range.low);
    return "вне диапазона " + Number(range.low) + ".." + Number(range.high);
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

}  // namespace

const ValueRange& RangeOf(Quantity quantity) {
    for (const ValueRange& range : kRanges)
        if (range.quantity == quantity) return range;
    return kRanges.front();
}

std::optional<std::string> ValueProblem(Quantity quantity, double value) {
    const ValueRange& range = RangeOf(quantity);
    if (!std::isfinite(value)) return std::string(range.name) + " " + Number(value) + ": не конечное число";
    if (quantity == Quantity::Hang && value == kHangNotApplicable) return std::nullopt;
    if (value >= range.low && value <= range.high) return std::nullopt;
    if (range.high == kUnbounded) return std::string(range.name) + " " + Number(value) + ": должна быть " + RangeText(range);
    return std::string(range.name) + " " + Number(value) + " " + RangeText(range);
}

bool IsCalendarTime(int year, int month, int day, int hour, int minute, int second) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month) &&
           hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

std::optional<std::string> DateProblem(const char* column, const WallClock& s) {
    if (IsCalendarTime(s.year, s.month, s.day, s.hour, s.minute, s.second)) return std::nullopt;
    return std::string(column) + " " + WallClockText(s) + ": такой даты нет (годы 1..9999)";
}

std::optional<std::string> DateOrderProblem(const std::optional<WallClock>& onDate,
                                            const std::optional<WallClock>& offDate) {
    if (!onDate || !offDate || !(*offDate < *onDate)) return std::nullopt;
    return "дата закрытия OFFDATE " + WallClockText(*offDate) + " раньше даты открытия ONDATE " +
           WallClockText(*onDate);
}

#pragma once
// How the form writes its numeric fields into controls and reads them back.

#include <optional>
#include <string>
#include <string_view>

// A coordinate as the form shows it: at most 6 significant digits in the
// shorter of plain and exponent notation ("%.6g" in the classic locale).
std::string FloatFieldText(double value);

// An integer field's text: blanks and tabs, an optional sign, decimal digits,
// blanks and tabs, nothing else; a zero value must begin with the digit 0.
// nullopt when the text does not read so or leaves the 32-bit range.
std::optional<int> ReadIntegerField(std::string_view text);

// A float field's text: a decimal floating-point number between optional
// blanks and tabs, its decimal separator a point or a comma; a zero value
// must begin with the digit 0. nullopt when the
// text does not read so or the value lies beyond a 32-bit float. The value
// is kept as the double the text names.
std::optional<double> ReadFloatField(std::string_view text);

// The value of a number text the exchange has checked (SampleRate,
// OffsetNorth, OffsetEast): ReadFloatField's, 0 when it is empty or blank.
double NumberTextValue(std::string_view text);

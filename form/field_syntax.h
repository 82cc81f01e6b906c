#pragma once
// How the form writes its numeric fields into controls and reads them back.

#include <optional>
#include <string>
#include <string_view>

// A float as the form shows it: at most 6 significant digits in the shorter of
// plain and exponent notation ("%.6g" in the classic locale).
std::string FloatFieldText(float value);

// An integer field's text: blanks and tabs, an optional sign, decimal digits,
// blanks and tabs, nothing else; a zero value must begin with the digit 0.
// nullopt when the text does not read so or leaves the 32-bit range.
std::optional<int> ReadIntegerField(std::string_view text);

// A float field's text: a decimal floating-point number between optional
// blanks and tabs; a zero value must begin with the digit 0. nullopt when the
// text does not read so or the value lies beyond a 32-bit float.
std::optional<float> ReadFloatField(std::string_view text);

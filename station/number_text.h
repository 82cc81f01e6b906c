#pragma once
// Numbers to and from text in the classic notation (decimal point, no
// grouping), whatever locale the process runs in.

#include <string>
#include <string_view>

// The value printed like "%.<decimals>f" in the classic locale.
std::string FixedText(double value, int decimals);

// The value of the longest leading decimal number of the text, after leading
// white space, as atof reads it in the classic locale; 0 when there is none.
double LeadingNumber(std::string_view text);

// A samples-per-second value as the channel grid shows it: whole numbers
// without decimals, others with four.
std::string SampleRateText(double samplesPerSecond);

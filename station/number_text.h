#pragma once
// Numbers to and from text in the classic notation (decimal point, no
// grouping), whatever locale the process runs in.

#include <string>

// The value printed like "%.<decimals>f" in the classic locale.
std::string FixedText(double value, int decimals);

// A samples-per-second value as the channel grid shows it: whole numbers
// without decimals, others with four.
std::string SampleRateText(double samplesPerSecond);

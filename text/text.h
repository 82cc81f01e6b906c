#pragma once
// UTF-8 text helpers: character counts, cutting by characters and upper-casing
// that handles Cyrillic as well as Latin letters.

#include <string>
#include <string_view>

namespace text {

// Number of characters (code points) in UTF-8 text.
size_t CharCount(std::string_view utf8);
// The first `characters` characters of the text, never cut inside a character.
std::string Left(std::string_view utf8, size_t characters);
// Upper-cased text: Latin, Latin-1, Latin Extended-A, Greek and Cyrillic letters.
std::string ToUpper(std::string_view utf8);
// Lower-cased text, the inverse mapping of ToUpper.
std::string ToLower(std::string_view utf8);
// True when `text` begins with `prefix`, compared regardless of case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Compares regardless of case, for sorting lists: <0, 0, >0.
int CompareNoCase(std::string_view a, std::string_view b);

}  // namespace text

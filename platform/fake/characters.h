#pragma once
// Splitting UTF-8 text into its characters, as keys typed one by one.

#include <string>
#include <vector>

namespace platform::fake {

// The characters of UTF-8 text, each as its own byte sequence. A byte that
// does not start a valid sequence counts as one character.
std::vector<std::string> SplitCharacters(const std::string& text);

// The width of a text in horizontal dialog units, by a fixed model: every
// character is as wide as the font's average one, 4 units by the definition of
// the unit.
int TextWidth(const std::string& text);

// The width an edit of `boxWidth` dialog units has for its text: 2 units stay
// free at each side.
int TextRoom(int boxWidth);

}  // namespace platform::fake

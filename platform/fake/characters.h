#pragma once
// Splitting UTF-8 text into its characters, as keys typed one by one.

#include <string>
#include <vector>

namespace platform::fake {

// The characters of UTF-8 text, each as its own byte sequence. A byte that
// does not start a valid sequence counts as one character.
std::vector<std::string> SplitCharacters(const std::string& text);

}  // namespace platform::fake

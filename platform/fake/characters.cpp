#include "platform/fake/characters.h"

namespace platform::fake {
namespace {

// Length of the sequence that starts with `lead`, or 0 when it cannot start one.
std::size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// The byte length of the valid character at `pos`, or 1 for an invalid byte.
std::size_t CharacterLength(const std::string& text, std::size_t pos) {
    const std::size_t n = SequenceLength(static_cast<unsigned char>(text[pos]));
    if (n == 0 || pos + n > text.size()) return 1;
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 1;
    return n;
}

}  // namespace

std::vector<std::string> SplitCharacters(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t n = CharacterLength(text, pos);
        out.push_back(text.substr(pos, n));
        pos += n;
    }
    return out;
}

int TextWidth(const std::string& text) { return 4 * static_cast<int>(SplitCharacters(text).size()); }

int TextRoom(int boxWidth) { return boxWidth - 4; }

}  // namespace platform::fake

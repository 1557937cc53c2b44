#include "input/paste_bytes.h"

#include <utility>

#include "base/control_bytes.h"

namespace vellor {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The first character of non-empty UTF-8 text and its length in bytes. A malformed sequence
// (overlong, a surrogate, beyond U+10FFFF, cut short) is one byte standing for U+FFFD.
std::pair<char32_t, std::size_t> FirstCharacter(std::string_view text) {
    const auto lead = uint8_t(text[0]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t c = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else {
        return {kReplacement, 1};
    }
    if (text.size() < length) return {kReplacement, 1};
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = uint8_t(text[i]);
        if ((next & 0xC0) != 0x80) return {kReplacement, 1};
        c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {kReplacement, 1};
    return {c, length};
}

}  // namespace

std::variant<PastedBytes, PasteRefusal> PasteBytes(std::string_view utf8, HexEntry hexInput,
                                                   uint8_t keyByte) {
    PastedBytes out{{}, hexInput, keyByte};
    std::size_t position = 0, line = 1, column = 0;
    bool afterCr = false;
    while (!utf8.empty()) {
        const auto [c, length] = FirstCharacter(utf8);
        utf8.remove_prefix(length);
        ++position;
        ++column;
        if (c > 0xFF) return PasteRefusal{c, position, line, column};
        const bool lineBreak = c == '\r' || c == '\n';
        const bool secondHalf = c == '\n' && afterCr;  // CR LF is one line break, not two
        afterCr = c == '\r';
        if (lineBreak) column = 0;
        if (secondHalf) continue;
        if (lineBreak) ++line;
        // A line break types as the Enter key does.
        const uint8_t typed = lineBreak ? kCR : uint8_t(c);
        if (out.hexInput == HexEntry::Off) {
            out.bytes.push_back(typed);
        } else if (EnterHexDigit(out.hexInput, out.keyByte, typed)) {
            out.bytes.push_back(std::exchange(out.keyByte, 0));
        }
    }
    return out;
}

}  // namespace vellor

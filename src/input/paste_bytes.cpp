#include "input/paste_bytes.h"

#include <utility>

#include "base/control_bytes.h"
#include "base/unicode.h"

namespace vellor {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

std::variant<PastedBytes, PasteRefusal> PasteBytes(std::string_view utf8, HexEntry hexInput,
                                                   uint8_t keyByte) {
    PastedBytes out{{}, hexInput, keyByte};
    std::size_t position = 0, line = 1, column = 0;
    bool afterCr = false;
    while (!utf8.empty()) {
        // A malformed sequence is one byte standing for U+FFFD.
        const Utf8Char first = FirstUtf8Char(utf8);
        const char32_t c = first.valid ? first.code : kReplacement;
        utf8.remove_prefix(first.length);
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

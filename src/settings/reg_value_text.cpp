#include "settings/reg_value_text.h"

#include <charconv>

#include "base/ascii.h"
#include "base/little_endian.h"
#include "settings/settings_backend.h"
#include "settings/text_encoding.h"

namespace vellor {

namespace {

constexpr std::string_view kBlanks = " \t";

// Reads a quoted text with \\ and \" escapes starting at s[0] == '"'. On success returns the text
// and sets `consumed` to the characters used, closing quote included.
std::optional<std::string> ReadQuoted(std::string_view s, std::size_t& consumed) {
    if (s.empty() || s[0] != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            consumed = i + 1;
            return out;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return std::nullopt;
            out.push_back(s[++i]);
        } else {
            out.push_back(c);
        }
    }
    return std::nullopt;  // no closing quote
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

bool ParseHexNumber(std::string_view s, std::size_t maxDigits, uint32_t& out) {
    if (s.empty() || s.size() > maxDigits) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, 16);
    return ec == std::errc() && end == s.data() + s.size();
}

std::optional<std::vector<uint8_t>> ParseHexList(std::string_view list) {
    std::vector<uint8_t> bytes;
    list = TrimBlanks(list);
    if (list.empty()) return bytes;
    bytes.reserve(list.size() / 3 + 1);
    while (true) {
        const auto comma = list.find(',');
        uint32_t byte = 0;
        // Two digits each, as written: a list cut in its last byte must not read as complete.
        const std::string_view item = TrimBlanks(list.substr(0, comma));
        if (item.size() != 2 || !ParseHexNumber(item, 2, byte)) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(byte));
        if (comma == std::string_view::npos) return bytes;
        list.remove_prefix(comma + 1);
    }
}

std::string HexList(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) out.push_back(',');
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0xF]);
    }
    return out;
}

std::string HexNumber(uint32_t value, int width) {
    char buffer[16];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    std::string digits(buffer, end);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

// The text of a REG_SZ value when the quoted form holds it exactly: valid text, one line, a single
// terminating zero at the end and none before it.
std::optional<std::string> QuotableText(std::span<const uint8_t> bytes) {
    if (bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
    const std::u16string units = RegSzText(bytes);
    if (2 * (units.size() + 1) != bytes.size()) return std::nullopt;
    auto text = Utf16ToUtf8(units);
    if (!text || text->find_first_of("\r\n") != std::string::npos) return std::nullopt;
    return text;
}

}  // namespace

std::string_view TrimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

std::optional<ValueLineParts> SplitValueLine(std::string_view line) {
    line = TrimBlanks(line);
    std::size_t consumed = 0;
    auto name = ReadQuoted(line, consumed);
    if (!name) return std::nullopt;
    std::string_view rest = TrimBlanks(line.substr(consumed));
    if (rest.empty() || rest[0] != '=') return std::nullopt;
    return ValueLineParts{std::move(*name), TrimBlanks(rest.substr(1))};
}

std::optional<RegValue> ParseValueData(std::string_view data) {
    data = TrimBlanks(data);
    if (!data.empty() && data[0] == '"') {
        std::size_t consumed = 0;
        auto text = ReadQuoted(data, consumed);
        if (!text || consumed != data.size()) return std::nullopt;
        if (text->find('\0') != std::string::npos) return std::nullopt;
        auto units = Utf8ToUtf16(*text);
        if (!units) return std::nullopt;
        return RegValue{SettingsBackend::kRegSz, RegSzBytes(*units)};
    }
    if (StartsWithIgnoringAsciiCase(data, "dword:")) {
        uint32_t number = 0;
        // Exactly the eight digits regedit writes: a cut-off number must not pass as a smaller one.
        const std::string_view digits = data.substr(6);
        if (digits.size() != 8 || !ParseHexNumber(digits, 8, number)) return std::nullopt;
        const auto bytes = Le32(number);
        return RegValue{SettingsBackend::kRegDword, {bytes.begin(), bytes.end()}};
    }
    if (StartsWithIgnoringAsciiCase(data, "hex:")) {
        auto bytes = ParseHexList(data.substr(4));
        if (!bytes) return std::nullopt;
        return RegValue{SettingsBackend::kRegBinary, std::move(*bytes)};
    }
    if (StartsWithIgnoringAsciiCase(data, "hex(")) {
        const auto close = data.find("):");
        uint32_t type = 0;
        if (close == std::string_view::npos ||
            !ParseHexNumber(data.substr(4, close - 4), 8, type)) {
            return std::nullopt;
        }
        auto bytes = ParseHexList(data.substr(close + 2));
        if (!bytes) return std::nullopt;
        return RegValue{type, std::move(*bytes)};
    }
    return std::nullopt;
}

std::string FormatValueLine(std::string_view name, const RegValue& value) {
    std::string line = Quote(name) + "=";
    if (value.type == SettingsBackend::kRegSz) {
        if (auto text = QuotableText(value.bytes)) return line + Quote(*text);
    }
    if (value.type == SettingsBackend::kRegDword && value.bytes.size() == 4) {
        const uint32_t number = LoadLe32(std::span<const uint8_t, 4>(value.bytes.data(), 4));
        return line + "dword:" + HexNumber(number, 8);
    }
    if (value.type == SettingsBackend::kRegBinary) return line + "hex:" + HexList(value.bytes);
    return line + "hex(" + HexNumber(value.type, 1) + "):" + HexList(value.bytes);
}

}  // namespace vellor

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/reg_document.h"

namespace vellor {

// The text without the blanks and tabs at either end, which regedit's files allow around a
// line's parts.
std::string_view TrimBlanks(std::string_view s);

// The parts of a value line, `"Name"=data`: the unescaped name and the data text after "=".
struct ValueLineParts {
    std::string name;
    std::string_view data;
};

// Splits a value line. Fails when it does not start with a quoted name followed by "=".
std::optional<ValueLineParts> SplitValueLine(std::string_view line);

// Reads the data text of a value: "text" (REG_SZ), dword:xxxxxxxx, hex:bb,bb,... (REG_BINARY) or
// hex(t):bb,... (type t). Fails on anything malformed.
std::optional<RegValue> ParseValueData(std::string_view data);

// The whole line for a value, in the form regedit writes. Values that the short forms cannot hold
// exactly (a REG_DWORD not 4 bytes long, a REG_SZ that is not one line of valid text with one
// terminating zero) are written as hex(t) so that they read back unchanged.
std::string FormatValueLine(std::string_view name, const RegValue& value);

}  // namespace vellor

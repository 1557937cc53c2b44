#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellor {

// How a settings file's text is stored, so that a save writes it back the way it was found: as
// UTF-8 (with or without a byte-order mark) or, as the registry editor exports, UTF-16 LE with a
// byte-order mark; with LF or CR LF line ends.
struct FileTextForm {
    enum class Encoding : uint8_t { Utf8, Utf8WithBom, Utf16LeWithBom };
    enum class LineEnds : uint8_t { Lf, CrLf };
    Encoding encoding = Encoding::Utf8;
    LineEnds lineEnds = LineEnds::Lf;
    bool operator==(const FileTextForm&) const = default;
};

// The file's text as UTF-8 with its byte-order mark removed, and the form it was stored in.
// Nothing when the bytes claim an encoding they do not hold (UTF-16 that is cut or not valid, a
// big-endian mark): such a file is not ours to read or to replace.
std::optional<std::string> DecodeFileText(std::string_view bytes, FileTextForm& form);

// Text with LF line ends, stored in `form`.
std::string EncodeFileText(std::string_view text, const FileTextForm& form);

}  // namespace vellor

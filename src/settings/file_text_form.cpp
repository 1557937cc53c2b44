#include "settings/file_text_form.h"

#include "settings/text_encoding.h"

namespace vellor {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

FileTextForm::LineEnds LineEndsOf(std::string_view text) {
    const auto lf = text.find('\n');
    return lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r'
               ? FileTextForm::LineEnds::CrLf
               : FileTextForm::LineEnds::Lf;
}

}  // namespace

std::optional<std::string> DecodeFileText(std::string_view bytes, FileTextForm& form) {
    std::string text;
    if (bytes.starts_with(kUtf16LeMark)) {
        bytes.remove_prefix(kUtf16LeMark.size());
        if (bytes.size() % 2 != 0) return std::nullopt;
        std::u16string units(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i) {
            units[i] = char16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
        }
        auto utf8 = Utf16ToUtf8(units);
        if (!utf8) return std::nullopt;
        text = std::move(*utf8);
        form.encoding = FileTextForm::Encoding::Utf16LeWithBom;
    } else if (bytes.starts_with(kUtf16BeMark)) {
        return std::nullopt;
    } else if (bytes.starts_with(kUtf8Mark)) {
        text = bytes.substr(kUtf8Mark.size());
        form.encoding = FileTextForm::Encoding::Utf8WithBom;
    } else {
        text = bytes;
        form.encoding = FileTextForm::Encoding::Utf8;
    }
    form.lineEnds = LineEndsOf(text);
    return text;
}

std::string EncodeFileText(std::string_view text, const FileTextForm& form) {
    std::string lines;
    if (form.lineEnds == FileTextForm::LineEnds::CrLf) {
        lines.reserve(text.size() + text.size() / 16);
        for (char c : text) {
            if (c == '\n') lines.push_back('\r');
            lines.push_back(c);
        }
    } else {
        lines = text;
    }
    switch (form.encoding) {
        case FileTextForm::Encoding::Utf8:
            return lines;
        case FileTextForm::Encoding::Utf8WithBom:
            return std::string(kUtf8Mark) + lines;
        case FileTextForm::Encoding::Utf16LeWithBom:
            break;
    }
    // Text that is not valid UTF-8 (a line kept from elsewhere) cannot become UTF-16: each such
    // byte is carried as the character with its value, so nothing is dropped.
    std::u16string units;
    units.reserve(lines.size());
    for (std::string_view rest = lines; !rest.empty();) {
        const Utf8Char c = FirstUtf8Char(rest);
        AppendUtf16(units, c.valid ? c.code : char32_t(uint8_t(rest[0])));
        rest.remove_prefix(c.length);
    }
    std::string out(kUtf16LeMark);
    out.reserve(out.size() + 2 * units.size());
    for (char16_t unit : units) {
        out.push_back(char(unit & 0xFF));
        out.push_back(char(unit >> 8));
    }
    return out;
}

}  // namespace vellor

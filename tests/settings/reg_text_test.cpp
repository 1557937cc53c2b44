// The text of registry export files: reading values, and writing them back in place.
#include <gtest/gtest.h>

#include "base/little_endian.h"
#include "settings/file_text_form.h"
#include "settings/reg_document.h"
#include "settings/settings_backend.h"
#include "settings/text_encoding.h"

namespace vellor {
namespace {

const std::string kTop =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\VellorEV]\n";

// A value as "dword 24", "sz COM1", "hex(3) 1c 00", or "none" when it does not read.
std::string Describe(const RegValue* v) {
    if (v == nullptr) return "none";
    if (v->type == SettingsBackend::kRegDword && v->bytes.size() == 4)
        return "dword " + std::to_string(LoadLe32(std::span<const uint8_t, 4>(v->bytes.data(), 4)));
    if (v->type == SettingsBackend::kRegSz) {
        const auto text = Utf16ToUtf8(RegSzText(v->bytes));
        if (text && RegSzBytes(*Utf8ToUtf16(*text)) == v->bytes) return "sz " + *text;
    }
    std::string out = "hex(" + std::to_string(v->type) + ")";
    for (uint8_t b : v->bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", b);
        out += hex;
    }
    return out;
}

// What a value line in the program's key reads as. A cut-off number or byte list never reads
// as a smaller one; text must be valid UTF-8 in one line; other keys, sub-keys and lines before
// any key do not count; the last readable duplicate wins.
TEST(RegDocument, ValueLinesReadAsTheirTypeOrNotAtAll) {
    const std::pair<std::string, std::string> cases[] = {
        {kTop + "\"N\"=dword:00000018\n", "dword 24"},
        {kTop + "\"N\"=DWORD:ABCDEF01", "dword 2882400001"},
        {"\xEF\xBB\xBF" + kTop + "  \"n\" = dword:00000005  \r\n", "dword 5"},
        {"[hkey_current_user\\SOFTWARE\\vellorev]\n\"N\"=dword:00000003\n", "dword 3"},
        {kTop + "\"N\"=dword:0000001\n", "none"},
        {kTop + "\"N\"=dword:000000018\n", "none"},
        {kTop + "\"N\"=dword:0000001g\n", "none"},
        {kTop + "\"N\"=dword:-0000001\n", "none"},
        {kTop + "\"N\"=\"a\\\\b\\\"c\"\n", "sz a\\b\"c"},
        {kTop + "\"N\"=\"Ger\xC3\xA4t\"\n", "sz Ger\xC3\xA4t"},
        {kTop + "\"N\"=\"a\\nb\"\n", "none"},
        {kTop + "\"N\"=\"COM1\n", "none"},
        {kTop + "\"N\"=\"COM1\" x\n", "none"},
        {kTop + "\"N\"=\"a\"b\"\n", "none"},
        {kTop + "\"N\"=\"\xFF\xFE\"\n", "none"},
        {kTop + "\"N\"=\"\xC0\xAF\"\n", "none"},
        {kTop + "\"N\"=\"\xED\xA0\x80\"\n", "none"},
        {kTop + std::string("\"N\"=\"a\0b\"\n", 10), "none"},
        {kTop + "\"N\"=hex:1c,00,ff\n", "hex(3) 1c 00 ff"},
        {kTop + "\"N\"=hex:\n", "hex(3)"},
        {kTop + "\"N\"=hex:1c,00,\\\r\n  01,02\r\n", "hex(3) 1c 00 01 02"},
        {kTop + "\"N\"=hex:1c,00,\\", "none"},
        {kTop + "\"N\"=hex:1c,00,\n", "none"},
        {kTop + "\"N\"=hex:1c,,00\n", "none"},
        {kTop + "\"N\"=hex:1c,0\n", "none"},
        {kTop + "\"N\"=hex:100\n", "none"},
        {kTop + "\"N\"=hex(b):07,00\n", "hex(11) 07 00"},
        {kTop + "\"N\"=hex(1):41,00,00,00\n", "sz A"},
        {kTop + "\"N\"=hex(z):07\n", "none"},
        {kTop + "\"N\"=hex(4:07\n", "none"},
        {kTop + "\"N\"=qword:7\n", "none"},
        {kTop + "\"N\"=-\n", "none"},
        {kTop + "\"N\"=dword:00000001\n\"N\"=dword:00000002\n", "dword 2"},
        {kTop + "\"N\"=dword:00000001\n\"N\"=dword:zz\n", "dword 1"},
        {"[HKEY_CURRENT_USER\\Software\\Other]\n\"N\"=dword:00000001\n", "none"},
        {kTop + "[HKEY_CURRENT_USER\\Software\\Other]\n\"N\"=dword:00000001\n", "none"},
        {"\"N\"=dword:00000001\n", "none"},
        {kTop + "[HKEY_CURRENT_USER\\Software\\VellorEV\\Sub]\n\"N\"=dword:00000001\n", "none"},
        {kTop + "[X]\n" + kTop + "\"N\"=dword:00000009\n", "dword 9"},
        {"\x01garbage\n" + kTop + "#$%\n\"N\"=dword:00000003\n\xff\xfe\n", "dword 3"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(Describe(RegDocument::Parse(text).Find("N")), expected) << text;
    EXPECT_FALSE(RegDocument::Parse("Windows Registry Editor Version 5.00\n").HasKey());
}

// A save rewrites only the values it sets, in place, dropping their duplicates; new values go
// after the key's last one; every other line (comments, other keys, unreadable lines,
// continuations) stays as it was, and a trailing continuation swallows nothing.
TEST(RegDocument, SetChangesOnlyItsValues) {
    const std::string before =
        "Windows Registry Editor Version 5.00\n\n; a comment\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n\"Mode\"=dword:00000005\n\n"
        "[HKEY_CURRENT_USER\\Software\\VellorEV]\n\"Control\"=dword:00000001\n"
        "\"Future\"=hex(7):41,00,00,00,\\\n  00,00\n\"Mode\"=dword:00000001\n"
        "\"Odd\"=something unreadable\n\"Mode\"=dword:00000002\n\n"
        "[HKEY_CURRENT_USER\\Software\\Third]\n@=\"default\"\n";
    RegDocument document = RegDocument::Parse(before);
    ASSERT_TRUE(document.Set("Mode", SettingsBackend::kRegDword, Le32(7)));
    ASSERT_TRUE(document.Set("HexInput", SettingsBackend::kRegDword, Le32(2)));
    std::string after = before;
    after.replace(after.find("\"Mode\"=dword:00000001"), 21, "\"Mode\"=dword:00000007");
    after.replace(after.find("\"Mode\"=dword:00000002"), 21, "\"HexInput\"=dword:00000002");
    EXPECT_EQ(document.Serialize(), after);

    for (const std::string& text : {std::string("; trailing\\"), kTop + "\"x\"=hex:01,\\",
                                    std::string("[HKEY_CURRENT_USER\\Software\\Other]\n")}) {
        RegDocument d = RegDocument::Parse(text);
        d.Set("Mode", SettingsBackend::kRegDword, Le32(3));
        EXPECT_EQ(Describe(RegDocument::Parse(d.Serialize()).Find("Mode")), "dword 3") << text;
    }
    EXPECT_FALSE(document.Set("a\nb", SettingsBackend::kRegDword, Le32(1)));
}

// New files look like regedit's; values the short forms cannot hold exactly are written so that
// they read back unchanged.
TEST(RegDocument, EveryValueReadsBackExactly) {
    RegDocument fresh;
    fresh.Set("NumRows", SettingsBackend::kRegDword, Le32(24));
    fresh.Set("COM?", SettingsBackend::kRegSz, RegSzBytes(u"C:\\\"x\""));
    fresh.Set("DCB", SettingsBackend::kRegBinary, std::vector<uint8_t>{0x1c, 0, 0xff});
    EXPECT_EQ(fresh.Serialize(), kTop +
                                     "\"NumRows\"=dword:00000018\n\"COM?\"=\"C:\\\\\\\"x\\\"\"\n"
                                     "\"DCB\"=hex:1c,00,ff\n");
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"sz with LF", {SettingsBackend::kRegSz, RegSzBytes(u"two\nlines")}},
        {"sz without terminator", {SettingsBackend::kRegSz, {'A', 0}}},
        {"sz inner zero", {SettingsBackend::kRegSz, {'A', 0, 0, 0, 'B', 0, 0, 0}}},
        {"sz odd length", {SettingsBackend::kRegSz, {'A', 0, 0}}},
        {"sz lone surrogate", {SettingsBackend::kRegSz, {0x00, 0xD8, 0, 0}}},
        {"dword short", {SettingsBackend::kRegDword, {1, 2, 3}}},
        {"none", {0, {}}},
        {"big type", {0xFFFFFFFF, {1}}},
        {"name \"with\" \\quotes\\", {SettingsBackend::kRegDword, {1, 0, 0, 0}}},
    };
    RegDocument document;
    for (const auto& [name, value] : values)
        ASSERT_TRUE(document.Set(name, value.type, value.bytes)) << name;
    const RegDocument reread = RegDocument::Parse(document.Serialize());
    for (const auto& [name, value] : values) {
        ASSERT_NE(reread.Find(name), nullptr) << name;
        EXPECT_EQ(*reread.Find(name), value) << name;
    }
    std::array<uint8_t, 2> small{};
    EXPECT_EQ(reread.Query("big type", small), 1u);
    EXPECT_EQ(reread.Query("sz inner zero", small), std::nullopt);  // longer than the room
}

// Files are read in the encoding and with the line ends they were written in, and written back
// the same way; a file that claims an encoding it does not hold is not read.
TEST(FileTextForm, ReadAndWrittenBackAsFound) {
    using E = FileTextForm::Encoding;
    using L = FileTextForm::LineEnds;
    const struct {
        std::string bytes;
        std::optional<std::string> text;
        FileTextForm form;
    } cases[] = {
        {"a\nb", "a\nb", {E::Utf8, L::Lf}},
        {"\xEF\xBB\xBF"
         "a\r\nb",
         "a\r\nb",
         {E::Utf8WithBom, L::CrLf}},
        {std::string("\xFF\xFE"
                     "a\0\r\0\n\0\xE4\0",
                     10),
         "a\r\n\xC3\xA4",
         {E::Utf16LeWithBom, L::CrLf}},
        {std::string("\xFF\xFE"
                     "a\0b",
                     5),
         std::nullopt,
         {}},
        {std::string("\xFF\xFE\x00\xD8", 4), std::nullopt, {}},
        {std::string("\xFE\xFF\0a", 4), std::nullopt, {}},
    };
    for (const auto& c : cases) {
        FileTextForm form;
        EXPECT_EQ(DecodeFileText(c.bytes, form), c.text);
        if (!c.text) continue;
        EXPECT_EQ(form, c.form);
        std::string lf = *c.text;
        for (std::size_t cr; (cr = lf.find('\r')) != std::string::npos;)
            lf.erase(cr, 1);
        EXPECT_EQ(EncodeFileText(lf, form), c.bytes);
    }
}

}  // namespace
}  // namespace vellor

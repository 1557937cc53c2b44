// The text of registry export files: reading values, writing them back in place, file encodings.
#include <gtest/gtest.h>

#include "base/little_endian.h"
#include "settings/file_text_form.h"
#include "settings/reg_document.h"
#include "settings/settings_backend.h"
#include "settings/text_encoding.h"

namespace vellor {
namespace {

using SB = SettingsBackend;
using namespace std::string_literals;
const std::string kTop =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\VellorEV]\n";

const auto Dw = [](uint8_t n) { return RegValue{SB::kRegDword, {n, 0, 0, 0}}; };
std::optional<RegValue> Read(const std::string& text, std::string_view name = "N") {
    const RegDocument document = RegDocument::Parse(text);
    const RegValue* value = document.Find(name);
    return value ? std::optional(*value) : std::nullopt;
}

// Malformed data never reads; only the key's own lines count, the last readable one wins.
TEST(RegDocument, ValueLinesReadAsTheirTypeOrNotAtAll) {
    const std::string other = "[HKEY_CURRENT_USER\\Software\\Other]\n\"N\"=dword:00000001\n";
    const std::pair<std::string, std::optional<RegValue>> files[] = {
        {kTop + "\"N\"=DWORD:ABCDEF01", RegValue{SB::kRegDword, {1, 0xEF, 0xCD, 0xAB}}},
        {kTop + "\"N\"=\"a\\\\b\\\"\xC3\xA4\"", RegValue{SB::kRegSz, RegSzBytes(u"a\\b\"\u00E4")}},
        {kTop + "\"N\"=hex(b):07,\\\r\n  00", RegValue{11, {7, 0}}},
        {kTop + "\"N\"=dword:00000001\n\"N\"=dword:00000002\n\"N\"=dword:zz", Dw(2)},
        {"\xEF\xBB\xBF" + kTop + "  \"n\" = dword:00000005  \r\n", Dw(5)},
        {"[hkey_current_user\\SOFTWARE\\vellorev]\n\"N\"=dword:00000003\n", Dw(3)},
        {"\x01garbage\n" + kTop + "[X]\n" + kTop + "#$%\n\"N\"=dword:00000009\n\xff\xfe\n", Dw(9)},
        {"\"N\"=dword:00000001\n", std::nullopt},
        {kTop + "[HKEY_CURRENT_USER\\Software\\VellorEV\\Sub]\n\"N\"=dword:00000001\n" + other,
         std::nullopt},
        {kTop + "\"N\"=dword:000000018\n\"N\"=dword:0000001g\n\"N\"=\"a\\nb\"\n\"N\"=\"C\" x\n"
                "\"N\"=\"\xC0\xAF\"\n\"N\"=hex:1c,,00\n\"N\"=hex:100\n\"N\"=hex(z):07\n"
                "\"N\"=hex(4:07\n\"N\"=qword:7\n\"N\"=\"a\0b\"\n"
                "\"N\"=dword:0000001\n\"N\"=hex:1c,0\n\"N\"=\"C\n"s,
         std::nullopt}};
    for (const auto& [text, expected] : files)
        EXPECT_EQ(Read(text), expected) << text;
}

// Set rewrites in place or after the key's last value, keeping all else; every value reads back.
TEST(RegDocument, SetChangesOnlyItsValuesAndEachReadsBackExactly) {
    const std::string head =
        kTop + ";\n\"Odd\"=?\n\"Future\"=hex(7):41,\\\n  00\n\"Mode\"=dword:0000000";
    const std::string tail = "\n\n[HKEY_CURRENT_USER\\Software\\Third]\n@=\"default\"\n";
    RegDocument document = RegDocument::Parse(head + "1\n\"mode\"=dword:00000002" + tail);
    ASSERT_TRUE(document.Set("Mode", SB::kRegDword, Le32(7)));
    ASSERT_TRUE(document.Set("HexInput", SB::kRegDword, Le32(2)));
    EXPECT_FALSE(document.Set("a\nb", SB::kRegDword, Le32(1)));
    EXPECT_EQ(document.Serialize(), head + "7\n\"HexInput\"=dword:00000002" + tail);
    const std::pair<std::string, RegValue> values[] = {
        {"NumRows", Dw(24)},
        {"COM?", {SB::kRegSz, RegSzBytes(u"C:\\\"x\"")}},
        {"DCB", {SB::kRegBinary, {0x1c, 0, 0xff}}},
        {"lf", {SB::kRegSz, RegSzBytes(u"a\nb")}},
        {"zero", {SB::kRegSz, {'A', 0, 0, 0, 'B', 0, 0, 0}}},
        {"odd", {SB::kRegSz, {'A', 0, 0}}},
        {"lone", {SB::kRegSz, {0x00, 0xD8, 0, 0}}},
        {"short", {SB::kRegDword, {1, 2, 3}}},
        {"\"q\\", {0xFFFFFFFF, {1}}}};
    RegDocument fresh = RegDocument::Parse(kTop + "\"x\"=hex:01,\\");  // the file ends mid-value
    for (const auto& [name, value] : values)
        ASSERT_TRUE(fresh.Set(name, value.type, value.bytes)) << name;
    const std::string text = fresh.Serialize();
    EXPECT_TRUE(text.starts_with(kTop + "\"x\"=hex:01,\\\n\n\"NumRows\"=dword:00000018\n"
                                        "\"COM?\"=\"C:\\\\\\\"x\\\"\"\n\"DCB\"=hex:1c,00,ff\n"));
    for (const auto& [name, value] : values)
        EXPECT_EQ(Read(text, name), value) << name;
    std::array<uint8_t, 2> room{};
    EXPECT_EQ(fresh.Query("DCB", room), std::nullopt);  // longer than the room
}

// Files are written back in the encoding and line ends they were read in; false claims fail.
TEST(FileTextForm, ReadAndWrittenBackAsFound) {
    FileTextForm form;
    EXPECT_EQ(DecodeFileText("\xEF\xBB\xBF\r\nb", form), "\r\nb");
    EXPECT_EQ(EncodeFileText("\nb", form), "\xEF\xBB\xBF\r\nb");
    EXPECT_EQ(DecodeFileText("\xFF\xFE\x61\0\r\0\n\0\xE4\0"s, form), "a\r\n\xC3\xA4");
    EXPECT_EQ(EncodeFileText("a\n\xC3\xA4\xFF", form), "\xFF\xFE\x61\0\r\0\n\0\xE4\0\xFF\0"s);
    for (const std::string& bytes : {"\xFF\xFE\x61\0b"s, "\xFF\xFE\0\xD8"s, "\xFE\xFF\0a"s})
        EXPECT_EQ(DecodeFileText(bytes, form), std::nullopt);
}

}  // namespace
}  // namespace vellor

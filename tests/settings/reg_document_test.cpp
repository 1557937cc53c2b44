// Reading and writing the text of registry export files.
#include <gtest/gtest.h>

#include "settings/reg_document.h"
#include "settings/reg_value_text.h"
#include "settings/settings_backend.h"
#include "settings/settings_test_support.h"

namespace vellor {
namespace {

using test::Le32;
using test::SzBytes;

const std::string kTop =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\VellorEV]\n";

struct ParseCase {
    const char* label;
    std::string text;
    const char* name;
    std::optional<RegValue> expected;
};

RegValue Dword(uint32_t v) {
    return {SettingsBackend::kRegDword, Le32(v)};
}
RegValue Sz(std::string_view s) {
    return {SettingsBackend::kRegSz, SzBytes(s)};
}
RegValue Binary(std::vector<uint8_t> b) {
    return {SettingsBackend::kRegBinary, std::move(b)};
}

class RegDocumentParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RegDocumentParse, FindsTheValue) {
    const ParseCase& c = GetParam();
    const RegDocument document = RegDocument::Parse(c.text);
    const RegValue* found = document.Find(c.name);
    if (c.expected) {
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(*found, *c.expected);
    } else {
        EXPECT_EQ(found, nullptr);
    }
}

const ParseCase kParseCases[] = {
    {"dword", kTop + "\"NumRows\"=dword:00000018\n", "NumRows", Dword(24)},
    {"dword upper case", kTop + "\"NumRows\"=DWORD:ABCDEF01\n", "NumRows", Dword(0xABCDEF01)},
    {"no final newline", kTop + "\"NumRows\"=dword:00000018", "NumRows", Dword(24)},
    {"CRLF",
     "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\VellorEV]"
     "\r\n\"Echo\"=dword:00000001\r\n",
     "Echo", Dword(1)},
    {"byte-order mark", "\xEF\xBB\xBF" + kTop + "\"Echo\"=dword:00000001\n", "Echo", Dword(1)},
    {"no header line", "[HKEY_CURRENT_USER\\Software\\VellorEV]\n\"Echo\"=dword:00000002\n", "Echo",
     Dword(2)},
    {"key path in other case", "[hkey_current_user\\SOFTWARE\\vellorev]\n\"Echo\"=dword:00000003\n",
     "Echo", Dword(3)},
    {"value name in other case", kTop + "\"ECHO\"=dword:00000004\n", "Echo", Dword(4)},
    {"blanks around =", kTop + "  \"Echo\" = dword:00000005  \n", "Echo", Dword(5)},
    {"dword too short (cut off)", kTop + "\"NumRows\"=dword:0000001\n", "NumRows", std::nullopt},
    {"dword too long", kTop + "\"NumRows\"=dword:000000018\n", "NumRows", std::nullopt},
    {"dword not hex", kTop + "\"NumRows\"=dword:0000001g\n", "NumRows", std::nullopt},
    {"dword with sign", kTop + "\"NumRows\"=dword:-0000001\n", "NumRows", std::nullopt},
    {"string", kTop + "\"COM?\"=\"COM1\"\n", "COM?", Sz("COM1")},
    {"string escapes", kTop + "\"COM?\"=\"a\\\\b\\\"c\"\n", "COM?", Sz("a\\b\"c")},
    {"string UTF-8", kTop + "\"COM?\"=\"Gerät\"\n", "COM?", Sz("Gerät")},
    {"string bad escape", kTop + "\"COM?\"=\"a\\nb\"\n", "COM?", std::nullopt},
    {"string unterminated", kTop + "\"COM?\"=\"COM1\n", "COM?", std::nullopt},
    {"string with text after", kTop + "\"COM?\"=\"COM1\" x\n", "COM?", std::nullopt},
    {"string bare quote inside", kTop + "\"COM?\"=\"a\"b\"\n", "COM?", std::nullopt},
    {"string not UTF-8", kTop + "\"COM?\"=\"\xFF\xFE\"\n", "COM?", std::nullopt},
    {"string overlong UTF-8", kTop + "\"COM?\"=\"\xC0\xAF\"\n", "COM?", std::nullopt},
    {"string encoded surrogate", kTop + "\"COM?\"=\"\xED\xA0\x80\"\n", "COM?", std::nullopt},
    {"string with NUL", kTop + std::string("\"COM?\"=\"a\0b\"\n", 12), "COM?", std::nullopt},
    {"binary", kTop + "\"DCB\"=hex:1c,00,ff\n", "DCB", Binary({0x1c, 0, 0xff})},
    {"binary empty", kTop + "\"DCB\"=hex:\n", "DCB", Binary({})},
    {"binary continued", kTop + "\"DCB\"=hex:1c,00,\\\n  00,00\n", "DCB", Binary({0x1c, 0, 0, 0})},
    {"binary continued CRLF", kTop + "\"DCB\"=hex:1c,00,\\\r\n  01,02\r\n", "DCB",
     Binary({0x1c, 0, 1, 2})},
    {"binary continued at end of file", kTop + "\"DCB\"=hex:1c,00,\\", "DCB", std::nullopt},
    {"binary trailing comma", kTop + "\"DCB\"=hex:1c,00,\n", "DCB", std::nullopt},
    {"binary empty item", kTop + "\"DCB\"=hex:1c,,00\n", "DCB", std::nullopt},
    {"binary byte of one digit (cut off)", kTop + "\"DCB\"=hex:1c,0\n", "DCB", std::nullopt},
    {"binary byte of three digits", kTop + "\"DCB\"=hex:100\n", "DCB", std::nullopt},
    {"typed hex", kTop + "\"Mode\"=hex(b):07,00,00,00,00,00,00,00\n", "Mode",
     RegValue{11, {7, 0, 0, 0, 0, 0, 0, 0}}},
    {"typed string as hex", kTop + "\"COM?\"=hex(1):41,00,00,00\n", "COM?", Sz("A")},
    {"typed hex bad type", kTop + "\"Mode\"=hex(z):07\n", "Mode", std::nullopt},
    {"typed hex unclosed", kTop + "\"Mode\"=hex(4:07\n", "Mode", std::nullopt},
    {"unknown data form", kTop + "\"Mode\"=qword:7\n", "Mode", std::nullopt},
    {"deletion line", kTop + "\"Mode\"=-\n", "Mode", std::nullopt},
    {"duplicate: last wins", kTop + "\"Mode\"=dword:00000001\n\"Mode\"=dword:00000002\n", "Mode",
     Dword(2)},
    {"duplicate: unreadable last does not count",
     kTop + "\"Mode\"=dword:00000001\n\"Mode\"=dword:zz\n", "Mode", Dword(1)},
    {"other key", "[HKEY_CURRENT_USER\\Software\\Other]\n\"Mode\"=dword:00000001\n", "Mode",
     std::nullopt},
    {"other key after ours",
     kTop + "[HKEY_CURRENT_USER\\Software\\Other]\n\"Mode\"=dword:00000001\n", "Mode",
     std::nullopt},
    {"before any key", "\"Mode\"=dword:00000001\n", "Mode", std::nullopt},
    {"sub-key", kTop + "[HKEY_CURRENT_USER\\Software\\VellorEV\\Sub]\n\"Mode\"=dword:00000001\n",
     "Mode", std::nullopt},
    {"key in two sections", kTop + "[X]\n" + kTop + "\"Mode\"=dword:00000009\n", "Mode", Dword(9)},
    {"garbage around", "\x01\x02garbage\n" + kTop + "#$%\n\"Mode\"=dword:00000003\n\xff\xfe\n",
     "Mode", Dword(3)},
};

INSTANTIATE_TEST_SUITE_P(Cases, RegDocumentParse, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.label; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(RegDocument, HasKeyOnlyWithItsSection) {
    EXPECT_FALSE(RegDocument::Parse("").HasKey());
    EXPECT_FALSE(RegDocument::Parse("Windows Registry Editor Version 5.00\n").HasKey());
    EXPECT_FALSE(RegDocument::Parse("[HKEY_CURRENT_USER\\Software\\Other]\n").HasKey());
    EXPECT_TRUE(RegDocument::Parse(kTop).HasKey());
}

TEST(RegDocument, NewDocumentIsWrittenInRegeditForm) {
    RegDocument document;
    document.Set("NumRows", SettingsBackend::kRegDword, Le32(24));
    document.Set("COM?", SettingsBackend::kRegSz, SzBytes("C:\\\"x\""));
    std::vector<uint8_t> dcb(28, 0);
    dcb[0] = 0x1c;
    document.Set("DCB", SettingsBackend::kRegBinary, dcb);
    EXPECT_EQ(document.Serialize(),
              kTop +
                  "\"NumRows\"=dword:00000018\n"
                  "\"COM?\"=\"C:\\\\\\\"x\\\"\"\n"
                  "\"DCB\"=hex:1c,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,"
                  "00,00,00,00,00,00,00\n");
}

TEST(RegDocument, SetKeepsEveryOtherLineAndReplacesInPlace) {
    const std::string before =
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "; a comment\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n"
        "\"Mode\"=dword:00000005\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\VellorEV]\n"
        "\"Control\"=dword:00000001\n"
        "\"Future\"=hex(7):41,00,00,00,\\\n"
        "  00,00\n"
        "\"Mode\"=dword:00000001\n"
        "\"Odd\"=something unreadable\n"
        "\"Mode\"=dword:00000002\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Third]\n"
        "@=\"default\"\n";
    RegDocument document = RegDocument::Parse(before);
    document.Set("Mode", SettingsBackend::kRegDword, Le32(7));
    document.Set("HexInput", SettingsBackend::kRegDword, Le32(2));
    EXPECT_EQ(document.Serialize(),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "; a comment\n"
              "[HKEY_CURRENT_USER\\Software\\Other]\n"
              "\"Mode\"=dword:00000005\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\VellorEV]\n"
              "\"Control\"=dword:00000001\n"
              "\"Future\"=hex(7):41,00,00,00,\\\n"
              "  00,00\n"
              "\"Mode\"=dword:00000007\n"
              "\"Odd\"=something unreadable\n"
              "\"HexInput\"=dword:00000002\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Third]\n"
              "@=\"default\"\n");
}

TEST(RegDocument, SetReplacesAnUnreadableValueOfTheSameName) {
    RegDocument document = RegDocument::Parse(kTop + "\"Mode\"=dword:bad\n");
    document.Set("Mode", SettingsBackend::kRegDword, Le32(1));
    EXPECT_EQ(document.Serialize(), kTop + "\"Mode\"=dword:00000001\n");
}

TEST(RegDocument, TrailingContinuationDoesNotSwallowNewLines) {
    for (const std::string& text :
         {std::string("; trailing\\"),
          std::string("[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=hex:01,\\"),
          kTop + "\"x\"=hex:01,\\"}) {
        RegDocument document = RegDocument::Parse(text);
        document.Set("Mode", SettingsBackend::kRegDword, Le32(3));
        const RegDocument reread = RegDocument::Parse(document.Serialize());
        ASSERT_NE(reread.Find("Mode"), nullptr) << text;
        EXPECT_EQ(*reread.Find("Mode"), Dword(3));
    }
}

TEST(RegDocument, KeyIsAddedAfterOtherKeys) {
    RegDocument document =
        RegDocument::Parse("[HKEY_CURRENT_USER\\Software\\Other]\n\"a\"=\"b\"\n");
    document.Set("Echo", SettingsBackend::kRegDword, Le32(1));
    EXPECT_EQ(document.Serialize(),
              "Windows Registry Editor Version 5.00\n"
              "[HKEY_CURRENT_USER\\Software\\Other]\n"
              "\"a\"=\"b\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\VellorEV]\n"
              "\"Echo\"=dword:00000001\n");
}

// Values the short forms cannot hold exactly are written so that they read back unchanged.
TEST(RegDocument, EveryValueReadsBackExactly) {
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"sz", Sz("plain")},
        {"sz empty", Sz("")},
        {"sz with LF", Sz("two\nlines")},
        {"sz with CR", Sz("a\rb")},
        {"sz without terminator", {SettingsBackend::kRegSz, {'A', 0}}},
        {"sz inner zero", {SettingsBackend::kRegSz, {'A', 0, 0, 0, 'B', 0, 0, 0}}},
        {"sz odd length", {SettingsBackend::kRegSz, {'A', 0, 0}}},
        {"sz lone surrogate", {SettingsBackend::kRegSz, {0x00, 0xD8, 0, 0}}},
        {"sz nothing", {SettingsBackend::kRegSz, {}}},
        {"dword short", {SettingsBackend::kRegDword, {1, 2, 3}}},
        {"dword long", {SettingsBackend::kRegDword, {1, 2, 3, 4, 5}}},
        {"binary", Binary({0, 0xff, 0x80})},
        {"none", {0, {}}},
        {"big type", {0xFFFFFFFF, {1}}},
        {"name \"with\" \\quotes\\", Dword(1)},
        {"", Dword(2)},
    };
    RegDocument document;
    for (const auto& [name, value] : values) {
        ASSERT_TRUE(document.Set(name, value.type, value.bytes)) << name;
    }
    const RegDocument reread = RegDocument::Parse(document.Serialize());
    for (const auto& [name, value] : values) {
        ASSERT_NE(reread.Find(name), nullptr) << name;
        EXPECT_EQ(*reread.Find(name), value) << name;
    }
    EXPECT_EQ(reread.Values(), document.Values());
}

TEST(RegDocument, NameThatCannotBeOneLineIsRefused) {
    RegDocument document;
    EXPECT_FALSE(document.Set("a\nb", SettingsBackend::kRegDword, Le32(1)));
}

TEST(RegDocument, QueryRespectsTheRoom) {
    const RegDocument document = RegDocument::Parse(kTop + "\"DCB\"=hex:01,02,03\n");
    std::array<uint8_t, 3> exact{};
    EXPECT_EQ(document.Query("DCB", exact), 3u);
    EXPECT_EQ(exact, (std::array<uint8_t, 3>{1, 2, 3}));
    std::array<uint8_t, 2> small{};
    EXPECT_EQ(document.Query("DCB", small), std::nullopt);
    EXPECT_EQ(document.Query("Missing", exact), std::nullopt);
}

}  // namespace
}  // namespace vellor

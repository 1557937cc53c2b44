// Pasted text to the bytes typing would give, or the character that stops it.
#include <gtest/gtest.h>

#include "input/paste_bytes.h"

namespace vellor::testing {
namespace {

struct PasteCase {
    std::string_view text;
    HexEntry hexBefore;
    uint8_t keyBefore;
    std::string bytes;
    HexEntry hexAfter;
    uint8_t keyAfter;
};

constexpr HexEntry kOff = HexEntry::Off, kHigh = HexEntry::AwaitHigh, kLow = HexEntry::AwaitLow;

const PasteCase kPastes[] = {
    {"a\nb\r\nc\rd\n\r\n", kOff, 0, "a\rb\rc\rd\r\r", kOff, 0},          // every break one Enter
    {"caf\u00e9 \u00ff\t\x01", kOff, 0, "caf\xe9 \xff\t\x01", kOff, 0},  // Latin-1 as one byte
    {std::string_view("a\0b", 3), kOff, 0, std::string("a\0b", 3), kOff, 0},
    {"41 42\r\n0d", kHigh, 0, "AB\r", kHigh, 0},  // pairs; breaks and spaces skipped
    {"f", kHigh, 0, "", kLow, 0x0F},              // a lone digit waits for its pair
    {"1 23", kLow, 0x0F, "\xf1\x23", kHigh, 0},   // and a pasted digit completes it
};

TEST(PasteBytes, TypesEachCharacterAsTheKeyboardWould) {
    for (const PasteCase& c : kPastes) {
        const auto result = PasteBytes(c.text, c.hexBefore, c.keyBefore);
        ASSERT_TRUE(std::holds_alternative<PastedBytes>(result)) << c.text;
        const PastedBytes& got = std::get<PastedBytes>(result);
        EXPECT_EQ(std::string(got.bytes.begin(), got.bytes.end()), c.bytes) << c.text;
        EXPECT_EQ(got.hexInput, c.hexAfter) << c.text;
        EXPECT_EQ(got.keyByte, c.keyAfter) << c.text;
    }
}

// The first character beyond one byte, with where it stands; malformed UTF-8 counts as U+FFFD.
TEST(PasteBytes, RefusesTheFirstCharacterBeyondOneByte) {
    const std::pair<std::string, PasteRefusal> refusals[] = {
        {"ab\u20ac\u0100", {0x20AC, 3, 1, 3}},  {"x\r\ny\rz\u0141", {0x0141, 7, 3, 2}},
        {"\n\n\U0001F600", {0x1F600, 3, 3, 1}}, {"ok\xc3", {0xFFFD, 3, 1, 3}},  // cut short
        {"a\xed\xa0\x80", {0xFFFD, 2, 1, 2}},                                   // a surrogate
    };
    for (const auto& [text, refusal] : refusals) {
        const auto result = PasteBytes(text, kHigh, 0);  // hex entry refuses alike
        ASSERT_TRUE(std::holds_alternative<PasteRefusal>(result)) << text;
        EXPECT_EQ(std::get<PasteRefusal>(result), refusal) << text;
    }
}

}  // namespace
}  // namespace vellor::testing

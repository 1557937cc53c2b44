#include <gtest/gtest.h>

#include "input/paste_bytes.h"

namespace vellor::testing {
namespace {

constexpr HexEntry kOff = HexEntry::Off, kHigh = HexEntry::AwaitHigh, kLow = HexEntry::AwaitLow;

// Pasted text types as the keyboard would, or the first character beyond a byte refuses it.
TEST(PasteBytes, TypesEachCharacterAsTheKeyboardWouldOrRefusesTheText) {
    const std::tuple<std::string_view, HexEntry, uint8_t, PastedBytes> pastes[] = {
        {"a\nb\r\nc\rd\n\r\n", kOff, 0, {{'a', 13, 'b', 13, 'c', 13, 'd', 13, 13}, kOff, 0}},
        {"\u00e9\u00ff\t\x01", kOff, 0, {{0xE9, 0xFF, 9, 1}, kOff, 0}},
        {std::string_view("a\0b", 3), kOff, 0, {{'a', 0, 'b'}, kOff, 0}},
        {"41 42\r\n0d", kHigh, 0, {{'A', 'B', 13}, kHigh, 0}},
        {"f", kHigh, 0, {{}, kLow, 0x0F}},
        {"1 23", kLow, 0x0F, {{0xF1, 0x23}, kHigh, 0}}};
    for (const auto& [text, hex, keyByte, bytes] : pastes)
        EXPECT_EQ(std::get<PastedBytes>(PasteBytes(text, hex, keyByte)), bytes) << text;
    const std::pair<std::string, PasteRefusal> refusals[] = {
        {"ab\u20ac\u0100", {0x20AC, 3, 1, 3}},  {"x\r\ny\rz\u0141", {0x0141, 7, 3, 2}},
        {"\n\n\U0001F600", {0x1F600, 3, 3, 1}}, {"ok\xc3", {0xFFFD, 3, 1, 3}},
        {"a\xed\xa0\x80", {0xFFFD, 2, 1, 2}},   {"\xc1\x81", {0xFFFD, 1, 1, 1}}};
    for (const auto& [text, refusal] : refusals)  // hex entry refuses alike
        EXPECT_EQ(std::get<PasteRefusal>(PasteBytes(text, kHigh, 0)), refusal) << text;
}

}  // namespace
}  // namespace vellor::testing

#include <gtest/gtest.h>

#include <cstring>

#include "app/app_state.h"
#include "input/keyboard.h"

namespace vellor::testing {
namespace {

// Records each byte as its destination (Port, Echo, Capture) and value, "|" for a capture done.
struct Recorder : KeyDestinations {
    explicit Recorder(const char* on) : on(on) {}
    const char* on;
    std::string calls;
    bool PortOpen() override { return std::strchr(on, 'P'); }
    bool CaptureOpen() override { return std::strchr(on, 'C'); }
    void WritePort(uint8_t b) override { Record('P', b); }
    void Echo(uint8_t b) override { Record('E', b); }
    void Capture(uint8_t b) override { Record('C', b); }
    void CaptureDone() override { calls += '|'; }
    void Record(char to, uint8_t b) { calls += {to, kHex[b >> 4], kHex[b & 15]}; }
    static constexpr const char* kHex = "0123456789ABCDEF";
};

// Keys reach the port (P), echo (E), capture (T on, C open), CR LF with L; U+F700+ are arrows.
TEST(Keyboard, KeysReachThePortThenTheEchoThenTheCapture) {
    const std::tuple<const char*, int, std::u16string, const char*, int, int> cases[] = {
        {"PETC", 0, std::u16string(u"A\0\u20AC\r", 4), "P41E41C41|P00E00C00|PACEACCAC|P0DE0DC0D|",
         0, 0},
        {"PELTC", 0, u"\r\n\uF701", "P0DP0AE0DE0AC0DC0A|P0AE0AC0A|P1BP5BP41E1BE5BE41C1BC5BC41|", 0,
         0},
        {"TC", 0, u"z", "C7A|", 0, 0},
        {"PEC", 0, u"z", "P7AE7A", 0, 0},
        {"PET", 0, u"z", "P7AE7A", 0, 0},
        {"EC", 0, u"\uF703\uF702\uF700", "E1BE5BE42E1BE5BE43E1BE5BE44", 0, 0},
        {"PELTC", 1, u"0d", "P0DP0AE0DE0AC0DC0A|", 1, 0},
        {"PETC", 1, u"f\uF701xg \r\bG/:@`F\u0141\u20423", "PFFEFFCFF|PABEABCAB|", 2, 3},
        {"PETC", 2, u"7", "P07E07C07|", 1, 0},        // stored between the two digits
        {"PETC", 5, u"7\uF702", "P07E07C07|", 1, 0},  // any other value: the second
    };
    for (const auto& [on, hex, keys, sent, hexAfter, keyByteAfter] : cases) {
        AppState state;
        state.echo = std::strchr(on, 'E') != nullptr;
        state.txCrLf = std::strchr(on, 'L') != nullptr;
        state.txCapture = std::strchr(on, 'T') != nullptr;
        state.hexInput = HexEntry(hex);
        Recorder out(on);
        for (const char16_t key : keys)
            key >= 0xF700 && key <= 0xF703 ? HandleArrowKey(state, ArrowKey(key - 0xF700), out)
                                           : HandleCharKey(state, key, out);
        EXPECT_EQ(std::tuple(out.calls, int(state.hexInput), state.keyByte),
                  std::tuple(sent, hexAfter, keyByteAfter));
    }
}

}  // namespace
}  // namespace vellor::testing

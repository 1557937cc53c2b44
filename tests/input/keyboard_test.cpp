#include <gtest/gtest.h>

#include "app/app_state.h"
#include "input/keyboard.h"

namespace vellor::testing {
namespace {

// Records each byte as its destination (Port, Echo, Capture) and value, "|" for a capture done.
struct Recorder : KeyDestinations {
    bool portOpen = true, captureOpen = true;
    std::string calls;
    bool PortOpen() override { return portOpen; }
    bool CaptureOpen() override { return captureOpen; }
    void WritePort(uint8_t b) override { Record('P', b); }
    void Echo(uint8_t b) override { Record('E', b); }
    void Capture(uint8_t b) override { Record('C', b); }
    void CaptureDone() override { calls += '|'; }
    void Record(char to, uint8_t b) {
        calls += {to, "0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    }
};

// Keys reach the port, then the echo, then the capture; U+F700 plus an ArrowKey is an arrow.
TEST(Keyboard, KeysReachThePortThenTheEchoThenTheCapture) {
    const struct {
        bool portOpen, echo, crlf, txCapture, captureOpen;
        int hex;
        std::u16string keys;
        const char* sent;
        int hexAfter, keyByteAfter;
    } cases[] = {
        {1, 1, 0, 1, 1, 0, std::u16string(u"A\0\u20AC\r", 4),
         "P41E41C41|P00E00C00|PACEACCAC|P0DE0DC0D|", 0, 0},
        {1, 1, 1, 1, 1, 0, u"\r\n\uF701",
         "P0DP0AE0DE0AC0DC0A|P0AE0AC0A|P1BP5BP41E1BE5BE41C1BC5BC41|", 0, 0},
        {0, 0, 0, 1, 1, 0, u"z", "C7A|", 0, 0},
        {1, 1, 0, 0, 1, 0, u"z", "P7AE7A", 0, 0},
        {1, 1, 0, 1, 0, 0, u"z", "P7AE7A", 0, 0},
        {0, 1, 0, 0, 1, 0, u"\uF703\uF702\uF700", "E1BE5BE42E1BE5BE43E1BE5BE44", 0, 0},
        {1, 1, 1, 1, 1, 1, u"0d", "P0DP0AE0DE0AC0DC0A|", 1, 0},
        {1, 1, 0, 1, 1, 1,
         u"f\uF701xg \r\bG/:@`F\u0141\u2042"
         u"3",
         "PFFEFFCFF|PABEABCAB|", 2, 3},
        {1, 1, 0, 1, 1, 2, u"7", "P07E07C07|", 1, 0},        // stored between the two digits
        {1, 1, 0, 1, 1, 5, u"7\uF702", "P07E07C07|", 1, 0},  // any other value: the second
    };
    for (const auto& c : cases) {
        AppState state;
        state.echo = c.echo;
        state.txCrLf = c.crlf;
        state.txCapture = c.txCapture;
        state.hexInput = HexEntry(c.hex);
        Recorder out;
        out.portOpen = c.portOpen;
        out.captureOpen = c.captureOpen;
        for (const char16_t key : c.keys)
            key >= 0xF700 && key <= 0xF703 ? HandleArrowKey(state, ArrowKey(key - 0xF700), out)
                                           : HandleCharKey(state, key, out);
        EXPECT_EQ(std::tuple(out.calls, int(state.hexInput), state.keyByte),
                  std::tuple(c.sent, c.hexAfter, c.keyByteAfter));
    }
}

}  // namespace
}  // namespace vellor::testing

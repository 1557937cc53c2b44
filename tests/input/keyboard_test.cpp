// Keys to bytes: characters, arrows and hexadecimal entry, to the port, the echo and the capture.
#include <gtest/gtest.h>

#include "input/keyboard.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

// Records each byte handed to a destination as "P:1B" (port), "E:1B" (echo), "C:1B" (capture),
// and "done" for the end of a key's capture.
class RecordingDestinations : public KeyDestinations {
  public:
    bool portOpen = true;
    bool captureOpen = true;
    std::string calls;

    bool PortOpen() override { return portOpen; }
    void WritePort(uint8_t b) override { Record('P', b); }
    void Echo(uint8_t b) override { Record('E', b); }
    bool CaptureOpen() override { return captureOpen; }
    void Capture(uint8_t b) override { Record('C', b); }
    void CaptureDone() override { calls += calls.empty() ? "done" : " done"; }

  private:
    void Record(char destination, uint8_t b) {
        char text[8];
        std::snprintf(text, sizeof text, "%s%c:%02X", calls.empty() ? "" : " ", destination, b);
        calls += text;
    }
};

// Arrow keys in a key string, as private-use characters.
constexpr char16_t kUp = u'\uF700', kDown = u'\uF701', kLeft = u'\uF702', kRight = u'\uF703';

struct KeyCase {
    const char* options;  // "closed", "noecho", "crlf", "nocapture", "nofile", "hexN"
    std::u16string keys;
    const char* sent;
    int hexAfter;
    uint8_t keyByteAfter;
};

const KeyCase kCases[] = {
    {"", u"A", "P:41 E:41 C:41 done", 0, 0},
    {"crlf", u"\r", "P:0D P:0A E:0D E:0A C:0D C:0A done", 0, 0},
    {"", u"\r", "P:0D E:0D C:0D done", 0, 0},
    {"crlf", u"\n", "P:0A E:0A C:0A done", 0, 0},
    {"closed", u"z", "E:7A C:7A done", 0, 0},
    {"noecho", u"z", "P:7A C:7A done", 0, 0},
    {"nocapture", u"z", "P:7A E:7A", 0, 0},
    {"nofile", u"z", "P:7A E:7A", 0, 0},
    {"", u"\u20AC", "P:AC E:AC C:AC done", 0, 0},
    {"", std::u16string(1, u'\0'), "P:00 E:00 C:00 done", 0, 0},
    {"", u"ab", "P:61 E:61 C:61 done P:62 E:62 C:62 done", 0, 0},
    {"crlf", {kUp}, "P:1B P:5B P:41 E:1B E:5B E:41 C:1B C:5B C:41 done", 0, 0},
    {"", {kDown}, "P:1B P:5B P:42 E:1B E:5B E:42 C:1B C:5B C:42 done", 0, 0},
    {"", {kRight}, "P:1B P:5B P:43 E:1B E:5B E:43 C:1B C:5B C:43 done", 0, 0},
    {"closed nocapture", {kLeft}, "E:1B E:5B E:44", 0, 0},
    {"hex1", u"4", "", 2, 0x04},
    {"hex1", u"41", "P:41 E:41 C:41 done", 1, 0},
    {"hex1 crlf", u"0d", "P:0D P:0A E:0D E:0A C:0D C:0A done", 1, 0},
    {"hex1", u"fF", "P:FF E:FF C:FF done", 1, 0},
    {"hex1", u"4xg \r\bG/:@`1", "P:41 E:41 C:41 done", 1, 0},
    {"hex1", {kUp, kLeft}, "", 1, 0},
    {"hex1", {u'7', kDown, u'e'}, "P:7E E:7E C:7E done", 1, 0},
    {"hex1", u"\u0141\u2042", "P:AB E:AB C:AB done", 1, 0},  // low 8 bits as the digit
    {"hex1", u"\u0134", "", 2, 0x04},
    {"hex2", u"7", "P:07 E:07 C:07 done", 1, 0},  // stored between the two digits
    {"hex5", u"7", "P:07 E:07 C:07 done", 1, 0},  // any other value acts as the second
    {"hex5", {kRight}, "", 5, 0},
    {"hex1", u"1234", "P:12 E:12 C:12 done P:34 E:34 C:34 done", 1, 0},
};

class KeyCases : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyCases, ReachEachDestinationInOrder) {
    const KeyCase& c = GetParam();
    const std::string options = c.options;
    auto has = [&](const char* option) { return options.find(option) != std::string::npos; };
    AppState state;
    state.echo = has("noecho") ? 0 : 1;
    state.txCrLf = has("crlf");
    state.txCapture = has("nocapture") ? 0 : 1;
    if (has("hex")) state.hexInput = HexEntry(options[options.find("hex") + 3] - '0');
    RecordingDestinations out;
    out.portOpen = !has("closed");
    out.captureOpen = !has("nofile");
    for (char16_t key : c.keys) {
        if (key >= kUp && key <= kRight) {
            const ArrowKey arrows[] = {ArrowKey::Up, ArrowKey::Down, ArrowKey::Left,
                                       ArrowKey::Right};
            HandleArrowKey(state, arrows[key - kUp], out);
        } else {
            HandleCharKey(state, key, out);
        }
    }
    EXPECT_EQ(out.calls, c.sent);
    EXPECT_EQ(int(state.hexInput), c.hexAfter);
    EXPECT_EQ(state.keyByte, c.keyByteAfter);
}

INSTANTIATE_TEST_SUITE_P(Table, KeyCases, ::testing::ValuesIn(kCases));

// The program's own destinations: the screen shows the echo as received bytes would be shown
// (escapes obeyed in Text, bytes shown in Hex), and the capture file is current after each key.
TEST(KeyDestinations, EchoAndCaptureThroughTheProgramsOwn) {
    TempFolder folder;
    auto s = MakeScreen(5, 20);
    s->echo = 1;
    s->txCrLf = 1;
    s->txCapture = 1;
    AppKeyDestinations out(*s);  // no port open: nothing is written anywhere
    ASSERT_TRUE(s->captureFile.Open(folder.Path("typed.log")));
    for (char16_t key : u"Hi\r")
        if (key) HandleCharKey(*s, key, out);
    EXPECT_EQ(ReadFile(folder.Path("typed.log")), "Hi\r\n");
    HandleCharKey(*s, 'x', out);
    HandleArrowKey(*s, ArrowKey::Up, out);
    EXPECT_EQ(ScreenText(*s), "Hi|x|||");
    EXPECT_EQ(s->cursorRow, 0);
    EXPECT_EQ(s->cursorCol, 1);
    s->txCapture = 0;
    HandleCharKey(*s, 'y', out);
    ASSERT_TRUE(s->captureFile.Close());
    EXPECT_EQ(ReadFile(folder.Path("typed.log")), "Hi\r\nx\x1b[A");

    auto hex = MakeScreen(5, 20, DisplayMode::Hex);
    hex->echo = 1;
    AppKeyDestinations hexOut(*hex);
    HandleArrowKey(*hex, ArrowKey::Down, hexOut);
    EXPECT_EQ(ScreenText(*hex), "1B 5B 42||||");
}

}  // namespace
}  // namespace vellor::testing

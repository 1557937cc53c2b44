#include "input/keyboard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/platform.h"
#include "screen/screen.h"

namespace vellor {
namespace {

namespace fs = std::filesystem;

// Records every byte handed to a destination as "P:1B" (port), "E:1B" (echo), "C:1B" (capture),
// and "done" for the end of a key's capture.
class RecordingDestinations : public KeyDestinations {
  public:
    bool portOpen = true;
    bool captureOpen = true;
    std::vector<std::string> calls;

    bool PortOpen() override { return portOpen; }
    void WritePort(uint8_t b) override { Record('P', b); }
    void Echo(uint8_t b) override { Record('E', b); }
    bool CaptureOpen() override { return captureOpen; }
    void Capture(uint8_t b) override { Record('C', b); }
    void CaptureDone() override { calls.push_back("done"); }

  private:
    void Record(char dest, uint8_t b) {
        char text[8];
        std::snprintf(text, sizeof text, "%c:%02X", dest, b);
        calls.push_back(text);
    }
};

struct Key {
    bool arrow = false;
    ArrowKey arrowKey = ArrowKey::Left;
    uint16_t code = 0;
};
Key Ch(uint16_t code) {
    return {false, ArrowKey::Left, code};
}
Key Arrow(ArrowKey k) {
    return {true, k, 0};
}

struct Options {
    bool portOpen = true;
    bool echo = true;
    bool txCrLf = false;
    bool txCapture = true;
    bool captureOpen = true;
    int32_t hexInput = 0;
};

struct Case {
    const char* name;
    Options options;
    std::vector<Key> keys;
    std::string expected;  // the calls, space-separated
    int32_t hexInputAfter;
    uint8_t keyByteAfter;
};

std::string Join(const std::vector<std::string>& calls) {
    std::string s;
    for (const std::string& c : calls)
        s += (s.empty() ? "" : " ") + c;
    return s;
}

const std::vector<Case>& Cases() {
    using enum ArrowKey;
    const Options all;  // port open, echo, capture on
    Options crLf = all;
    crLf.txCrLf = true;
    Options closed = all;
    closed.portOpen = false;
    Options noEcho = all;
    noEcho.echo = false;
    Options noTxCapture = all;
    noTxCapture.txCapture = false;
    Options noCaptureFile = all;
    noCaptureFile.captureOpen = false;
    Options hex = all;
    hex.hexInput = 1;
    Options hexCrLf = crLf;
    hexCrLf.hexInput = 1;
    Options hexSecond = all;
    hexSecond.hexInput = 2;
    Options hexOther = all;
    hexOther.hexInput = 5;
    Options hexNegative = all;
    hexNegative.hexInput = -1;
    Options echoOnly = all;
    echoOnly.portOpen = false;
    echoOnly.txCapture = false;

    static const std::vector<Case> cases = {
        {"char_to_all_three", all, {Ch('A')}, "P:41 E:41 C:41 done", 0, 0},
        {"enter_crlf_per_destination",
         crLf,
         {Ch(0x0D)},
         "P:0D P:0A E:0D E:0A C:0D C:0A done",
         0,
         0},
        {"enter_without_crlf", all, {Ch(0x0D)}, "P:0D E:0D C:0D done", 0, 0},
        {"lf_gets_no_extra_lf", crLf, {Ch(0x0A)}, "P:0A E:0A C:0A done", 0, 0},
        {"port_closed_echo_and_capture_still", closed, {Ch('z')}, "E:7A C:7A done", 0, 0},
        {"no_echo", noEcho, {Ch('z')}, "P:7A C:7A done", 0, 0},
        {"tx_capture_off", noTxCapture, {Ch('z')}, "P:7A E:7A", 0, 0},
        {"no_capture_file", noCaptureFile, {Ch('z')}, "P:7A E:7A", 0, 0},
        {"low_8_bits_of_code", all, {Ch(0x20AC)}, "P:AC E:AC C:AC done", 0, 0},
        {"nul_is_sent", all, {Ch(0x0000)}, "P:00 E:00 C:00 done", 0, 0},
        {"two_keys_in_order",
         all,
         {Ch('a'), Ch('b')},
         "P:61 E:61 C:61 done P:62 E:62 C:62 done",
         0,
         0},

        {"arrow_left",
         all,
         {Arrow(Left)},
         "P:1B P:5B P:44 E:1B E:5B E:44 C:1B C:5B C:44 done",
         0,
         0},
        {"arrow_up", all, {Arrow(Up)}, "P:1B P:5B P:41 E:1B E:5B E:41 C:1B C:5B C:41 done", 0, 0},
        {"arrow_right",
         all,
         {Arrow(Right)},
         "P:1B P:5B P:43 E:1B E:5B E:43 C:1B C:5B C:43 done",
         0,
         0},
        {"arrow_down",
         all,
         {Arrow(Down)},
         "P:1B P:5B P:42 E:1B E:5B E:42 C:1B C:5B C:42 done",
         0,
         0},
        {"arrow_never_adds_lf",
         crLf,
         {Arrow(Up)},
         "P:1B P:5B P:41 E:1B E:5B E:41 C:1B C:5B C:41 done",
         0,
         0},
        {"arrow_port_closed_echo_only", echoOnly, {Arrow(Up)}, "E:1B E:5B E:41", 0, 0},

        {"hex_first_digit_sends_nothing", hex, {Ch('4')}, "", 2, 0x04},
        {"hex_pair", hex, {Ch('4'), Ch('1')}, "P:41 E:41 C:41 done", 1, 0},
        {"hex_cr_gets_lf", hexCrLf, {Ch('0'), Ch('d')}, "P:0D P:0A E:0D E:0A C:0D C:0A done", 1, 0},
        {"hex_both_cases", hex, {Ch('f'), Ch('F')}, "P:FF E:FF C:FF done", 1, 0},
        {"hex_non_digits_ignored",
         hex,
         {Ch('4'), Ch('x'), Ch('g'), Ch(' '), Ch(0x0D), Ch(0x08), Ch('G'), Ch('/'), Ch(':'),
          Ch('@'), Ch('`'), Ch('1')},
         "P:41 E:41 C:41 done",
         1,
         0},
        {"hex_non_digit_before_first", hex, {Ch('q')}, "", 1, 0},
        {"hex_arrows_ignored_first", hex, {Arrow(Up), Arrow(Left)}, "", 1, 0},
        {"hex_arrows_ignored_second",
         hex,
         {Ch('7'), Arrow(Down), Ch('e')},
         "P:7E E:7E C:7E done",
         1,
         0},
        {"hex_low_8_bits_as_digit", hex, {Ch(0x0141), Ch(0x2042)}, "P:AB E:AB C:AB done", 1, 0},
        {"hex_high_code_non_digit", hex, {Ch(0x0134)}, "", 2, 0x04},
        {"hex_restored_second_digit", hexSecond, {Ch('7')}, "P:07 E:07 C:07 done", 1, 0},
        {"hex_other_value_acts_as_second", hexOther, {Ch('7')}, "P:07 E:07 C:07 done", 1, 0},
        {"hex_negative_acts_as_second", hexNegative, {Ch('a')}, "P:0A E:0A C:0A done", 1, 0},
        {"hex_other_value_ignores_arrows", hexOther, {Arrow(Right)}, "", 5, 0},
        {"hex_two_bytes",
         hex,
         {Ch('1'), Ch('2'), Ch('3'), Ch('4')},
         "P:12 E:12 C:12 done P:34 E:34 C:34 done",
         1,
         0},
    };
    return cases;
}

TEST(KeyboardTest, DestinationsGetEachKeysBytesInOrder) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        AppState state;
        state.echo = c.options.echo;
        state.txCrLf = c.options.txCrLf;
        state.txCapture = c.options.txCapture;
        state.hexInput = c.options.hexInput;
        RecordingDestinations out;
        out.portOpen = c.options.portOpen;
        out.captureOpen = c.options.captureOpen;
        for (const Key& k : c.keys) {
            if (k.arrow) {
                HandleArrowKey(state, k.arrowKey, out);
            } else {
                HandleCharKey(state, k.code, out);
            }
        }
        EXPECT_EQ(Join(out.calls), c.expected);
        EXPECT_EQ(state.hexInput, c.hexInputAfter);
        EXPECT_EQ(state.keyByte, c.keyByteAfter);
    }
}

// A half-entered byte survives ignored keys between the two digits.
TEST(KeyboardTest, HalfEnteredByteWaitsForItsSecondDigit) {
    AppState state;
    state.hexInput = 1;
    state.echo = 1;
    state.txCapture = 1;
    RecordingDestinations out;
    HandleCharKey(state, 'c', out);
    EXPECT_EQ(state.keyByte, 0x0C);
    HandleArrowKey(state, ArrowKey::Up, out);
    HandleCharKey(state, 'z', out);
    EXPECT_EQ(state.keyByte, 0x0C);
    EXPECT_EQ(state.hexInput, 2);
    HandleCharKey(state, '9', out);
    EXPECT_EQ(Join(out.calls), "P:C9 E:C9 C:C9 done");
}

class SilentPlatform : public Platform {
  public:
    void ShowMessage(MessageOwner, const std::string&, const std::string&,
                     const std::string&) override {}
};

class AppKeyDestinationsTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "keyboard-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    void MakeScreen(AppState& state, int32_t mode) {
        {
            std::lock_guard lock(state.screenMutex);
            state.numRows = 5;
            state.numCols = 20;
            state.visibleRows = 5;
            state.visibleCols = 20;
            state.cellWidth = 8;
            state.cellHeight = 16;
            state.displayMode = mode;
        }
        SilentPlatform platform;
        ASSERT_EQ(AllocateScreen(state, platform), 0);
    }
    std::string CapturePath() const { return (dir_ / "typed.log").string(); }
    std::string Captured() const {
        std::ifstream in(CapturePath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::string Row(AppState& state, uint16_t r) {
        std::lock_guard lock(state.screenMutex);
        std::string s;
        for (uint16_t c = 0; c < state.numCols; ++c)
            s += char(state.screenBuffer->At(r, c));
        return s;
    }

    fs::path dir_;
};

TEST_F(AppKeyDestinationsTest, TypedBytesReachPortScreenAndFlushedCapture) {
    AppState state;
    MakeScreen(state, 0);
    state.echo = 1;
    state.txCrLf = 1;
    state.txCapture = 1;
    std::string port;
    AppKeyDestinations out(
        state, [] { return true; }, [&port](uint8_t b) { port += char(b); });
    ASSERT_TRUE(state.captureFile.Open(CapturePath()));
    HandleCharKey(state, 'H', out);
    HandleCharKey(state, 'i', out);
    HandleCharKey(state, 0x0D, out);
    // Flushed after every key: the file is current without closing it.
    EXPECT_EQ(Captured(), "Hi\r\n");
    HandleCharKey(state, 'x', out);
    ASSERT_TRUE(state.captureFile.Close());
    EXPECT_EQ(port, "Hi\r\nx");
    EXPECT_EQ(Captured(), "Hi\r\nx");
    EXPECT_EQ(Row(state, 0), "Hi                  ");
    EXPECT_EQ(Row(state, 1), "x                   ");
}

TEST_F(AppKeyDestinationsTest, ArrowWithPortClosedMovesTheLocalCursorInText) {
    AppState state;
    MakeScreen(state, 0);
    state.echo = 1;
    bool wrote = false;
    AppKeyDestinations out(
        state, [] { return false; }, [&wrote](uint8_t) { wrote = true; });
    HandleCharKey(state, 0x0A, out);
    HandleCharKey(state, 'a', out);
    HandleArrowKey(state, ArrowKey::Up, out);
    EXPECT_FALSE(wrote);
    std::lock_guard lock(state.screenMutex);
    EXPECT_EQ(state.cursorRow, 0);
    EXPECT_EQ(state.cursorCol, 1);
}

TEST_F(AppKeyDestinationsTest, ArrowInHexDisplayShowsItsThreeBytes) {
    AppState state;
    MakeScreen(state, 1);
    state.echo = 1;
    AppKeyDestinations out(state, nullptr, nullptr);  // no port supplied: counts as closed
    HandleArrowKey(state, ArrowKey::Down, out);
    EXPECT_EQ(Row(state, 0), "1B 5B 42            ");
}

TEST_F(AppKeyDestinationsTest, CaptureClosedOrOptionOffWritesNothing) {
    AppState state;
    MakeScreen(state, 0);
    AppKeyDestinations out(state, nullptr, nullptr);
    state.txCapture = 1;
    HandleCharKey(state, 'a', out);  // no capture open: nothing, no crash
    ASSERT_TRUE(state.captureFile.Open(CapturePath()));
    state.txCapture = 0;
    HandleCharKey(state, 'b', out);
    ASSERT_TRUE(state.captureFile.Close());
    EXPECT_EQ(Captured(), "");
}

}  // namespace
}  // namespace vellor

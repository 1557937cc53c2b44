#include "serial/receive_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/platform.h"
#include "screen/screen.h"

namespace vellor {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

class SilentPlatform : public Platform {
  public:
    void ShowMessage(MessageOwner, const std::string&, const std::string&,
                     const std::string&) override {}
};

// A screen large enough that nothing scrolls, in Hex mode so that every byte shown leaves a
// trace; the whole buffer is in view.
void MakeScreen(AppState& state, int32_t mode = 1, uint16_t rows = 200, uint16_t cols = 120) {
    SilentPlatform platform;
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = rows;
        state.numCols = cols;
        state.displayMode = mode;
        state.visibleRows = rows;
        state.visibleCols = cols;
        state.cellWidth = 8;
        state.cellHeight = 16;
    }
    ASSERT_EQ(AllocateScreen(state, platform), 0);
}

struct Snapshot {
    std::vector<uint16_t> cells;
    uint16_t cursorRow;
    uint16_t cursorCol;
    int32_t escapeState;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Snap(AppState& state) {
    std::lock_guard lock(state.screenMutex);
    Snapshot s{{}, state.cursorRow, state.cursorCol, state.escapeState};
    for (uint16_t r = 0; r < state.numRows; ++r) {
        const uint16_t* row = state.screenBuffer->Row(r);
        s.cells.insert(s.cells.end(), row, row + state.numCols);
    }
    return s;
}

// The screen that showing exactly these bytes one by one gives.
Snapshot ReferenceScreen(const std::vector<uint8_t>& shown, int32_t mode) {
    AppState ref;
    MakeScreen(ref, mode);
    for (uint8_t b : shown)
        PutByte(ref, b);
    return Snap(ref);
}

class ReceivePathTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "receive-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string CapturePath() const { return (dir_ / "capture.log").string(); }
    std::string Captured() const {
        std::ifstream in(CapturePath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir_;
};

struct Case {
    const char* name;
    std::string input;
    bool bit7;
    bool crLf;
    bool rxCapture;
    bool captureOpen;
    std::string shown;     // what reaches the screen, in order
    std::string captured;  // what the capture file holds afterwards
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"plain", "AB\r\n", false, false, true, true, "AB\r\n", "AB\r\n"},
        {"crlf_adds_lf", "A\rB", false, true, true, true, "A\r\nB", "A\r\nB"},
        {"crlf_pair_gives_two_lf", "\r\n", false, true, true, true, "\r\n\n", "\r\n\n"},
        {"bit7_strips", "\xC1\xFF", true, false, true, true, "\x41\x7F", "\x41\x7F"},
        {"bit7_cr_counts_for_crlf", "\x8D", true, true, true, true, "\r\n", "\r\n"},
        {"cr_with_bit7_set_is_no_cr", "\x8D", false, true, true, true, "\x8D", "\x8D"},
        {"capture_option_off", "AB\r", false, true, false, true, "AB\r\n", ""},
        {"no_capture_open", "AB", false, false, true, false, "AB", ""},
        {"nul_and_high_bytes", std::string("\0\x80\xFE", 3), false, false, true, true,
         std::string("\0\x80\xFE", 3), std::string("\0\x80\xFE", 3)},
        {"empty", "", true, true, true, true, "", ""},
    };
    return cases;
}

void Configure(AppState& state, const Case& c) {
    state.rxBit7 = c.bit7 ? 1 : 0;
    state.rxCrLf = c.crLf ? 1 : 0;
    state.rxCapture = c.rxCapture ? 1 : 0;
}

TEST_F(ReceivePathTest, BytesReachCaptureAndScreenAsTheOptionsSay) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        fs::remove(CapturePath());
        AppState state;
        MakeScreen(state);
        Configure(state, c);
        if (c.captureOpen) {
            ASSERT_TRUE(state.captureFile.Open(CapturePath()));
        }
        ProcessReceivedBytes(state, Bytes(c.input));
        ASSERT_TRUE(state.captureFile.Close());
        EXPECT_EQ(Captured(), c.captured);
        EXPECT_EQ(Snap(state), ReferenceScreen(Bytes(c.shown), 1));
    }
}

// However the bytes are split into chunks, the outcome is the same.
TEST_F(ReceivePathTest, ChunkingDoesNotChangeTheResult) {
    std::mt19937 random(12345);
    std::string input;
    for (int i = 0; i < 3000; ++i)
        input += char(random() % 256);
    input += "\r\r\n\x8D\x1B[A";
    for (const bool bit7 : {false, true}) {
        for (const bool crLf : {false, true}) {
            SCOPED_TRACE(testing::Message() << "bit7 " << bit7 << " crlf " << crLf);
            const Case c{"", input, bit7, crLf, true, true, "", ""};
            AppState whole;
            MakeScreen(whole, 0);
            Configure(whole, c);
            fs::remove(CapturePath());
            ASSERT_TRUE(whole.captureFile.Open(CapturePath()));
            ProcessReceivedBytes(whole, Bytes(input));
            ASSERT_TRUE(whole.captureFile.Close());
            const std::string wholeCapture = Captured();

            AppState pieces;
            MakeScreen(pieces, 0);
            Configure(pieces, c);
            fs::remove(CapturePath());
            ASSERT_TRUE(pieces.captureFile.Open(CapturePath()));
            const std::vector<uint8_t> bytes = Bytes(input);
            for (std::size_t at = 0; at < bytes.size();) {
                const std::size_t n = std::min<std::size_t>(1 + random() % 17, bytes.size() - at);
                ProcessReceivedBytes(pieces, std::span<const uint8_t>(bytes).subspan(at, n));
                at += n;
            }
            ASSERT_TRUE(pieces.captureFile.Close());
            EXPECT_EQ(Captured(), wholeCapture);
            EXPECT_EQ(Snap(pieces), Snap(whole));
        }
    }
}

// A chunk larger than one slice, every byte doubled by CR -> CR LF: nothing is lost at the seams.
TEST_F(ReceivePathTest, LongChunkOfCrsIsDoubledWhole) {
    AppState state;
    MakeScreen(state, 1, 20, 30);
    state.rxCrLf = 1;
    ASSERT_TRUE(state.captureFile.Open(CapturePath()));
    const std::vector<uint8_t> crs(3 * kReceiveSlice + 7, '\r');
    ProcessReceivedBytes(state, crs);
    ASSERT_TRUE(state.captureFile.Close());
    std::string expected;
    for (std::size_t i = 0; i < crs.size(); ++i)
        expected += "\r\n";
    EXPECT_EQ(Captured(), expected);
}

TEST_F(ReceivePathTest, TextModeShowsCrLfAsANewLine) {
    AppState state;
    MakeScreen(state, 0, 5, 10);
    state.rxCrLf = 1;
    ProcessReceivedBytes(state, Bytes("AB\rCD"));
    std::lock_guard lock(state.screenMutex);
    EXPECT_EQ(state.screenBuffer->At(0, 0), 'A');
    EXPECT_EQ(state.screenBuffer->At(0, 1), 'B');
    EXPECT_EQ(state.screenBuffer->At(1, 0), 'C');
    EXPECT_EQ(state.screenBuffer->At(1, 1), 'D');
    EXPECT_EQ(state.cursorRow, 1);
    EXPECT_EQ(state.cursorCol, 2);
}

// Bytes keep arriving while the UI thread stops and restarts the capture and clears the screen:
// every capture holds only whole chunks, and no stream or buffer is touched while it changes.
TEST_F(ReceivePathTest, CaptureAndScreenMayChangeWhileBytesArrive) {
    AppState state;
    MakeScreen(state, 0, 25, 80);
    state.rxCrLf = 1;
    ASSERT_TRUE(state.captureFile.Open(CapturePath()));
    const std::vector<uint8_t> line = Bytes("0123456789abcdefghijklmnopqrstuvwxyz\r");
    std::thread receiver([&] {
        for (int i = 0; i < 3000; ++i)
            ProcessReceivedBytes(state, line);
    });
    for (int i = 0; i < 100; ++i) {
        state.captureFile.Close();
        ClearScreen(state);
        ASSERT_TRUE(state.captureFile.Open(CapturePath()));
    }
    receiver.join();
    ASSERT_TRUE(state.captureFile.Close());
    const std::string content = Captured();
    const std::string expectedLine = "0123456789abcdefghijklmnopqrstuvwxyz\r\n";
    ASSERT_EQ(content.size() % expectedLine.size(), 0u);
    for (std::size_t at = 0; at < content.size(); at += expectedLine.size()) {
        ASSERT_EQ(content.substr(at, expectedLine.size()), expectedLine) << at;
    }
}

}  // namespace
}  // namespace vellor

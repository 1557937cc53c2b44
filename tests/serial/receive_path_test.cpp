// What the receive path hands the capture file (the screen's side is in the interpreter cases).
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "serial/receive_path.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

struct CaptureCase {
    std::string input;
    bool bit7, crLf, rxCapture, captureOpen;
    std::string captured;
};

// The capture gets exactly the bytes the screen is given: after bit 7, with the added LF, only
// when the option is on and a capture is open; however the bytes are split into pieces.
TEST(ReceivePath, CaptureGetsWhatTheScreenIsGiven) {
    const CaptureCase cases[] = {
        {"AB\r\n", false, false, true, true, "AB\r\n"},
        {"A\r\nB", false, true, true, true, "A\r\n\nB"},
        {"\xC1\xFF\x8D", true, true, true, true, "A\x7F\r\n"},
        {"\x8D", false, true, true, true, "\x8D"},
        {"AB\r", false, true, false, true, ""},
        {"AB", false, false, true, false, ""},
        {std::string("\0\x80", 2), false, false, true, true, std::string("\0\x80", 2)},
    };
    std::mt19937 random(5);
    for (const CaptureCase& c : cases) {
        for (const bool pieces : {false, true}) {
            TempFolder folder;
            auto s = MakeScreen(20, 40);
            s->rxBit7 = c.bit7;
            s->rxCrLf = c.crLf;
            s->rxCapture = c.rxCapture;
            if (c.captureOpen) {
                ASSERT_TRUE(s->captureFile.Open(folder.Path("c.log")));
            }
            const auto bytes = Bytes(c.input);
            for (std::size_t at = 0, n = 0; at < bytes.size(); at += n) {
                n = pieces ? std::min<std::size_t>(1 + random() % 3, bytes.size() - at)
                           : bytes.size();
                ProcessReceivedBytes(*s, std::span(bytes).subspan(at, n));
            }
            ASSERT_TRUE(s->captureFile.Close());
            EXPECT_EQ(ReadFile(folder.Path("c.log")), c.captured) << "pieces " << pieces;
        }
    }
    // A chunk of many slices, every byte doubled: nothing is lost at the seams.
    TempFolder folder;
    auto s = MakeScreen(20, 30, DisplayMode::Hex);
    s->rxCrLf = 1;
    ASSERT_TRUE(s->captureFile.Open(folder.Path("crs.log")));
    ProcessReceivedBytes(*s, std::vector<uint8_t>(3 * kReceiveSlice + 7, '\r'));
    ASSERT_TRUE(s->captureFile.Close());
    std::string doubled;
    for (std::size_t i = 0; i < 3 * kReceiveSlice + 7; ++i)
        doubled += "\r\n";
    EXPECT_EQ(ReadFile(folder.Path("crs.log")), doubled);
}

// Bytes keep arriving while the UI thread stops and restarts the capture and clears the screen:
// the captures hold only whole slices, and no stream or buffer is touched while it changes.
TEST(ReceivePath, CaptureAndScreenMayChangeWhileBytesArrive) {
    TempFolder folder;
    const std::string path = folder.Path("c.log");
    auto s = MakeScreen(25, 80);
    s->rxCrLf = 1;
    ASSERT_TRUE(s->captureFile.Open(path));
    const auto line = Bytes("0123456789abcdefghijklmnopqrstuvwxyz\r");
    std::thread receiver([&] {
        for (int i = 0; i < 3000; ++i)
            ProcessReceivedBytes(*s, line);
    });
    for (int i = 0; i < 100; ++i) {
        s->captureFile.Close();
        ClearScreen(*s);
        ASSERT_TRUE(s->captureFile.Open(path));
    }
    receiver.join();
    ASSERT_TRUE(s->captureFile.Close());
    const std::string content = ReadFile(path);
    const std::string whole = "0123456789abcdefghijklmnopqrstuvwxyz\r\n";
    ASSERT_EQ(content.size() % whole.size(), 0u);
    for (std::size_t at = 0; at < content.size(); at += whole.size())
        ASSERT_EQ(content.substr(at, whole.size()), whole) << at;
}

}  // namespace
}  // namespace vellor::testing

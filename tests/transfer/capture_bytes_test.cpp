// What a running capture records: received bytes as shown, typed bytes as sent, each burst and
// each key in the file at once.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "input/keyboard.h"
#include "transfer/transfer_fixture.h"

namespace vellor {
namespace {

namespace fs = std::filesystem;

using testing::PtyPair;
using testing::TransferTest;

class CaptureBytesTest : public TransferTest {
  protected:
    std::string StartCapture() {
        const std::string path = PathOf("capture.log");
        ui_.Answer(path);
        ToggleCapture(state(), ui_);
        return path;
    }

    // Waits (bounded, against hanging) until the file holds `size` bytes, without closing it:
    // what has arrived must already be in the file.
    static std::string WaitForFile(const std::string& path, std::size_t size) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::string text = Contents(path);
        while (text.size() < size && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            text = Contents(path);
        }
        return text;
    }

    bool WaitForScreen(const std::string& expected) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Screen() != expected) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
};

struct ReceivedCase {
    const char* name;
    int32_t rxBit7;
    int32_t rxCrLf;
    std::string received;
    std::string captured;
};

class CaptureReceivedTest : public CaptureBytesTest,
                            public ::testing::WithParamInterface<ReceivedCase> {};

TEST_P(CaptureReceivedTest, RecordsEachByteAsShown) {
    const ReceivedCase& c = GetParam();
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    state().rxBit7 = c.rxBit7;
    state().rxCrLf = c.rxCrLf;
    const std::string path = StartCapture();

    ASSERT_TRUE(pty.Send(c.received));
    EXPECT_EQ(WaitForFile(path, c.captured.size()), c.captured);
    ToggleCapture(state(), ui_);
    EXPECT_EQ(Contents(path), c.captured);
}

INSTANTIATE_TEST_SUITE_P(Options, CaptureReceivedTest,
                         ::testing::Values(ReceivedCase{"Plain", 0, 0,
                                                        std::string("A\xC1\r\n\0z", 6),
                                                        std::string("A\xC1\r\n\0z", 6)},
                                           ReceivedCase{"Bit7", 1, 0, "\xC1\xFF", "A\x7F"},
                                           ReceivedCase{"CrLf", 0, 1, "x\ry\r\n", "x\r\ny\r\n\n"},
                                           ReceivedCase{"Bit7CrLf", 1, 1, "\x8D!", "\r\n!"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureBytesTest, ReceivedBytesAreLeftOutWhenRxCaptureIsOff) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    state().rxCapture = 0;
    const std::string path = StartCapture();
    ASSERT_TRUE(pty.Send("abc"));
    ASSERT_TRUE(WaitForScreen("abc"));
    ToggleCapture(state(), ui_);
    EXPECT_EQ(Contents(path), "");
}

TEST_F(CaptureBytesTest, EveryBurstIsInTheFileBeforeTheNextArrives) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    const std::string path = StartCapture();
    std::string expected;
    for (int burst = 0; burst < 5; ++burst) {
        const std::string bytes = "burst " + std::to_string(burst) + "\r\n";
        expected += bytes;
        ASSERT_TRUE(pty.Send(bytes));
        ASSERT_EQ(WaitForFile(path, expected.size()), expected);
    }
}

// Keys through the program's own destinations, the port closed.
class TypedCaptureTest : public CaptureBytesTest {
  protected:
    void Type(const std::string& keys) {
        AppKeyDestinations out(
            state(), [] { return false; }, [](uint8_t) {});
        for (char c : keys)
            HandleCharKey(state(), uint8_t(c), out);
    }
    void Arrow(ArrowKey key) {
        AppKeyDestinations out(
            state(), [] { return false; }, [](uint8_t) {});
        HandleArrowKey(state(), key, out);
    }
};

TEST_F(TypedCaptureTest, EveryKeyIsInTheFileAtOnce) {
    state().txCapture = 1;
    state().txCrLf = 1;
    const std::string path = StartCapture();
    Type("a");
    EXPECT_EQ(Contents(path), "a");
    Type("\r");
    EXPECT_EQ(Contents(path), "a\r\n");
    Arrow(ArrowKey::Up);
    EXPECT_EQ(Contents(path), "a\r\n\x1b[A");
    ToggleCapture(state(), ui_);
    EXPECT_EQ(Contents(path), "a\r\n\x1b[A");
}

TEST_F(TypedCaptureTest, EnterWithoutTxCrLfIsCapturedAlone) {
    state().txCapture = 1;
    const std::string path = StartCapture();
    Type("ok\r");
    ToggleCapture(state(), ui_);
    EXPECT_EQ(Contents(path), "ok\r");
}

TEST_F(TypedCaptureTest, NothingIsRecordedWithBothOptionsOff) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    state().rxCapture = 0;
    state().txCapture = 0;
    const std::string path = StartCapture();
    Type("typed");
    ASSERT_TRUE(pty.Send("heard"));
    ASSERT_TRUE(WaitForScreen("heard"));
    ToggleCapture(state(), ui_);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(Contents(path), "");
}

TEST_F(TypedCaptureTest, TypedAndReceivedBytesBothLand) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    state().txCapture = 1;
    const std::string path = StartCapture();
    Type("ping");
    ASSERT_TRUE(pty.Send("pong"));
    EXPECT_EQ(WaitForFile(path, 8), "pingpong");
}

}  // namespace
}  // namespace vellor

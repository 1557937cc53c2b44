// Send from File end to end: a file through the send thread into a pseudo-terminal.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_ids.h"
#include "transfer/transfer_fixture.h"

namespace vellor {
namespace {

namespace fs = std::filesystem;

using testing::PtyPair;
using testing::ScriptedFile;
using testing::TransferTest;

// Every byte value but the marker, several times over, so the stream's buffer refills.
std::string AllByteValues() {
    std::string bytes;
    for (int round = 0; round < 40; ++round)
        for (int v = 0; v < 256; ++v)
            if (v != TransferTest::kMarker) bytes += char(v);
    return bytes;
}

using SendPortTest = TransferTest;

TEST_F(SendPortTest, FileReachesThePortByteForByte) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    const std::string content = AllByteValues();
    Write(PathOf("all.bin"), content);

    SendWith(PathOf("all.bin"));
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), std::vector<bool>{true});
    ASSERT_TRUE(RunUntilIdle());

    EXPECT_EQ(WireUpToMarker(pty), content);
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui_.messages.empty());
}

struct LineEndCase {
    int32_t txCrLf;
    int32_t echo;
    std::string wire;
    std::string screen;
};

class SendLineEndTest : public TransferTest, public ::testing::WithParamInterface<LineEndCase> {};

TEST_P(SendLineEndTest, LineEndsAndEchoFollowTheOptions) {
    const LineEndCase& c = GetParam();
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    state().txCrLf = c.txCrLf;
    state().echo = c.echo;
    Write(PathOf("lines.txt"), "AB\r\nC\r\n");

    SendWith(PathOf("lines.txt"));
    ASSERT_TRUE(RunUntilIdle());

    EXPECT_EQ(WireUpToMarker(pty), c.wire);
    EXPECT_EQ(Screen(), c.screen);
}

INSTANTIATE_TEST_SUITE_P(Options, SendLineEndTest,
                         ::testing::Values(LineEndCase{0, 0, "AB\r\nC\r\n", ""},
                                           LineEndCase{1, 0, "AB\r\n\nC\r\n\n", ""},
                                           LineEndCase{0, 1, "AB\r\nC\r\n", "AB|C"},
                                           LineEndCase{1, 1, "AB\r\n\nC\r\n\n", "AB||C"}));

TEST_F(SendPortTest, StopInTheMiddleCompletesOnlyTheByteInHand) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    state().txCrLf = 1;
    ScriptedFile file("0123\r56789");
    file.HoldAt(4);  // the CR

    SendWith("held.txt", Opening(file));
    ASSERT_TRUE(file.WaitUntilHeld());
    ToggleSendWith(state(), ui_, DefaultSendHooks());  // stop
    EXPECT_EQ(state().sending.load(), 0);
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));
    file.Release();
    ASSERT_TRUE(file.WaitUntilClosed());
    ui_.RunPending();

    EXPECT_EQ(WireUpToMarker(pty), "0123\r\n");  // the CR in hand goes out with its LF
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(SendPortTest, ClosingThePortMidSendWritesNothingAfterwards) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    ScriptedFile file("01234abcdefghij");
    file.HoldAt(5);

    SendWith("held.txt", Opening(file));
    ASSERT_TRUE(file.WaitUntilHeld());
    ClosePort(state(), portUi_);
    // Whatever descriptor number the port had is likely handed out again now: the rest of the
    // file must never land in this file.
    const std::string bystander = PathOf("bystander.txt");
    const int fd = ::open(bystander.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    file.Release();
    ASSERT_TRUE(RunUntilIdle());
    ::close(fd);

    EXPECT_EQ(Contents(bystander), "");
    EXPECT_EQ(file.Taken(), 15u);  // read to its end all the same
    ASSERT_TRUE(OpenPortOn(pty));
    EXPECT_EQ(WireUpToMarker(pty), "01234");
}

TEST_F(SendPortTest, SecondSendRightAfterAStopFollowsTheFirstsLastByte) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    ScriptedFile first("0123456789");
    first.HoldAt(3);
    Write(PathOf("second.txt"), "abcdef");

    SendWith("first.txt", Opening(first));
    ASSERT_TRUE(first.WaitUntilHeld());
    ToggleSendWith(state(), ui_, DefaultSendHooks());  // stop
    SendWith(PathOf("second.txt"));                    // and straight away the next one
    EXPECT_EQ(state().sending.load(), 1);
    first.Release();
    ASSERT_TRUE(RunUntilIdle());

    EXPECT_EQ(WireUpToMarker(pty), "0123abcdef");
    EXPECT_TRUE(first.Closed());
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false, true, false}));
}

TEST_F(SendPortTest, TypedBytesInterleaveWithTheFile) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    ScriptedFile file("0123456789");
    file.HoldAt(5);

    SendWith("held.txt", Opening(file));
    ASSERT_TRUE(file.WaitUntilHeld());
    WritePortByte(state(), 'K');  // a key typed meanwhile
    file.Release();
    ASSERT_TRUE(RunUntilIdle());

    EXPECT_EQ(WireUpToMarker(pty), "01234K56789");
}

}  // namespace
}  // namespace vellor

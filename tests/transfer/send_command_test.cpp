// Send from File: the command, its messages, and how a run ends, without a port.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/command_ids.h"
#include "transfer/transfer_fixture.h"

namespace vellor {
namespace {

namespace fs = std::filesystem;

using testing::FakeTransferUi;
using testing::ScriptedFile;
using testing::TransferTest;

using SendCommandTest = TransferTest;

TEST_F(SendCommandTest, ChooserAsksForAFileToOpenFromTheRootFolder) {
    ToggleSend(state(), ui_);  // cancelled: no answer scripted
    ASSERT_EQ(ui_.requests.size(), 1u);
    const FileRequest& r = ui_.requests[0];
    EXPECT_EQ(r.kind, FileRequest::Kind::Open);
    EXPECT_EQ(r.title, "Open File to Send");
    EXPECT_EQ(r.filters, (std::vector<std::string>{"Log (*.log)", "Text (*.txt)", "All (*.*)"}));
    EXPECT_EQ(r.startDir, "/");
}

TEST_F(SendCommandTest, CancelChangesNothing) {
    ui_.Answer(std::nullopt);
    ToggleSend(state(), ui_);
    EXPECT_EQ(state().sending.load(), 0);
    EXPECT_TRUE(ui_.checks.empty());
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(state().sendFile, nullptr);
}

struct OpenFailureCase {
    const char* name;
    std::string (*path)(const std::string& dir);
    std::string reason;
};

class SendOpenFailureTest : public TransferTest,
                            public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(SendOpenFailureTest, ShowsOpenSendFileFailed) {
    SendWith(GetParam().path(dir_.string()));
    ASSERT_EQ(ui_.messages.size(), 1u);
    const auto& m = ui_.messages[0];
    EXPECT_EQ(m.owner, MessageOwner::MainWindow);
    EXPECT_EQ(m.text, "OpenSendFile Failed");
    EXPECT_EQ(m.caption, "Error");
    EXPECT_EQ(m.detail, GetParam().reason);
    EXPECT_EQ(state().sending.load(), 0);
    EXPECT_TRUE(ui_.checks.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SendOpenFailureTest,
    ::testing::Values(OpenFailureCase{"Missing",
                                      [](const std::string& d) { return d + "/no-such-file"; },
                                      std::generic_category().message(ENOENT)},
                      OpenFailureCase{"Folder", [](const std::string& d) { return d; },
                                      std::generic_category().message(EISDIR)},
                      OpenFailureCase{"Empty", [](const std::string&) { return std::string(); },
                                      std::generic_category().message(ENOENT)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendCommandTest, ThreadThatCannotBeMadeShowsCreateSendThreadFailed) {
    ScriptedFile file("abc");
    SendHooks hooks = Opening(file);
    hooks.launch = [](std::function<void()>) -> std::thread {
        throw std::system_error(EAGAIN, std::generic_category());
    };
    SendWith("x", hooks);

    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].owner, MessageOwner::MainWindow);
    EXPECT_EQ(ui_.messages[0].text, "CreateSendThread Failed");
    EXPECT_EQ(ui_.messages[0].caption, "Error");
    EXPECT_EQ(ui_.messages[0].detail, std::generic_category().message(EAGAIN));
    EXPECT_EQ(state().sending.load(), 0);
    EXPECT_TRUE(ui_.checks.empty());
    EXPECT_TRUE(file.Closed());
    EXPECT_EQ(file.Taken(), 0u);
}

TEST_F(SendCommandTest, EmptyFileIsCheckedThenUncheckedInThatOrder) {
    Write(PathOf("empty.log"), "");
    state().echo = 1;
    SendWith(PathOf("empty.log"));
    EXPECT_EQ(state().sending.load(), 1);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));
    EXPECT_EQ(Screen(), "");
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(SendCommandTest, WithThePortClosedEchoAloneShowsTheFile) {
    state().echo = 1;
    Write(PathOf("shown.txt"), "Hi\r\nthere");
    SendWith(PathOf("shown.txt"));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Screen(), "Hi|there");
}

TEST_F(SendCommandTest, WithThePortClosedAndNoEchoTheFileIsReadToItsEnd) {
    ScriptedFile file("nothing to see");
    SendWith("x", Opening(file));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(file.Taken(), 14u);
    EXPECT_TRUE(file.Closed());
    EXPECT_EQ(Screen(), "");
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));
}

TEST_F(SendCommandTest, SendingNeverReachesTheCapture) {
    state().txCapture = 1;
    state().echo = 1;
    ui_.Answer(PathOf("capture.log"));
    ToggleCapture(state(), ui_);
    Write(PathOf("data.txt"), "file bytes\r\n");
    SendWith(PathOf("data.txt"));
    ASSERT_TRUE(RunUntilIdle());
    ToggleCapture(state(), ui_);
    EXPECT_EQ(Contents(PathOf("capture.log")), "");
}

TEST_F(SendCommandTest, ReadFailureIsShownOverTheViewAndEndsTheSend) {
    state().echo = 1;
    ScriptedFile file("abcdef");
    file.FailReadAt(3);
    SendWith("x", Opening(file));
    ASSERT_TRUE(RunUntilIdle());

    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].owner, MessageOwner::View);
    EXPECT_EQ(ui_.messages[0].text, "ReadFile Failed");
    EXPECT_EQ(ui_.messages[0].caption, "Vellor Error");
    EXPECT_EQ(ui_.messages[0].detail, std::generic_category().message(EIO));
    EXPECT_EQ(Screen(), "abc");
    EXPECT_TRUE(file.Closed());
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));
}

TEST_F(SendCommandTest, FileCutShortWhileSendingIsAReadFailure) {
    ScriptedFile file("abcdef");
    file.HoldAt(2);
    SendWith("x", Opening(file));
    ASSERT_TRUE(file.WaitUntilHeld());
    file.Truncate(2);
    file.Release();
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text, "ReadFile Failed");
    EXPECT_FALSE(ui_.messages[0].detail.empty());
}

TEST_F(SendCommandTest, SenderWaitsUntilTheReadFailureIsDismissed) {
    ScriptedFile file("abcdef");
    file.FailReadAt(1);
    SendWith("x", Opening(file));
    ASSERT_TRUE(ui_.WaitForPost());
    // The message is queued but not yet shown: the file stays open, the send stays on.
    EXPECT_FALSE(file.Closed());
    EXPECT_EQ(state().sending.load(), 1);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_TRUE(file.Closed());
}

TEST_F(SendCommandTest, CloseFailureIsShownAndTheSendEnds) {
    ScriptedFile file("ab");
    file.FailClose(ENOSPC);
    SendWith("x", Opening(file));
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].owner, MessageOwner::MainWindow);
    EXPECT_EQ(ui_.messages[0].text, "SendFileClose Failed");
    EXPECT_EQ(ui_.messages[0].caption, "Error");
    EXPECT_EQ(ui_.messages[0].detail, std::generic_category().message(ENOSPC));
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));
}

TEST_F(SendCommandTest, FileWithoutASizeSendsNothingAndEndsQuietly) {
    state().echo = 1;
    ScriptedFile file("abc");
    file.RefuseSeek();
    SendWith("x", Opening(file));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(file.Taken(), 0u);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));
}

TEST_F(SendCommandTest, NamedPipeNeitherHoldsTheCommandNorSendsAnything) {
    const std::string fifo = PathOf("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    SendWith(fifo);  // returns although no one writes into the pipe
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));
}

TEST_F(SendCommandTest, PathLongerThanTheOldLimitsWorks) {
    fs::path deep = dir_;
    for (int i = 0; i < 6; ++i)
        deep /= std::string(60, char('a' + i));
    fs::create_directories(deep);
    const std::string path = (deep / "file to send.txt").string();
    ASSERT_GT(path.size(), 255u);
    Write(path, "long way");
    state().echo = 1;
    SendWith(path);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(Screen(), "long way");
}

TEST_F(SendCommandTest, EndReachedAfterTheUserStoppedLeavesTheMenuAlone) {
    ScriptedFile file("xyz");
    SendWith("x", Opening(file));
    ASSERT_TRUE(file.WaitUntilClosed());
    ASSERT_TRUE(ui_.WaitForPost());  // the end is on its way to the UI thread
    ToggleSend(state(), ui_);        // the user stops first
    ui_.RunPending();
    EXPECT_EQ(state().sending.load(), 0);
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false}));

    // And a new send starts cleanly afterwards.
    Write(PathOf("again.txt"), "again");
    SendWith(PathOf("again.txt"));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false, true, false}));
}

TEST_F(SendCommandTest, OldRunEndingLateNeverClearsTheNewRun) {
    ScriptedFile first("0123456789");
    first.HoldAt(2);
    ScriptedFile second("abc");
    second.HoldAt(1);
    SendWith("first", Opening(first));
    ASSERT_TRUE(first.WaitUntilHeld());
    ToggleSend(state(), ui_);  // stop
    SendWith("second", Opening(second));
    first.Release();
    ASSERT_TRUE(first.WaitUntilClosed());
    ASSERT_TRUE(second.WaitUntilHeld());
    ui_.RunPending();
    // The first run is over; the second is still going and keeps its flag and mark.
    EXPECT_EQ(state().sending.load(), 1);
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false, true}));
    second.Release();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), (std::vector<bool>{true, false, true, false}));
}

TEST_F(SendCommandTest, ShutdownStopsASendAndLeavesTheMenuAlone) {
    ScriptedFile file("0123456789");
    file.HoldAt(4);
    SendWith("x", Opening(file));
    ASSERT_TRUE(file.WaitUntilHeld());
    // The byte in hand arrives only once shutdown has begun and waits for the sender.
    std::thread release([&] {
        while (state().sending.load() != 0)
            std::this_thread::yield();
        file.Release();
    });
    ShutdownTransfers(state(), ui_);
    release.join();
    EXPECT_TRUE(file.Closed());
    EXPECT_EQ(file.Taken(), 5u);
    EXPECT_EQ(state().sending.load(), 0);
    ui_.RunPending();
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), std::vector<bool>{true});
}

TEST_F(SendCommandTest, ShutdownWhileAReadFailureWaitsToBeShown) {
    ScriptedFile file("abc");
    file.FailReadAt(0);
    SendWith("x", Opening(file));
    ASSERT_TRUE(ui_.WaitForPost());   // the sender now waits for the UI thread
    ShutdownTransfers(state(), ui_);  // returns: the wait is given up
    EXPECT_TRUE(file.Closed());
    ui_.RunPending();  // the late message finds the window gone and shows nothing
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(ui_.PendingCount(), 0u);
}

TEST_F(SendCommandTest, ShutdownWhileTheReadFailureIsOnScreen) {
    ScriptedFile file("abc");
    file.FailReadAt(1);
    file.FailClose(EIO);  // its close message would come next: it must not
    ui_.onMessage = [&] { ShutdownTransfers(state(), ui_); };
    SendWith("x", Opening(file));
    ASSERT_TRUE(ui_.RunUntil([&] { return !ui_.messages.empty(); }));
    EXPECT_TRUE(file.Closed());
    ui_.onMessage = nullptr;
    ui_.RunPending();
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text, "ReadFile Failed");
    EXPECT_EQ(ui_.PendingCount(), 0u);
    EXPECT_EQ(ui_.ChecksOf(kCmdSend), std::vector<bool>{true});
}

TEST_F(SendCommandTest, ShutdownWhileANewRunWaitsForAnOldOneOnScreen) {
    ScriptedFile first("abc");
    first.FailReadAt(0);
    ScriptedFile second("def");
    SendWith("first", Opening(first));
    ASSERT_TRUE(ui_.WaitForPost());  // "ReadFile Failed" queued; the first run waits for it
    ToggleSend(state(), ui_);        // stop
    SendWith("second", Opening(second));
    ShutdownTransfers(state(), ui_);
    EXPECT_TRUE(first.Closed());
    EXPECT_TRUE(second.Closed());
    EXPECT_EQ(second.Taken(), 0u);
    ui_.RunPending();
    EXPECT_TRUE(ui_.messages.empty());
}

}  // namespace
}  // namespace vellor

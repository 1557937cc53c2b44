// Capture to File: the command, its messages and its states.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "app/command_ids.h"
#include "transfer/transfer_fixture.h"

namespace vellor {
namespace {

namespace fs = std::filesystem;

using testing::TransferTest;

class CaptureCommandTest : public TransferTest {
  protected:
    void Toggle(std::optional<std::string> answer) {
        ui_.Answer(std::move(answer));
        ToggleCapture(state(), ui_);
    }
    void Append(const std::string& bytes) {
        for (char c : bytes)
            state().captureFile.Append(uint8_t(c));
    }
};

TEST_F(CaptureCommandTest, ChooserAsksForAFileToSaveWithAnEmptyName) {
    Toggle(std::nullopt);
    Toggle(std::nullopt);
    ASSERT_EQ(ui_.requests.size(), 2u);
    for (const FileRequest& r : ui_.requests) {
        EXPECT_EQ(r.kind, FileRequest::Kind::Save);
        EXPECT_EQ(r.title, "Save Data to File");
        EXPECT_EQ(r.filters,
                  (std::vector<std::string>{"Log (*.log)", "Text (*.txt)", "All (*.*)"}));
        EXPECT_EQ(r.startDir, "");
    }
}

TEST_F(CaptureCommandTest, CancelChangesNothing) {
    Toggle(std::nullopt);
    EXPECT_EQ(state().capturing, 0);
    EXPECT_FALSE(state().captureFile.IsOpen());
    EXPECT_TRUE(ui_.checks.empty());
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(CaptureCommandTest, StartAndStopFollowTheMark) {
    const std::string path = PathOf("session");  // no extension is added
    Toggle(path);
    EXPECT_EQ(state().capturing, 1);
    EXPECT_TRUE(state().captureFile.IsOpen());
    Append("one");
    ToggleCapture(state(), ui_);
    EXPECT_EQ(state().capturing, 0);
    EXPECT_FALSE(state().captureFile.IsOpen());
    EXPECT_EQ(ui_.ChecksOf(kCmdCapture), (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(Contents(path), "one");
}

TEST_F(CaptureCommandTest, TwoCapturesIntoOneFileLieBackToBackAfterItsContent) {
    const std::string path = PathOf("log.log");
    Write(path, "old\n");
    Toggle(path);
    Append("first");
    ToggleCapture(state(), ui_);
    Toggle(path);
    Append("second");
    ToggleCapture(state(), ui_);
    EXPECT_EQ(Contents(path), "old\nfirstsecond");
    EXPECT_EQ(ui_.ChecksOf(kCmdCapture), (std::vector<bool>{true, false, true, false}));
}

struct OpenFailureCase {
    const char* name;
    std::string (*path)(const std::string& dir);
};

class CaptureOpenFailureTest : public CaptureCommandTest,
                               public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(CaptureOpenFailureTest, ShowsCreateLogFileFailedAndStaysIdle) {
    Toggle(GetParam().path(dir_.string()));
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].owner, MessageOwner::MainWindow);
    EXPECT_EQ(ui_.messages[0].text, "CreateLogFile Failed");
    EXPECT_EQ(ui_.messages[0].caption, "Error");
    EXPECT_FALSE(ui_.messages[0].detail.empty());
    EXPECT_EQ(state().capturing, 0);
    EXPECT_FALSE(state().captureFile.IsOpen());
    EXPECT_TRUE(ui_.checks.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CaptureOpenFailureTest,
    ::testing::Values(
        OpenFailureCase{"MissingFolder", [](const std::string& d) { return d + "/none/x.log"; }},
        OpenFailureCase{"AFolder", [](const std::string& d) { return d; }},
        OpenFailureCase{"UnderAFile",
                        [](const std::string& d) {
                            TransferTest::Write(d + "/plain", "x");
                            return d + "/plain/x.log";
                        }},
        // No one may create files in /sys, not even the superuser.
        OpenFailureCase{"UnwritableFolder",
                        [](const std::string&) { return std::string("/sys/vellor-capture.log"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureCommandTest, ReadOnlyFolderForAnOrdinaryUser) {
    if (geteuid() == 0) GTEST_SKIP() << "the superuser writes into read-only folders";
    const std::string folder = PathOf("locked");
    ASSERT_EQ(mkdir(folder.c_str(), 0500), 0);
    Toggle(folder + "/x.log");
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text, "CreateLogFile Failed");
    EXPECT_EQ(ui_.messages[0].detail, std::generic_category().message(EACCES));
}

TEST_F(CaptureCommandTest, ChoosingAgainWorksOnceTheCauseIsGone) {
    const std::string path = PathOf("later/x.log");
    Toggle(path);
    ASSERT_EQ(ui_.messages.size(), 1u);
    fs::create_directory(PathOf("later"));
    Toggle(path);
    EXPECT_EQ(state().capturing, 1);
    EXPECT_EQ(ui_.ChecksOf(kCmdCapture), std::vector<bool>{true});
}

TEST_F(CaptureCommandTest, CloseThatCannotStoreTheBytesShowsLogFileCloseFail) {
    Toggle("/dev/full");
    ASSERT_EQ(state().capturing, 1);
    Append("lost");
    ToggleCapture(state(), ui_);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].owner, MessageOwner::MainWindow);
    EXPECT_EQ(ui_.messages[0].text, "LogFileClose Fail");
    EXPECT_EQ(ui_.messages[0].caption, "Error");
    EXPECT_TRUE(ui_.messages[0].detail.starts_with(std::generic_category().message(ENOSPC)));
    // The capture ends all the same.
    EXPECT_EQ(state().capturing, 0);
    EXPECT_FALSE(state().captureFile.IsOpen());
    EXPECT_EQ(ui_.ChecksOf(kCmdCapture), (std::vector<bool>{true, false}));
}

// A write that fails (here on the receive thread's flush) stops the capture at once; the UI
// unchecks the item and says why.
TEST_F(CaptureCommandTest, FailedWriteStopsTheCaptureAndTellsWhy) {
    Toggle("/dev/full");
    Append("lost");
    state().captureFile.Flush();
    EXPECT_FALSE(state().captureFile.IsOpen());
    ui_.RunPending();
    EXPECT_EQ(state().capturing, 0);
    EXPECT_EQ(ui_.ChecksOf(kCmdCapture), (std::vector<bool>{true, false}));
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text, "WriteLogFile Failed");
    EXPECT_EQ(ui_.messages[0].caption, "Error");
    EXPECT_TRUE(ui_.messages[0].detail.starts_with(std::generic_category().message(ENOSPC)));
    // A new capture starts cleanly afterwards.
    Toggle(PathOf("next.log"));
    EXPECT_EQ(state().capturing, 1);
}

// Stopped by the user before the failure reached the UI: one message, from the close.
TEST_F(CaptureCommandTest, FailureSeenByTheCloseFirstIsToldOnce) {
    Toggle("/dev/full");
    Append("lost");
    state().captureFile.Flush();
    ToggleCapture(state(), ui_);
    ui_.RunPending();
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text, "LogFileClose Fail");
    EXPECT_EQ(ui_.ChecksOf(kCmdCapture), (std::vector<bool>{true, false}));
}

TEST_F(CaptureCommandTest, ShutdownClosesTheCaptureAndLeavesTheMenuAlone) {
    const std::string path = PathOf("end.log");
    Toggle(path);
    Append("kept");
    ShutdownTransfers(state(), ui_);
    EXPECT_FALSE(state().captureFile.IsOpen());
    EXPECT_EQ(Contents(path), "kept");
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(ui_.ChecksOf(kCmdCapture), std::vector<bool>{true});
}

TEST_F(CaptureCommandTest, ShutdownCloseFailureShowsCloseLogFileFailed) {
    Toggle("/dev/full");
    Append("lost");
    ShutdownTransfers(state(), ui_);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].owner, MessageOwner::MainWindow);
    EXPECT_EQ(ui_.messages[0].text, "CloseLogFile Failed");
    EXPECT_EQ(ui_.messages[0].caption, "Error");
    EXPECT_TRUE(ui_.messages[0].detail.starts_with(std::generic_category().message(ENOSPC)));
    EXPECT_FALSE(state().captureFile.IsOpen());
}

TEST_F(CaptureCommandTest, ShutdownWithoutACaptureShowsNothing) {
    ShutdownTransfers(state(), ui_);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_TRUE(ui_.checks.empty());
}

TEST_F(CaptureCommandTest, PathLongerThanTheOldLimitsWorks) {
    fs::path deep = dir_;
    for (int i = 0; i < 6; ++i)
        deep /= std::string(60, char('k' + i));
    fs::create_directories(deep);
    const std::string path = (deep / "capture without extension").string();
    ASSERT_GT(path.size(), 255u);
    Toggle(path);
    Append("far");
    ToggleCapture(state(), ui_);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(Contents(path), "far");
}

}  // namespace
}  // namespace vellor

// Capture to File: the stream the threads append to, and the command around it.
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "app/command_ids.h"
#include "support/deadline.h"
#include "support/fake_host.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"
#include "transfer/capture_command.h"
#include "transfer/capture_file.h"
#include "transfer/transfer_shutdown.h"

namespace vellor::testing {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

// Appends in order after what the file holds, each capture behind the last; nothing after a
// close; a flush makes the file current; a second open is refused and keeps the first file.
TEST(CaptureFile, AppendsInOrderBehindWhatTheFileHolds) {
    TempFolder folder;
    const std::string path = folder.Path("log");  // no extension is added
    WriteFile(path, "before|");
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(path));
    EXPECT_FALSE(capture.Open(folder.Path("second")));
    EXPECT_FALSE(std::filesystem::exists(folder.Path("second")));
    capture.Append(uint8_t{'A'});
    capture.Append(Bytes(std::string("B\r\n\xFF\0", 5)));
    capture.Flush();
    EXPECT_EQ(ReadFile(path), std::string("before|AB\r\n\xFF\0", 13));
    ASSERT_TRUE(capture.Close());
    capture.Append(Bytes("lost"));
    EXPECT_TRUE(capture.Close());  // twice is harmless
    {
        CaptureFile again;
        ASSERT_TRUE(again.Open(path));
        again.Append(Bytes("|kept"));
    }  // closed with what it holds
    EXPECT_EQ(ReadFile(path), std::string("before|AB\r\n\xFF\0|kept", 18));
    ASSERT_TRUE(capture.Open(folder.Path("empty")));
    ASSERT_TRUE(capture.Close());
    EXPECT_EQ(std::filesystem::file_size(folder.Path("empty")), 0u);
}

// Opening says why it failed and never waits: a pipe without a reader fails at once; a terminal,
// which cannot seek, is captured into.
TEST(CaptureFile, OpensWithoutWaitingOrSaysWhy) {
    TempFolder folder;
    ASSERT_EQ(mkfifo(folder.Path("fifo").c_str(), 0600), 0);
    const std::pair<std::string, int> failures[] = {{folder.Path("missing/x"), ENOENT},
                                                    {folder.path().string(), EISDIR},
                                                    {"", ENOENT},
                                                    {folder.Path("fifo"), ENXIO}};
    for (const auto& [path, error] : failures) {
        CaptureFile capture;
        const FileStatus status = capture.Open(path);
        EXPECT_FALSE(status) << path;
        EXPECT_EQ(status.error, std::strerror(error)) << path;
        EXPECT_FALSE(capture.IsOpen());
    }
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(name));
    capture.Append(Bytes("ok"));
    EXPECT_TRUE(capture.Close());
    char got[2] = {};
    EXPECT_EQ(read(master, got, 2), 2);
    EXPECT_EQ(std::string(got, 2), "ok");
    close(slave);
    close(master);
}

// The first failed write ends the capture: the file holds everything up to the failure and
// nothing written afterwards (once space is back) may land behind a gap.
TEST(CaptureFile, FirstFailedWriteStopsItAndTheFileStaysAWholePrefix) {
    TempFolder folder;
    const std::string path = folder.Path("limited");
    std::vector<CaptureFailure> failures;
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(path, [&](const CaptureFailure& f) { failures.push_back(f); }));
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = 6000;  // a disk that fills up at 6000 bytes
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    capture.Append(std::vector<uint8_t>(4000, 'a'));
    capture.Flush();
    capture.Append(std::vector<uint8_t>(4000, 'b'));
    capture.Flush();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
    capture.Append(std::vector<uint8_t>(100, 'c'));
    capture.Flush();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].error, EFBIG);
    EXPECT_EQ(failures[0].run, capture.Run());
    EXPECT_NE(DescribeCaptureFailure(failures[0]).find("holds 6000 bytes"), std::string::npos);
    EXPECT_FALSE(capture.IsOpen());
    EXPECT_FALSE(capture.Close());  // the close still tells why the capture ended
    EXPECT_EQ(ReadFile(path), std::string(4000, 'a') + std::string(2000, 'b'));
}

// A pipe whose reader stops reading must not hold the writer; one whose reader went away is a
// failure like any other, never a SIGPIPE.
TEST(CaptureFile, PipesThatStallOrCloseEndTheCaptureInsteadOfTheProgram) {
    for (const bool readerGone : {false, true}) {
        TempFolder folder;
        const std::string fifo = folder.Path("pipe");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        std::vector<CaptureFailure> failures;
        CaptureFile capture;
        ASSERT_TRUE(capture.Open(fifo, [&](const CaptureFailure& f) { failures.push_back(f); }));
        if (readerGone) close(reader);
        std::atomic<bool> finished{false};
        const bool returned = FinishesWithin(
            std::chrono::seconds(10),
            [&] {
                for (int i = 0; i < 64 && capture.IsOpen(); ++i) {
                    capture.Append(std::vector<uint8_t>(16 * 1024, 'x'));
                    capture.Flush();
                }
                finished = true;
            },
            [&] {
                char sink[65536];
                while (!finished)
                    if (read(reader, sink, sizeof sink) <= 0) usleep(1000);
            });
        if (!readerGone) close(reader);
        ASSERT_TRUE(returned) << "a write into a stalled pipe blocked";
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].error, readerGone ? EPIPE : EAGAIN);
        EXPECT_FALSE(failures[0].regularFile);
    }
}

// Two writers and a thread that keeps closing and reopening: every chunk lands whole or not at
// all, and nothing touches a closed stream (the sanitizers check the latter).
TEST(CaptureFile, AppendsAndClosesOnThreadsKeepChunksWhole) {
    TempFolder folder;
    const std::string path = folder.Path("threads");
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(path));
    auto writer = [&](char letter) {
        const std::vector<uint8_t> chunk(100, uint8_t(letter));
        for (int i = 0; i < 2000; ++i)
            capture.Append(chunk);
    };
    std::thread a(writer, 'a'), b(writer, 'b'), closer([&] {
        for (int i = 0; i < 200; ++i) {
            capture.Close();
            capture.Open(path);
        }
    });
    a.join();
    b.join();
    closer.join();
    ASSERT_TRUE(capture.Close());
    const std::string content = ReadFile(path);
    ASSERT_EQ(content.size() % 100, 0u);
    for (std::size_t at = 0; at < content.size(); at += 100)
        ASSERT_TRUE(content.substr(at, 100) == std::string(100, content[at])) << at;
}

class CaptureCommand : public ::testing::Test {
  protected:
    void Toggle(std::optional<std::string> answer) {
        host.answers.push_back(std::move(answer));
        ToggleCapture(*state, host);
    }
    void Append(const std::string& bytes) { state->captureFile.Append(Bytes(bytes)); }
    std::vector<bool> Marks() { return host.ChecksOf(kCmdCapture); }

    TempFolder folder;
    std::unique_ptr<AppState> state = MakeScreen(10, 40);
    FakeHost host;
};

// The chooser asks for a file to save into, empty name, the usual folder, three filters;
// cancelling changes nothing; the mark follows the capture.
TEST_F(CaptureCommand, StartsAndStopsWithTheMark) {
    Toggle(std::nullopt);
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].kind, FileRequest::Kind::Save);
    EXPECT_EQ(host.requests[0].title, "Save Data to File");
    EXPECT_EQ(host.requests[0].filters,
              (std::vector<std::string>{"Log (*.log)", "Text (*.txt)", "All (*.*)"}));
    EXPECT_EQ(host.requests[0].startDir, "");
    EXPECT_EQ(state->capturing, 0);
    EXPECT_TRUE(Marks().empty());

    std::string deep = folder.path().string();  // longer than any old path limit
    for (int i = 0; i < 5; ++i)
        deep += "/" + std::string(60, char('k' + i));
    std::filesystem::create_directories(deep);
    for (int run = 0; run < 2; ++run) {
        Toggle(deep + "/capture");
        EXPECT_EQ(state->capturing, 1);
        Append(run ? "second" : "first");
        ToggleCapture(*state, host);
        EXPECT_EQ(state->capturing, 0);
    }
    EXPECT_EQ(ReadFile(deep + "/capture"), "firstsecond");
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true, false}));
    EXPECT_TRUE(host.messages.empty());
}

// A file that cannot be opened says so and leaves the capture off; choosing again works once the
// cause is gone.
TEST_F(CaptureCommand, OpenFailuresSayWhyAndChangeNothing) {
    WriteFile(folder.Path("plain"), "x");
    for (const std::string& path : {folder.Path("none/x.log"), folder.path().string(),
                                    folder.Path("plain/x.log"), std::string("/sys/vellor.log")}) {
        Toggle(path);
        ASSERT_EQ(host.messages.size(), 1u) << path;
        EXPECT_EQ(host.messages[0].owner, MessageOwner::MainWindow);
        EXPECT_EQ(host.messages[0].text, "CreateLogFile Failed");
        EXPECT_EQ(host.messages[0].caption, "Error");
        EXPECT_FALSE(host.messages[0].detail.empty());
        EXPECT_EQ(state->capturing, 0);
        host.messages.clear();
    }
    EXPECT_TRUE(Marks().empty());
    std::filesystem::create_directory(folder.Path("none"));
    Toggle(folder.Path("none/x.log"));
    EXPECT_EQ(state->capturing, 1);
}

// Bytes that cannot be stored are never lost without a word: at the stop ("LogFileClose Fail"),
// at once when a write fails ("WriteLogFile Failed", the capture stopped, told once), and at
// shutdown ("CloseLogFile Failed", the menu left alone).
TEST_F(CaptureCommand, FailuresAreToldOnceAndEndTheCapture) {
    Toggle("/dev/full");
    Append("lost");
    ToggleCapture(*state, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "LogFileClose Fail");
    EXPECT_TRUE(host.messages[0].detail.starts_with("No space left on device"));
    EXPECT_EQ(state->capturing, 0);

    Toggle("/dev/full");
    Append("lost");
    state->captureFile.Flush();  // as the receive thread does after a burst
    EXPECT_FALSE(state->captureFile.IsOpen());
    host.RunPending();
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, "WriteLogFile Failed");
    EXPECT_EQ(host.messages[1].caption, "Error");
    EXPECT_EQ(state->capturing, 0);

    Toggle("/dev/full");
    Append("lost");
    state->captureFile.Flush();
    ToggleCapture(*state, host);  // the user stops it before the failure reaches the UI
    host.RunPending();
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2].text, "LogFileClose Fail");
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true, false, true, false}));

    Toggle("/dev/full");
    Append("lost");
    ShutdownTransfers(*state, host);
    ASSERT_EQ(host.messages.size(), 4u);
    EXPECT_EQ(host.messages[3].text, "CloseLogFile Failed");
    EXPECT_FALSE(state->captureFile.IsOpen());
    EXPECT_EQ(Marks().back(), true);
    ShutdownTransfers(*state, host);  // nothing open: nothing to tell
    EXPECT_EQ(host.messages.size(), 4u);
}

}  // namespace
}  // namespace vellor::testing

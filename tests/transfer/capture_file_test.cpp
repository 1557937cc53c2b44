#include "transfer/capture_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/deadline.h"

namespace vellor {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

class CaptureFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "capture-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    fs::path dir_;
};

TEST_F(CaptureFileTest, PipeWithNoReaderFailsAtOnceInsteadOfHanging) {
    const std::string fifo = PathOf("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CaptureFile capture;
    const FileStatus opened = capture.Open(fifo);
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.error, std::strerror(ENXIO));
}

TEST_F(CaptureFileTest, TerminalThatCannotSeekIsCapturedInto) {
    int master = -1;
    int slave = -1;
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

TEST_F(CaptureFileTest, NewFileReceivesBytesInOrder) {
    CaptureFile capture;
    const std::string path = PathOf("new.log");
    ASSERT_TRUE(capture.Open(path));
    EXPECT_TRUE(capture.IsOpen());
    capture.Append(uint8_t{0x41});
    capture.Append(Bytes("BC\r\n"));
    capture.Append(uint8_t{0xFF});
    capture.Append(uint8_t{0x00});
    EXPECT_TRUE(capture.Close());
    EXPECT_FALSE(capture.IsOpen());
    EXPECT_EQ(Contents(path), std::string("ABC\r\n\xFF", 6) + std::string(1, '\0'));
}

TEST_F(CaptureFileTest, ExistingContentIsKeptAndAppendedTo) {
    const std::string path = PathOf("old.log");
    Write(path, "before|");
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(path));
    capture.Append(Bytes("first"));
    ASSERT_TRUE(capture.Close());
    ASSERT_TRUE(capture.Open(path));
    capture.Append(Bytes("|second"));
    ASSERT_TRUE(capture.Close());
    EXPECT_EQ(Contents(path), "before|first|second");
}

TEST_F(CaptureFileTest, OpenWithNothingWrittenCreatesEmptyFile) {
    const std::string path = PathOf("empty.log");
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(path));
    ASSERT_TRUE(capture.Close());
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(CaptureFileTest, FailedOpensReportTheSystemReason) {
    struct Case {
        std::string path;
        int err;
    };
    const std::vector<Case> cases = {
        {PathOf("missing/dir/x.log"), ENOENT},
        {dir_.string(), EISDIR},
        {"", ENOENT},
    };
    for (const Case& c : cases) {
        CaptureFile capture;
        const FileStatus status = capture.Open(c.path);
        EXPECT_FALSE(status) << c.path;
        EXPECT_EQ(status.error, std::strerror(c.err)) << c.path;
        EXPECT_FALSE(capture.IsOpen());
        capture.Append(Bytes("lost"));  // nothing open: nothing written, no crash
        EXPECT_TRUE(capture.Close());
    }
}

TEST_F(CaptureFileTest, SecondOpenFailsAndKeepsTheFirstFile) {
    const std::string first = PathOf("first.log");
    const std::string second = PathOf("second.log");
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(first));
    const FileStatus status = capture.Open(second);
    EXPECT_FALSE(status);
    EXPECT_FALSE(status.error.empty());
    EXPECT_FALSE(fs::exists(second));
    capture.Append(Bytes("kept"));
    ASSERT_TRUE(capture.Close());
    EXPECT_EQ(Contents(first), "kept");
}

TEST_F(CaptureFileTest, AppendWhileClosedWritesNothing) {
    const std::string path = PathOf("closed.log");
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(path));
    capture.Append(Bytes("in"));
    ASSERT_TRUE(capture.Close());
    capture.Append(Bytes("out"));
    capture.Append(uint8_t{'x'});
    capture.Flush();
    EXPECT_TRUE(capture.Close());  // closing twice is harmless
    EXPECT_EQ(Contents(path), "in");
}

TEST_F(CaptureFileTest, FlushMakesBytesVisibleBeforeClose) {
    const std::string path = PathOf("flush.log");
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(path));
    capture.Append(Bytes("now"));
    capture.Flush();
    EXPECT_EQ(Contents(path), "now");
    capture.Append(Bytes(" later"));
    ASSERT_TRUE(capture.Close());
    EXPECT_EQ(Contents(path), "now later");
}

TEST_F(CaptureFileTest, DestructorClosesAndKeepsBytes) {
    const std::string path = PathOf("dtor.log");
    {
        CaptureFile capture;
        ASSERT_TRUE(capture.Open(path));
        capture.Append(Bytes("saved"));
    }
    EXPECT_EQ(Contents(path), "saved");
}

// A device that refuses every write (no space left): the loss is reported, never silent.
TEST_F(CaptureFileTest, WriteFailureIsReportedByClose) {
    CaptureFile capture;
    ASSERT_TRUE(capture.Open("/dev/full"));
    capture.Append(Bytes("doomed"));
    const FileStatus status = capture.Close();
    EXPECT_FALSE(status);
    EXPECT_TRUE(status.error.starts_with(std::strerror(ENOSPC))) << status.error;
    EXPECT_FALSE(capture.IsOpen());
}

TEST_F(CaptureFileTest, WriteFailureIsForgottenByTheNextCapture) {
    CaptureFile capture;
    ASSERT_TRUE(capture.Open("/dev/full"));
    capture.Append(Bytes("doomed"));
    capture.Flush();
    EXPECT_FALSE(capture.Close());
    const std::string path = PathOf("after.log");
    ASSERT_TRUE(capture.Open(path));
    capture.Append(Bytes("fine"));
    EXPECT_TRUE(capture.Close());
    EXPECT_EQ(Contents(path), "fine");
}

// The first failed write ends the capture: what the file holds is everything up to the failure,
// and nothing written afterwards (once space is back) may land behind a gap.
TEST_F(CaptureFileTest, FirstFailedWriteStopsTheCaptureAndTheFileStaysAWholePrefix) {
    const std::string path = PathOf("limited.log");
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
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);  // space is back
    capture.Append(std::vector<uint8_t>(100, 'c'));
    capture.Flush();

    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].error, EFBIG);
    EXPECT_EQ(failures[0].bytesHeld, 6000u);
    EXPECT_EQ(failures[0].run, capture.Run());
    EXPECT_FALSE(capture.IsOpen());
    EXPECT_FALSE(capture.Close());  // the close still reports why the capture ended
    EXPECT_EQ(Contents(path), std::string(4000, 'a') + std::string(2000, 'b'));
    EXPECT_NE(DescribeCaptureFailure(failures[0]).find("holds 6000 bytes"), std::string::npos);
}

// A pipe whose reader stops reading must not hold the writer: the capture fails instead.
TEST_F(CaptureFileTest, StalledReaderEndsTheCaptureInsteadOfBlocking) {
    const std::string fifo = PathOf("stalled");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::vector<CaptureFailure> failures;
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(fifo, [&](const CaptureFailure& f) { failures.push_back(f); }));
    std::atomic<bool> finished{false};
    const bool returned = vellor::testing::FinishesWithin(
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
            while (!finished) {
                if (read(reader, sink, sizeof sink) <= 0) usleep(1000);
            }
        });
    close(reader);
    ASSERT_TRUE(returned) << "a write into a stalled pipe blocked";
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].error, EAGAIN);
    EXPECT_FALSE(failures[0].regularFile);
}

// A reader that went away is a write failure like any other, never a SIGPIPE.
TEST_F(CaptureFileTest, ReaderThatWentAwayIsAFailureNotASignal) {
    const std::string fifo = PathOf("gone");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::vector<CaptureFailure> failures;
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(fifo, [&](const CaptureFailure& f) { failures.push_back(f); }));
    close(reader);
    capture.Append(Bytes("nobody listens"));
    capture.Flush();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].error, EPIPE);
}

// Two writers and a thread that keeps closing and reopening: every chunk lands whole or not at
// all, and nothing touches a closed stream (the sanitizers check the latter).
TEST_F(CaptureFileTest, ConcurrentAppendsAndClosesKeepChunksWhole) {
    const std::string path = PathOf("threads.log");
    CaptureFile capture;
    ASSERT_TRUE(capture.Open(path));
    const std::string a(100, 'a');
    const std::string b(100, 'b');
    auto writer = [&capture](const std::string& chunk) {
        const std::vector<uint8_t> bytes = Bytes(chunk);
        for (int i = 0; i < 2000; ++i)
            capture.Append(bytes);
    };
    std::thread ta(writer, a);
    std::thread tb(writer, b);
    std::thread closer([&capture, &path] {
        for (int i = 0; i < 200; ++i) {
            capture.Close();
            capture.Open(path);
        }
    });
    ta.join();
    tb.join();
    closer.join();
    ASSERT_TRUE(capture.Close());

    const std::string content = Contents(path);
    ASSERT_EQ(content.size() % 100, 0u);
    for (std::size_t at = 0; at < content.size(); at += 100) {
        const std::string chunk = content.substr(at, 100);
        ASSERT_TRUE(chunk == a || chunk == b) << "torn chunk at " << at;
    }
}

}  // namespace
}  // namespace vellor

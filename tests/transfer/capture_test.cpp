#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "support/deadline.h"
#include "support/temp_folder.h"
#include "transfer/capture_file.h"

namespace vellor::testing {
namespace {

// A failed write (full disk, stalled or gone reader) ends a capture once, never blocking.
TEST(CaptureFile, FirstFailedWriteEndsItOnceAndNeverHoldsTheWriter) {
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    for (const int expected : {EFBIG, EAGAIN, EPIPE}) {
        TempFolder folder;
        const std::string path = folder.Path("target");
        const bool file = expected == EFBIG;
        ASSERT_TRUE(file || mkfifo(path.c_str(), 0600) == 0);
        int reader = file ? -1 : open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        std::vector<CaptureFailure> failures;
        CaptureFile capture;
        ASSERT_TRUE(capture.Open(path, [&](auto& f) { failures.push_back(f); }));
        if (expected == EPIPE) close(std::exchange(reader, -1));
        const rlimit full{6000, unlimited.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, file ? &full : &unlimited), 0);
        const auto fill = [&] {
            for (int i = 0; i < 64; ++i) {
                if (i == 2) setrlimit(RLIMIT_FSIZE, &unlimited);  // room again: still no gap
                capture.Append(std::vector<uint8_t>(4000, uint8_t('a' + i)));
                capture.Flush();
            }
        };
        EXPECT_TRUE(FinishesWithin(kPatience, fill, [&] { close(std::exchange(reader, -1)); }))
            << "a write into a stalled pipe blocked";
        if (reader >= 0) close(reader);
        ASSERT_EQ(failures.size(), 1u) << expected;
        EXPECT_EQ(std::tuple(failures[0].error, failures[0].regularFile, capture.IsOpen()),
                  std::tuple(expected, file, false));
        if (!file) continue;
        EXPECT_EQ(ReadFile(path), std::string(4000, 'a') + std::string(2000, 'b'));
        EXPECT_NE(DescribeCaptureFailure(failures[0]).find("holds 6000 bytes"), std::string::npos);
    }
}

// Appends land in order, whole or not at all, while other threads append, close and reopen.
TEST(CaptureFile, AppendsLandWholeAndInOrderWhileOtherThreadsCloseAndReopen) {
    TempFolder folder;
    const std::string path = folder.Path("log"), before("before|\0\xff|", 10);
    WriteFile(path, "before|");
    {
        CaptureFile capture;
        ASSERT_TRUE(capture.Open(path));
        EXPECT_FALSE(capture.Open(folder.Path("second")));
        capture.Append(std::vector<uint8_t>{0, 0xFF, '|'});
        capture.Flush();
        EXPECT_EQ(ReadFile(path), before);
        std::vector<std::jthread> threads;
        for (const char letter : {'a', 'b'})
            threads.emplace_back([&capture, letter] {
                for (int i = 0; i < 2000; ++i)
                    capture.Append(std::vector<uint8_t>(100, uint8_t(letter)));
            });
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                capture.Close();
                capture.Open(path);
            }
        });
        threads.clear();  // joins them
        capture.Append(uint8_t{'$'});
    }
    const std::string content = ReadFile(path);
    ASSERT_TRUE(content.starts_with(before) && content.ends_with('$'));
    ASSERT_EQ(content.size() % 100, 11u);
    for (std::size_t at = before.size(); at < content.size() - 1; at += 100)
        ASSERT_TRUE(content.substr(at, 100) == std::string(100, content[at])) << at;
}

}  // namespace
}  // namespace vellor::testing

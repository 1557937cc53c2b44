#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "screen/viewport.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

// Two writers draw while the UI thread paints, scrolls, clears and reallocates. Run under
// ThreadSanitizer this proves every path takes the screen lock; everywhere it proves the
// interpreter never leaves the cursor outside the buffer.
TEST(ScreenConcurrency, WritersAndUiThreadNeverCorruptTheScreen) {
    auto s = MakeScreen(40, 80, 0, 20, 60);
    std::atomic<bool> stop{false};
    auto writer = [&](char letter) {
        std::string line(100, letter);
        line += "\r\n\x1b[A\x1b[B";
        while (!stop.load()) {
            Feed(*s, line);
            PutByte(*s, '\b');
        }
    };
    std::thread receive(writer, 'r');
    std::thread send(writer, 's');

    RecordingPlatform platform;
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard lock(s->screenMutex);  // what painting does
            ASSERT_TRUE(s->screenBuffer);
            ASSERT_LT(s->cursorRow, s->numRows);
            ASSERT_LT(s->cursorCol, s->numCols);
            volatile uint16_t sink = s->screenBuffer->At(s->numRows - 1, s->numCols - 1);
            (void)sink;
        }
        TakeDamage(*s);
        HandleScroll(*s, ScrollBar::Vertical, i % 2 ? kLineUp : kPageDown, 0);
        if (i % 50 == 0) ClearScreen(*s);
        if (i % 75 == 0) {
            {
                std::lock_guard lock(s->screenMutex);
                s->numRows = uint16_t(20 + i % 7);
                s->numCols = uint16_t(30 + i % 11);
            }
            ASSERT_EQ(AllocateScreen(*s, platform), 0);
        }
        if (i % 60 == 0) {
            std::lock_guard lock(s->screenMutex);
            s->displayMode = (s->displayMode + 1) % 3;
        }
    }
    stop = true;
    receive.join();
    send.join();
    std::lock_guard lock(s->screenMutex);
    EXPECT_LT(s->cursorRow, s->numRows);
    EXPECT_LT(s->cursorCol, s->numCols);
}

}  // namespace
}  // namespace vellor::testing

// Floods the screen from a worker thread while the terminal view is shown and reports how the UI
// thread keeps up: how late a 10 ms timer fires at worst and how often the view repaints.
//
//   repaint_flood [megabytes] [follow|away]
//
// "follow" (default) keeps the cursor in view, so every scroll of the buffer repaints the whole
// view; "away" scrolls the view back first, so only the damage of single cells arrives.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/no_window_host.h"
#include "screen/qt/terminal_view.h"
#include "screen/screen.h"
#include "screen/viewport.h"

namespace {

// Lines of printable text of varying length, each ended by CR LF.
std::vector<uint8_t> MakeChunk(std::size_t size) {
    std::vector<uint8_t> chunk;
    chunk.reserve(size);
    int line = 0;
    while (chunk.size() < size) {
        const int length = 20 + (line * 37) % 70;
        for (int i = 0; i < length && chunk.size() < size; ++i) {
            chunk.push_back(uint8_t(0x21 + (line + i) % 94));
        }
        if (chunk.size() < size) chunk.push_back('\r');
        if (chunk.size() < size) chunk.push_back('\n');
        ++line;
    }
    return chunk;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::size_t megabytes = argc > 1 ? std::stoul(argv[1]) : 100;
    const bool away = argc > 2 && std::string(argv[2]) == "away";
    constexpr std::size_t kChunk = 4096;
    const std::size_t total = megabytes * 1024 * 1024;

    vellor::AppState state;
    vellor::NoWindowHost platform;
    vellor::TerminalView view(state);
    view.resize(800, 540);
    view.show();
    view.InitMetrics();
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = 500;
        state.numCols = 80;
    }
    if (vellor::AllocateScreen(state, platform) != 0) return 1;
    state.ready = 1;
    view.ApplyScrollBars(vellor::UpdateScrollBars(state));
    if (away) {
        // Fill the buffer so the view can scroll, then look at its top while the cursor is below.
        const std::vector<uint8_t> fill(600, '\n');
        vellor::PutBytes(state, fill);
        vellor::HandleScroll(state, vellor::ScrollBar::Vertical, vellor::kTop, 0);
    }
    view.setFocus();

    const std::vector<uint8_t> chunk = MakeChunk(kChunk);
    std::atomic<bool> done{false};
    QElapsedTimer clock;
    qint64 feedMs = 0;

    QTimer ticker;
    qint64 lastTick = -1;
    qint64 worstGapMs = 0;
    long ticks = 0;
    long lateTicks = 0;
    qint64 worstLockWaitUs = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0) {
            const qint64 gap = now - lastTick;
            worstGapMs = std::max(worstGapMs, gap);
            if (gap > 50) ++lateTicks;
        }
        lastTick = now;
        ++ticks;
        // How long the UI thread waits for the screen lock while the worker draws.
        QElapsedTimer wait;
        wait.start();
        { std::lock_guard lock(state.screenMutex); }
        worstLockWaitUs = std::max(worstLockWaitUs, wait.nsecsElapsed() / 1000);
        if (done.load()) app.quit();
    });

    uint64_t paintsAtStart = 0;
    std::thread worker;
    QTimer::singleShot(200, [&] {
        paintsAtStart = view.PaintCount();
        clock.start();
        ticker.start(10);
        worker = std::thread([&] {
            QElapsedTimer feed;
            feed.start();
            for (std::size_t sent = 0; sent < total; sent += kChunk)
                vellor::PutBytes(state, chunk);
            feedMs = feed.elapsed();
            done.store(true);
        });
    });
    app.exec();
    worker.join();

    const double seconds = double(clock.elapsed()) / 1000.0;
    const uint64_t paints = view.PaintCount() - paintsAtStart;
    std::printf("platform           %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("mode               %s\n", away ? "view scrolled away" : "view follows cursor");
    std::printf("bytes              %zu MB in %zu-byte chunks\n", megabytes, kChunk);
    std::printf("feed time          %.2f s (%.1f MB/s)\n", double(feedMs) / 1000.0,
                feedMs > 0 ? double(megabytes) * 1000.0 / double(feedMs) : 0.0);
    std::printf("repaints           %llu (%.1f per second)\n", (unsigned long long)paints,
                double(paints) / seconds);
    std::printf("10 ms timer        %ld ticks, worst gap %lld ms, %ld gaps over 50 ms\n", ticks,
                (long long)worstGapMs, lateTicks);
    std::printf("screen lock        worst wait %lld us at a timer tick\n",
                (long long)worstLockWaitUs);
    return worstGapMs > 50 ? 2 : 0;
}

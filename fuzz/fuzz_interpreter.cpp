// Feeds arbitrary bytes through the screen interpreter with random sizes, modes and views,
// interleaving clears, reallocations, mode switches and scrolls, and checks the cursor and the
// view never leave the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/app_state.h"
#include "app/platform.h"
#include "screen/screen.h"
#include "screen/viewport.h"

namespace {

class SilentPlatform : public vellor::Platform {
  public:
    void ShowMessage(vellor::MessageOwner, const std::string&, const std::string&,
                     const std::string&) override {}
};

void Check(const vellor::AppState& s) {
    if (!s.screenBuffer) return;
    if (s.cursorRow >= s.numRows || s.cursorCol >= s.numCols) std::abort();
    if (s.escapeState < 0 || s.escapeState > 2) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    vellor::AppState s;
    SilentPlatform platform;
    s.numRows = uint16_t(data[0] % 40);  // 0 rows or columns must be refused cleanly
    s.numCols = uint16_t(data[1] % 90);
    s.displayMode = int8_t(data[2]) % 4;
    s.visibleRows = uint16_t(data[3] % 50);
    s.visibleCols = uint16_t(data[4] % 100);
    s.cellWidth = 7;
    s.cellHeight = 13;
    vellor::AllocateScreen(s, platform);
    std::span<const uint8_t> rest(data + 5, size - 5);
    while (!rest.empty()) {
        // A 0xF5 byte followed by an action byte drives the UI thread's operations.
        std::size_t n = 0;
        while (n < rest.size() && rest[n] != 0xF5)
            ++n;
        vellor::PutBytes(s, rest.first(n));
        Check(s);
        rest = rest.subspan(n);
        if (rest.size() < 2) break;
        const uint8_t action = rest[1];
        rest = rest.subspan(2);
        switch (action % 6) {
            case 0:
                vellor::ClearScreen(s);
                break;
            case 1:
                s.numRows = uint16_t(action % 30);
                s.numCols = uint16_t((action * 7) % 70);
                if (vellor::AllocateScreen(s, platform) != 0) {
                    vellor::FitBufferToView(s);
                    vellor::AllocateScreen(s, platform);
                }
                break;
            case 2:
                s.displayMode = action % 3;
                s.escapeState = 0;
                break;
            case 3:
                vellor::HandleScroll(s, vellor::ScrollBar::Vertical, action % 9, action);
                break;
            case 4:
                vellor::HandleScroll(s, vellor::ScrollBar::Horizontal, action % 9, action);
                break;
            case 5:
                vellor::RecomputeViewMetrics(s, {7, 13},
                                             {uint16_t(action * 5), uint16_t(action * 3)});
                break;
        }
        vellor::TakeDamage(s);
        Check(s);
    }
    return 0;
}

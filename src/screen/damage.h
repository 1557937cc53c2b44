#pragma once

#include <cstddef>
#include <vector>

namespace vellor {

// A rectangle in view client pixels; right and bottom are exclusive. It may lie partly or wholly
// outside the client area (a cursor cell out of view).
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const PixelRect&) const = default;
};

// What the screen asked to have repainted since the view last took it. Worker threads record it
// under the screen lock; the UI thread takes it and turns it into repaints. Every invalidation
// erases the background.
class Damage {
  public:
    // Beyond this many separate rectangles they are merged into their bounding box.
    static constexpr std::size_t kMaxRects = 32;

    void AddRect(const PixelRect& rect);
    void AddWholeView() { whole_ = true; }
    void RequestImmediateRepaint() { repaintNow_ = true; }
    void MarkScrollPositionsChanged() { scrollPositions_ = true; }

    bool Empty() const { return !whole_ && rects_.empty() && !repaintNow_ && !scrollPositions_; }
    bool WholeView() const { return whole_; }
    bool ImmediateRepaint() const { return repaintNow_; }
    bool ScrollPositionsChanged() const { return scrollPositions_; }
    const std::vector<PixelRect>& Rects() const { return rects_; }

    bool operator==(const Damage&) const = default;

  private:
    bool whole_ = false;
    bool repaintNow_ = false;
    bool scrollPositions_ = false;
    std::vector<PixelRect> rects_;
};

}  // namespace vellor

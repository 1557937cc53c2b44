#include "screen/damage.h"

#include <algorithm>

namespace vellor {

void Damage::AddRect(const PixelRect& r) {
    if (!rects_.empty()) {
        PixelRect& last = rects_.back();
        if (r.left >= last.left && r.right <= last.right && r.top >= last.top &&
            r.bottom <= last.bottom) {
            return;
        }
        // A run of cells along one row grows a single rectangle.
        if (r.top == last.top && r.bottom == last.bottom && r.left <= last.right &&
            r.right >= last.left) {
            last.left = std::min(last.left, r.left);
            last.right = std::max(last.right, r.right);
            return;
        }
    }
    if (rects_.size() < kMaxRects) {
        rects_.push_back(r);
        return;
    }
    PixelRect box = r;
    for (const PixelRect& x : rects_) {
        box.left = std::min(box.left, x.left);
        box.top = std::min(box.top, x.top);
        box.right = std::max(box.right, x.right);
        box.bottom = std::max(box.bottom, x.bottom);
    }
    rects_.assign(1, box);
}

}  // namespace vellor

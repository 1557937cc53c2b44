#include "app/main_layout.h"

namespace vellor {

MainLayout LayoutMainWindow(int width, int height, bool controlBar) {
    MainLayout layout;
    if (!controlBar) {
        layout.view = {0, 0, width, height};
        return layout;
    }
    layout.view = {0, 0, width, height - kBarHeight};
    layout.boxesPlaced = true;

    const int y = height - kBoxTopFromBottom;
    const bool wide = width > kNarrowBarWidth;
    // Narrow: only the first four share the width (overlapping below 180 pixels), and CD and RI
    // go just beyond the right edge.
    const int shared = wide ? kModemBoxCount : 4;
    int total = 0;
    for (int i = 0; i < shared; ++i)
        total += kBoxWidths[IndexOf(MainLayout::kPlacingOrder[i])];
    const int gap = (width - total) / (wide ? 6 : 4);  // truncates toward zero, also when negative
    int x = gap / 2;
    for (int i = 0; i < shared; ++i) {
        const int box = IndexOf(MainLayout::kPlacingOrder[i]);
        layout.boxes[box] = {x, y, kBoxWidths[box], kBoxHeight};
        x += kBoxWidths[box] + gap;
    }
    if (!wide) {
        for (ModemBox box : {ModemBox::Cd, ModemBox::Ri}) {
            layout.boxes[IndexOf(box)] = {width, y, kBoxWidths[IndexOf(box)], kBoxHeight};
        }
    }
    return layout;
}

}  // namespace vellor

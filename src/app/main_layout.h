#pragma once

#include <array>

#include "serial/modem_box.h"

namespace vellor {

// A child window's place in the main window's client area, in pixels.
struct ChildRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ChildRect&) const = default;
};

// The control bar's geometry.
inline constexpr int kBarHeight = 17;
inline constexpr int kBoxHeight = 15;
inline constexpr int kBoxTopFromBottom = 16;
// Client widths up to this use the narrow arrangement.
inline constexpr int kNarrowBarWidth = 255;
// Height the view is created with below the client height, before the first layout.
inline constexpr int kProvisionalViewShortfall = 52;

// Width of each box in the layout, by ModemBox.
inline constexpr std::array<int, kModemBoxCount> kBoxWidths = {45, 45, 45, 45, 40, 35};

// Where LayoutMainWindow puts the children. The boxes are placed only while the bar is shown;
// otherwise they stay where they were, under the view.
struct MainLayout {
    ChildRect view;
    bool boxesPlaced = false;
    std::array<ChildRect, kModemBoxCount> boxes{};  // by ModemBox
    // The order the windows are placed in; each placed window goes on top of the others.
    static constexpr std::array<ModemBox, kModemBoxCount> kPlacingOrder = {
        ModemBox::Dtr, ModemBox::Dsr, ModemBox::Rts, ModemBox::Cts, ModemBox::Cd, ModemBox::Ri};
};

// The layout for a client area of width x height with the bar shown or not.
MainLayout LayoutMainWindow(int width, int height, bool controlBar);

}  // namespace vellor

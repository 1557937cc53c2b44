#pragma once

namespace vellor {

// On X11, gives every window drawn with the screen's default visual the screen's default
// colormap instead of the private one the xcb platform creates. The pixels shown are the same
// (the visual is TrueColor), but tools that dump the root window (xwd -root) read windows with
// a colormap of their own region by region and return menus and dialogs that lie over the main
// window as black. Does nothing on other platforms. Call once, after QApplication exists.
void ShareDefaultColormapOnX11();

}  // namespace vellor

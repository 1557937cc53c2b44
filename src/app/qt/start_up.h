#pragma once

#include <memory>

#include "app/qt/main_window.h"

namespace vellor {

struct AppState;
class SettingsBackend;

// Creates the windows, measures the view, loads the display and bar settings (or their
// defaults), sets the check marks, lays the window out, allocates the screen, shows the window
// with the focus on the view and loads the port settings (or their defaults). When the screen
// cannot be allocated even at the view's size, the window is destroyed: Destroyed() tells.
std::unique_ptr<MainWindow> StartMainWindow(AppState& state, SettingsBackend& settings,
                                            MainWindow::Hooks hooks = {});

}  // namespace vellor

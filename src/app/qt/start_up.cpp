#include "app/qt/start_up.h"

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/extra_commands.h"
#include "screen/qt/terminal_view.h"
#include "screen/screen.h"
#include "screen/viewport.h"
#include "serial/line_defaults.h"
#include "settings/preferences.h"
#include "settings/settings_store.h"

namespace vellor {

std::unique_ptr<MainWindow> StartMainWindow(AppState& state, SettingsBackend& settings,
                                            MainWindow::Hooks hooks) {
    LoadPreferences(state.preferences, settings);  // the window's parts depend on them
    auto window = std::make_unique<MainWindow>(state, settings, std::move(hooks));
    TerminalView* view = window->View();
    view->InitMetrics();

    // A fresh start takes its buffer size from the view's provisional size.
    if (!LoadDisplaySettings(state, settings)) {
        FitBufferToView(state);
        SetDisplayDefaults(state);
    }
    if (!LoadBarSettings(state, settings)) SetBarDefaults(state);
    window->SetMenuCheck(kCmdControlBar, state.controlBar != 0);
    window->SetMenuCheck(kCmdHexInput, state.hexInput != HexEntry::Off);
    ShowPreferenceChecks(state, *window);

    view->ApplyScrollBars(ResetScrollBars());
    window->LayoutMainWindow();

    if (AllocateScreen(state, *window) != 0) {
        FitBufferToView(state);
        if (AllocateScreen(state, *window) != 0) {
            window->DestroyMainWindow();
            return window;
        }
    }
    state.ready = 1;

    window->show();
    view->show();
    view->setFocus(Qt::OtherFocusReason);

    if (!LoadPortSettings(state, settings)) DefaultPortSettings(state);
    return window;
}

}  // namespace vellor

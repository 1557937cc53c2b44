#include "settings/options_model.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "app/app_state.h"
#include "app/host.h"
#include "screen/screen.h"
#include "serial/port_config.h"
#include "settings/settings_store.h"

namespace vellor {

OptionsValues OpenOptionsDialog(const AppState& state) {
    OptionsValues v;
    {
        std::lock_guard lock(state.screenMutex);
        v.rowsText = std::to_string(state.numRows);
        v.columnsText = std::to_string(state.numCols);
        const auto mode = int32_t(state.displayMode);
        v.mode = mode >= 0 && mode <= 2 ? mode : -1;
    }
    v.rxBit7 = state.rxBit7 != 0;
    v.rxCrLf = state.rxCrLf != 0;
    v.echo = state.echo != 0;
    v.txCrLf = state.txCrLf != 0;
    v.txCapture = state.txCapture != 0;
    v.rxCapture = state.rxCapture != 0;
    return v;
}

std::string StepSizeText(std::string_view text, int delta, int max) {
    const int range = max + 1;
    const int current = std::clamp(TextToNumber(text), 0, max);
    return std::to_string(((current + delta) % range + range) % range);
}

OptionsOutcome AcceptOptionsDialog(AppState& state, SettingsBackend& settings, Host& host,
                                   const OptionsValues& v) {
    const int32_t rows = TextToNumber(v.rowsText);
    const int32_t cols = TextToNumber(v.columnsText);
    bool sizeChanged = false;
    {
        std::lock_guard lock(state.screenMutex);
        sizeChanged = rows != int32_t(state.numRows) || cols != int32_t(state.numCols);
        state.numRows = uint16_t(rows);
        state.numCols = uint16_t(cols);
    }
    if (sizeChanged && AllocateScreen(state, host) != 0) {
        FitBufferToView(state);
        if (AllocateScreen(state, host) != 0) {
            host.DestroyMainWindow();
            return OptionsOutcome::ProgramEnded;
        }
    }

    state.rxBit7 = v.rxBit7 ? 1 : 0;
    state.rxCrLf = v.rxCrLf ? 1 : 0;
    state.echo = v.echo ? 1 : 0;
    state.txCrLf = v.txCrLf ? 1 : 0;
    state.txCapture = v.txCapture ? 1 : 0;
    state.rxCapture = v.rxCapture ? 1 : 0;

    if (v.mode >= 0 && v.mode <= 2) {
        // The mode changes and the screen clears under one hold of the lock, so no byte arriving
        // meanwhile is drawn in the new mode over the old content.
        std::lock_guard lock(state.screenMutex);
        const auto mode = DisplayMode(v.mode);
        if (state.displayMode != mode) {
            state.displayMode = mode;
            if (mode == DisplayMode::Text) state.escapeState = EscapeState::Normal;
            ClearScreenLocked(state);
        }
    }

    SaveDisplaySettings(state, settings);
    return OptionsOutcome::Applied;
}

}  // namespace vellor

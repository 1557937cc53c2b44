#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vellor {

struct AppState;
class SettingsBackend;
class Host;

// Limits of the arrow buttons beside the size fields; typed text is not bound by them.
inline constexpr int kMaxRowsStep = 9999;
inline constexpr int kMaxColumnsStep = 999;

// What the Options dialog's controls hold. mode is the checked display-mode button: 0 Text, 1 Hex,
// 2 Hex + Char, -1 none.
struct OptionsValues {
    std::string rowsText;
    std::string columnsText;
    int mode = -1;
    bool rxBit7 = false;
    bool rxCrLf = false;
    bool echo = false;
    bool txCrLf = false;
    bool txCapture = false;
    bool rxCapture = false;
    bool operator==(const OptionsValues&) const = default;
};

OptionsValues OpenOptionsDialog(const AppState& state);

// One arrow step on a size field: the field's number moved by delta within 0..max, wrapping
// round at either end, written as plain decimal.
std::string StepSizeText(std::string_view text, int delta, int max);

enum class OptionsOutcome { Applied, ProgramEnded };

// OK: applies the size (reallocating the screen, with one retry at the view's size and the end of
// the program if that fails too), the data options and the display mode (clearing the screen when
// it changes), then saves the display group.
OptionsOutcome AcceptOptionsDialog(AppState& state, SettingsBackend& settings, Host& host,
                                   const OptionsValues& values);

}  // namespace vellor

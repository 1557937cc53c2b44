#include "input/keyboard.h"

#include <array>
#include <span>

#include "app/app_state.h"
#include "base/control_bytes.h"
#include "screen/screen.h"
#include "serial/port_connection.h"

namespace vellor {

namespace {

uint8_t ArrowLetter(ArrowKey key) {
    switch (key) {
        case ArrowKey::Left:
            return 'D';
        case ArrowKey::Up:
            return 'A';
        case ArrowKey::Right:
            return 'C';
        case ArrowKey::Down:
            return 'B';
    }
    return 0;
}

// Sends bytes to each destination in turn: all port writes, then all echoes, then all captures.
void Deliver(const AppState& state, std::span<const uint8_t> bytes, KeyDestinations& out) {
    if (out.PortOpen()) {
        for (uint8_t b : bytes)
            out.WritePort(b);
    }
    if (state.echo.load() != 0) {
        for (uint8_t b : bytes)
            out.Echo(b);
    }
    if (state.txCapture.load() != 0 && out.CaptureOpen()) {
        for (uint8_t b : bytes)
            out.Capture(b);
        out.CaptureDone();
    }
}

}  // namespace

void HandleArrowKey(AppState& state, ArrowKey key, KeyDestinations& out) {
    if (state.hexInput != HexEntry::Off) return;
    const uint8_t letter = ArrowLetter(key);
    if (letter == 0) return;
    state.keyByte = letter;
    const std::array<uint8_t, 3> sequence{kESC, kBracket, state.keyByte};
    Deliver(state, sequence, out);
    state.keyByte = 0;
}

void HandleCharKey(AppState& state, uint16_t utf16Code, KeyDestinations& out) {
    const uint8_t typed = uint8_t(utf16Code & 0xFF);
    if (state.hexInput == HexEntry::Off) {
        state.keyByte = typed;
    } else if (!EnterHexDigit(state.hexInput, state.keyByte, typed)) {
        return;
    }
    // Each destination makes its own CR test, so every one of them gets CR LF.
    const bool addLf = state.keyByte == kCR && state.txCrLf.load() != 0;
    const std::array<uint8_t, 2> bytes{state.keyByte, kLF};
    Deliver(state, std::span<const uint8_t>(bytes.data(), addLf ? 2 : 1), out);
    state.keyByte = 0;
}

AppKeyDestinations::AppKeyDestinations(AppState& state) : state_(state) {}

bool AppKeyDestinations::PortOpen() {
    return PortIsOpen(state_);
}

void AppKeyDestinations::WritePort(uint8_t byte) {
    WritePortByte(state_, byte);
}

void AppKeyDestinations::Echo(uint8_t byte) {
    PutByte(state_, byte);
}

bool AppKeyDestinations::CaptureOpen() {
    return state_.captureFile.IsOpen();
}

void AppKeyDestinations::Capture(uint8_t byte) {
    state_.captureFile.Append(byte);
}

void AppKeyDestinations::CaptureDone() {
    state_.captureFile.Flush();
}

}  // namespace vellor

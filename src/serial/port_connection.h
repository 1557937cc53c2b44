#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellor {

struct AppState;
class Host;
class SerialDevice;
struct LineCounters;

// Opens a device for a port name; null with `error` (an errno value) on failure.
using DeviceOpener =
    std::function<std::shared_ptr<SerialDevice>(const std::string& portName, int& error)>;

// The Comm menu's Open Port command (40028): closes the port when open, else opens it. UI thread.
void TogglePort(AppState& state, Host& host);

// Opens portName, applies portConfig, raises DTR and RTS, starts the receive thread, then checks
// DTR, RTS and the Open Port item, shows the modem lines, sets the title "VL: <portName>" and
// portOpen. On failure shows "OpenPort Failed", "ConfigPort Failed" or "CreateReceiveThread
// Failed" (caption "Error", the system's reason as detail), holds no device and changes nothing
// else. UI thread.
bool OpenPort(AppState& state, Host& host);
// The same with another way of opening the device (tests).
bool OpenPortWith(AppState& state, Host& host, const DeviceOpener& opener);

// Wakes and joins the receive thread, unchecks DTR and RTS, closes the device, sets the title
// "Vellor", unchecks Open Port and clears portOpen. DSR, CTS, CD and RI keep what they show. Does
// nothing when the port is closed. UI thread (also at shutdown, before the window goes).
void ClosePort(AppState& state, Host& host);

// Writes one byte to the open port, or drops it when no port is open. Any thread; the keyboard
// and the send thread may call it at the same time, and a byte never reaches a device that is
// closed or being closed. Waits at most about a second when the line holds the byte off.
void WritePortByte(AppState& state, uint8_t byte);

// Whether a device is open. Any thread.
bool PortIsOpen(const AppState& state);

// The DTR (40001) and RTS (40002) box commands: raise the line when the box is now checked, drop
// it when not; nothing but the box when no port is open. UI thread. (The caller gives the focus
// back to the view.)
void ToggleDtr(AppState& state, Host& host);
void ToggleRts(AppState& state, Host& host);

// The Communications dialog's OK with the port open: applies portConfig to the device; failures
// are silent. UI thread.
void ApplyPortConfig(AppState& state);
// The Communications dialog opening with the port open: reads the device's settings back into
// portConfig. UI thread.
void ReadPortConfig(AppState& state);

// Reads the line settings back from the device into the status bar's summary (lineSummary):
// what the device took, which may differ from what was asked for. UI thread.
void NoteAcceptedLine(AppState& state, SerialDevice& device);

// Why the line settings do not reach the open port's line, for the Communications dialog; empty
// when they do or no port is open. UI thread.
std::string PortLineNote(const AppState& state);

// The open device's line-error counts as the driver keeps them now; nothing when no port is
// open or the driver keeps none. UI thread (a few times a second, never per byte).
std::optional<LineCounters> PortCounters(const AppState& state);

// Comm > Send Break: a break on the open port's line, sent from a thread of its own; nothing
// when no port is open or a break is still on the line. UI thread.
void SendLineBreak(AppState& state);

// What became of bytes handed to the port by a send.
struct PortWrite {
    std::size_t written = 0;  // bytes the device took, from the front
    int error = 0;            // errno value when the line failed
    bool noPort = false;      // no port is open: the bytes not taken are dropped
};

// Writes bytes to the open port for a send, waiting at most `waitMs` for the line to take them,
// and counts what it took. A send that must lose nothing calls again with the rest: the bytes the
// line holds off are neither written nor dropped here. Any thread, like WritePortByte.
PortWrite WritePortBytes(AppState& state, std::span<const uint8_t> bytes, int waitMs);

}  // namespace vellor

#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "input/hex_entry.h"
#include "screen/damage.h"
#include "screen/screen_buffer.h"
#include "screen/screen_modes.h"
#include "screen/screen_mutex.h"
#include "screen/selection.h"
#include "serial/echo_watch.h"
#include "serial/port_config.h"
#include "serial/serial_device.h"
#include "settings/preferences.h"
#include "transfer/capture_file.h"

namespace vellor {

class SerialDevice;
class ReceiveThread;
class SendJob;
class PortWaiter;
class BreakSender;

// Told when the screen's damage goes from empty to non-empty. Called with the screen lock held,
// from whichever thread drew: it must only schedule work, never paint, block or take the lock.
class ScreenObserver {
  public:
    virtual ~ScreenObserver() = default;
    virtual void DamageAdded() = 0;
};

// Option flags are read by the worker threads while the UI thread may change them, so each is an
// atomic 32-bit word (0 off, anything else on).
using Flag = std::atomic<int32_t>;

// The one record the whole program works on. main owns the single instance; every operation takes
// it explicitly so tests can make fresh ones.
struct AppState {
    AppState() = default;
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;
    ~AppState();

    // Application shell.
    int32_t ready = 0;

    // Screen and viewport. Everything from here to `damage` is guarded by screenMutex: the
    // receive and send threads draw while the UI thread paints, scrolls, clears and reallocates.
    mutable ScreenMutex screenMutex;
    uint16_t numRows = 0;
    uint16_t numCols = 0;
    uint16_t cursorRow = 0;
    uint16_t cursorCol = 0;
    DisplayMode displayMode = DisplayMode::Text;
    EscapeState escapeState = EscapeState::Normal;
    std::unique_ptr<ScreenBuffer> screenBuffer;
    uint16_t topRow = 0;
    uint16_t leftCol = 0;
    uint16_t visibleRows = 0;
    uint16_t visibleCols = 0;
    uint16_t cellHeight = 0;
    uint16_t cellWidth = 0;
    Selection selection;
    Damage damage;
    ScreenObserver* screenObserver = nullptr;

    // UI thread only.
    int32_t fontHeight = 14;
    int32_t caretShown = 0;

    // Serial link. The port counts as open while portHandle is set. Only the UI thread replaces
    // portHandle and receiveThread, and only while holding portMutex; any other thread copies
    // portHandle under portMutex and uses its copy (serial/port_connection.h does both).
    mutable std::mutex portMutex;
    std::shared_ptr<SerialDevice> portHandle;
    std::shared_ptr<ReceiveThread> receiveThread;  // the running receiver, UI thread only
    std::string portName;                          // as the user typed it, UTF-8
    int32_t portOpen = 0;
    PortConfig portConfig;
    // Set while the device of an open port went away and is awaited: portOpen stays 1 and
    // portHandle stays empty, so bytes are dropped as for a closed port. UI thread only.
    std::shared_ptr<PortWaiter> portWaiter;
    // What the status bar tells about the open port (UI thread only): the name it was opened
    // with, its line settings as the device took them, and the driver's error counts at opening.
    std::string openPortName;
    std::string lineSummary;
    std::optional<LineCounters> countersAtOpen;
    std::shared_ptr<BreakSender> breakSender;  // made at the first Send Break
    // Bytes through the line since the port was opened (the status bar shows them). The receive
    // thread counts what it reads, the writers what the device took.
    struct Traffic {
        std::atomic<uint64_t> received{0};
        std::atomic<uint64_t> sent{0};
    } traffic;

    // Keyboard (UI thread only).
    uint8_t keyByte = 0;

    // File transfer.
    CaptureFile captureFile;  // its own lock: the receive thread appends while the UI closes
    int32_t capturing = 0;
    std::shared_ptr<SendJob> sendFile;
    Flag sending{0};
    EchoWatch echoWatch;  // the receive thread tells a paced send that a line's end came back

    // Options (stored settings).
    Flag rxBit7{0};
    Flag rxCrLf{0};
    Flag echo{0};
    Flag txCrLf{0};
    Flag txCapture{0};
    Flag rxCapture{1};
    int32_t controlBar = 0;
    HexEntry hexInput = HexEntry::Off;
    Preferences preferences;  // UI thread only
};

}  // namespace vellor

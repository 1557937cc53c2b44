#include "serial/port_connection.h"

#include <mutex>
#include <optional>
#include <system_error>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/host.h"
#include "base/system_reason.h"
#include "serial/device_names.h"
#include "serial/line_break.h"
#include "serial/modem_indicators.h"
#include "serial/port_waiter.h"
#include "serial/receive_thread.h"
#include "serial/refusals.h"
#include "serial/serial_device.h"
#include "transfer/send_command.h"

namespace vellor {
namespace {

constexpr char kClosedTitle[] = "Vellor";

void ShowError(Host& host, const char* text, const std::string& detail) {
    host.ShowMessage(MessageOwner::MainWindow, text, kErrorCaption, detail);
}

std::string OpenTitle(const std::string& portName) {
    return "VL: " + portName;
}

// What the status bar shows of a device just put to use: the line settings as it took them
// (which may differ from those asked for), and its error counts to count on from.
void NoteDeviceInUse(AppState& state, Host& host, SerialDevice& device) {
    NoteAcceptedLine(state, device);
    state.countersAtOpen = device.Counters();
    host.SetMenuEnabled(kCmdSendBreak, true);
}

std::shared_ptr<SerialDevice> CurrentDevice(const AppState& state) {
    std::lock_guard lock(state.portMutex);
    return state.portHandle;
}

bool IsCurrent(const AppState& state, const std::weak_ptr<SerialDevice>& device) {
    const auto alive = device.lock();
    return alive && alive == CurrentDevice(state);
}

void WaitForDevice(AppState& state, Host& host, const std::string& name,
                   const DeviceOpener& opener);

// The receive thread's events, carried over to the UI thread. They act only while the device
// that raised them is still the open one: a late event of a port closed since is dropped.
// `name` and `opener` are what the device was opened with, to open it again the same way.
ReceiveThread::Events EventsFor(AppState& state, Host& host,
                                const std::shared_ptr<SerialDevice>& device,
                                const std::string& name, const DeviceOpener& opener) {
    std::weak_ptr<SerialDevice> weak = device;
    ReceiveThread::Events events;
    events.modemStatusChanged = [&state, &host, weak](uint32_t status) {
        host.Post([&state, &host, weak, status] {
            if (IsCurrent(state, weak)) UpdateModemIndicators(host, status);
        });
    };
    events.deviceLost = [&state, &host, weak, name, opener](int error) {
        host.Post([&state, &host, weak, name, opener, error] {
            if (!IsCurrent(state, weak)) return;  // the user closed it first: nothing to tell
            if (state.preferences.reconnect) {
                WaitForDevice(state, host, name, opener);
                return;
            }
            ClosePort(state, host);
            ShowError(host, "ReadPort Failed", ExplainLostDevice(error));
        });
    };
    return events;
}

// Takes the device out of use: wakes the receiver and any write held off by the line, waits for
// the receiver to end before the descriptor goes (nothing may use it once closed), then closes it.
void ReleaseDevice(AppState& state) {
    std::shared_ptr<SerialDevice> device;
    std::shared_ptr<ReceiveThread> receiver;
    {
        std::lock_guard lock(state.portMutex);
        device = state.portHandle;
        receiver = state.receiveThread;
    }
    if (device) device->Interrupt();
    if (receiver) receiver->Stop();
    {
        std::lock_guard lock(state.portMutex);
        state.portHandle.reset();
        state.receiveThread.reset();
    }
    if (device) device->Close();  // waits for a write in flight on another thread
}

// Puts an opened, configured device to use: DTR and RTS as given, and a receive thread. False
// (device closed, message shown) when no thread can be made.
bool AdoptDevice(AppState& state, Host& host, const std::shared_ptr<SerialDevice>& device,
                 const std::string& name, const DeviceOpener& opener, bool dtr, bool rts) {
    device->SetDtr(dtr);
    device->SetRts(rts);
    std::shared_ptr<ReceiveThread> receiver;
    try {
        receiver = std::make_shared<ReceiveThread>(state, device,
                                                   EventsFor(state, host, device, name, opener));
    } catch (const std::system_error& e) {
        host.ShowMessage(MessageOwner::MainWindow, "CreateReceiveThread Failed", kErrorCaption,
                         e.code().message());
        device->Close();
        return false;
    }
    {
        std::lock_guard lock(state.portMutex);
        state.portHandle = device;
        state.receiveThread = std::move(receiver);
    }
    return true;
}

// The awaited device is back (posted by the waiter): it takes the lost one's place, with the line
// settings and DTR/RTS as they are now. A device found after the wait ended is closed unseen.
void Reopened(AppState& state, Host& host, const std::weak_ptr<PortWaiter>& waiting,
              const std::shared_ptr<SerialDevice>& device, const DeviceOpener& opener) {
    const std::shared_ptr<PortWaiter> waiter = waiting.lock();
    if (!waiter || waiter != state.portWaiter) {
        device->Close();
        return;
    }
    const std::string name = waiter->PortName();
    state.portWaiter.reset();  // its thread has handed over and is ending
    if (!(state.portConfig == waiter->Config())) device->Configure(state.portConfig);
    if (!AdoptDevice(state, host, device, name, opener, host.BoxChecked(ModemBox::Dtr),
                     host.BoxChecked(ModemBox::Rts))) {
        ClosePort(state, host);
        return;
    }
    UpdateModemIndicators(host, device->ModemStatus());
    NoteDeviceInUse(state, host, *device);
    host.SetWindowTitle(OpenTitle(name));
}

// The open port's device went away: the port stays open for the user while a waiter watches for
// the same name to come back. Meanwhile bytes are dropped and a running send stops.
void WaitForDevice(AppState& state, Host& host, const std::string& name,
                   const DeviceOpener& opener) {
    ReleaseDevice(state);
    host.SetMenuEnabled(kCmdSendBreak, false);
    StopSending(state, host);
    auto waiter = std::make_shared<PortWaiter>(name, state.portConfig, opener);
    waiter->Start([&state, &host, opener,
                   waiting = std::weak_ptr(waiter)](std::shared_ptr<SerialDevice> device) {
        host.Post([&state, &host, opener, waiting, device] {
            Reopened(state, host, waiting, device, opener);
        });
    });
    host.SetWindowTitle(OpenTitle(waiter->PortName()) + " (waiting for device)");
    state.portWaiter = std::move(waiter);
}

// A device opened and given the line settings, or why not.
struct Opened {
    std::shared_ptr<SerialDevice> device;  // null when it could not be opened
    int openError = 0;
    int configError = 0;
};

Opened OpenThenConfigure(const std::string& name, const PortConfig& config,
                         const DeviceOpener& opener) {
    Opened opened;
    opened.device = opener(name, opened.openError);
    if (opened.device) opened.configError = opened.device->Configure(config);
    return opened;
}

// A port across the network is opened aside, so the window never waits on the network; nothing
// when the user gave up waiting (a device that comes after that is closed unseen).
std::optional<Opened> OpenAndConfigure(const AppState& state, Host& host,
                                       const DeviceOpener& opener) {
    if (!IsNetworkPortName(state.portName))
        return OpenThenConfigure(state.portName, state.portConfig, opener);
    struct Aside {
        std::mutex mutex;
        Opened opened;
        bool abandoned = false;
    };
    auto aside = std::make_shared<Aside>();
    const bool finished =
        host.RunAside("Connecting to " + state.portName,
                      [aside, opener, name = state.portName, config = state.portConfig] {
                          Opened opened = OpenThenConfigure(name, config, opener);
                          std::lock_guard lock(aside->mutex);
                          if (aside->abandoned && opened.device) opened.device->Close();
                          aside->opened = std::move(opened);
                      });
    std::lock_guard lock(aside->mutex);
    if (finished) return std::move(aside->opened);
    aside->abandoned = true;
    if (aside->opened.device) aside->opened.device->Close();
    return std::nullopt;
}

}  // namespace

void TogglePort(AppState& state, Host& host) {
    if (state.portOpen || PortIsOpen(state)) {
        ClosePort(state, host);
    } else {
        OpenPort(state, host);
    }
}

bool OpenPort(AppState& state, Host& host) {
    return OpenPortWith(state, host, OpenSerialDevice);
}

bool OpenPortWith(AppState& state, Host& host, const DeviceOpener& opener) {
    if (PortIsOpen(state) || state.portWaiter) return true;  // one device at a time

    const std::optional<Opened> opened = OpenAndConfigure(state, host, opener);
    if (!opened) return false;  // the user gave up waiting: nothing to tell
    const std::shared_ptr<SerialDevice>& device = opened->device;
    if (!device) {
        ShowError(host, "OpenPort Failed", ExplainOpenFailure(state.portName, opened->openError));
        return false;
    }
    if (opened->configError != 0) {
        ShowError(host, "ConfigPort Failed",
                  ExplainConfigFailure(state.portName, state.portConfig, opened->configError));
        device->Close();  // after the message, so the next attempt starts from scratch
        return false;
    }
    state.traffic.received = 0;
    state.traffic.sent = 0;
    if (!AdoptDevice(state, host, device, state.portName, opener, true, true)) return false;

    host.SetBoxCheck(ModemBox::Dtr, true);
    host.SetBoxCheck(ModemBox::Rts, true);
    UpdateModemIndicators(host, device->ModemStatus());
    state.openPortName = state.portName;
    NoteDeviceInUse(state, host, *device);
    host.SetWindowTitle(OpenTitle(state.portName));
    host.SetMenuCheck(kCmdOpenPort, true);
    state.portOpen = 1;
    return true;
}

void ClosePort(AppState& state, Host& host) {
    state.portWaiter.reset();  // stops waiting for a device that went away
    if (!PortIsOpen(state) && !state.portOpen) return;
    host.SetBoxCheck(ModemBox::Dtr, false);
    host.SetBoxCheck(ModemBox::Rts, false);
    ReleaseDevice(state);
    host.SetMenuEnabled(kCmdSendBreak, false);
    host.SetWindowTitle(kClosedTitle);
    host.SetMenuCheck(kCmdOpenPort, false);
    state.portOpen = 0;
}
void WritePortByte(AppState& state, uint8_t byte) {
    const auto device = CurrentDevice(state);
    if (device && device->WriteByte(byte)) ++state.traffic.sent;
}

bool PortIsOpen(const AppState& state) {
    return CurrentDevice(state) != nullptr;
}

void ToggleDtr(AppState& state, Host& host) {
    const bool raised = host.BoxChecked(ModemBox::Dtr);
    if (const auto device = CurrentDevice(state)) device->SetDtr(raised);
}

void ToggleRts(AppState& state, Host& host) {
    const bool raised = host.BoxChecked(ModemBox::Rts);
    if (const auto device = CurrentDevice(state)) device->SetRts(raised);
}

void ApplyPortConfig(AppState& state) {
    if (const auto device = CurrentDevice(state)) {
        device->Configure(state.portConfig);
        NoteAcceptedLine(state, *device);
    }
}

void NoteAcceptedLine(AppState& state, SerialDevice& device) {
    // Settings that never reach the line would only mislead: the server's own apply.
    if (!device.LineSettingsNote().empty()) {
        state.lineSummary = "(line set at the server)";
        return;
    }
    PortConfig accepted = state.portConfig;
    state.lineSummary =
        device.ReadConfig(accepted) == 0 ? DescribeLine(accepted) : DescribeLine(state.portConfig);
}

std::string PortLineNote(const AppState& state) {
    const auto device = CurrentDevice(state);
    return device ? device->LineSettingsNote() : std::string();
}

std::optional<LineCounters> PortCounters(const AppState& state) {
    const auto device = CurrentDevice(state);
    return device ? device->Counters() : std::nullopt;
}

void SendLineBreak(AppState& state) {
    const auto device = CurrentDevice(state);
    if (!device) return;
    if (!state.breakSender) state.breakSender = std::make_shared<BreakSender>();
    state.breakSender->Send(device);
}

void ReadPortConfig(AppState& state) {
    if (const auto device = CurrentDevice(state)) device->ReadConfig(state.portConfig);
}

PortWrite WritePortBytes(AppState& state, std::span<const uint8_t> bytes, int waitMs) {
    const auto device = CurrentDevice(state);
    if (!device) return {0, 0, true};
    const WriteResult result = device->Write(bytes, waitMs);
    state.traffic.sent += result.written;
    return {result.written, result.error, false};
}

}  // namespace vellor

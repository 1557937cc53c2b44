#include "serial/port_connection.h"

#include <mutex>
#include <optional>
#include <system_error>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/host.h"
#include "base/system_reason.h"
#include "serial/device_names.h"
#include "serial/modem_indicators.h"
#include "serial/receive_thread.h"
#include "serial/serial_device.h"

namespace vellor {
namespace {

constexpr char kClosedTitle[] = "Vellor";

void ShowError(Host& host, const char* text, int error) {
    host.ShowMessage(MessageOwner::MainWindow, text, kErrorCaption, SystemReason(error));
}

std::shared_ptr<SerialDevice> CurrentDevice(const AppState& state) {
    std::lock_guard lock(state.portMutex);
    return state.portHandle;
}

bool IsCurrent(const AppState& state, const std::weak_ptr<SerialDevice>& device) {
    const auto alive = device.lock();
    return alive && alive == CurrentDevice(state);
}

// The receive thread's events, carried over to the UI thread. They act only while the device
// that raised them is still the open one: a late event of a port closed since is dropped.
ReceiveThread::Events EventsFor(AppState& state, Host& host,
                                const std::shared_ptr<SerialDevice>& device) {
    std::weak_ptr<SerialDevice> weak = device;
    ReceiveThread::Events events;
    events.modemStatusChanged = [&state, &host, weak](uint32_t status) {
        host.Post([&state, &host, weak, status] {
            if (IsCurrent(state, weak)) UpdateModemIndicators(host, status);
        });
    };
    events.deviceLost = [&state, &host, weak](int error) {
        host.Post([&state, &host, weak, error] {
            if (!IsCurrent(state, weak)) return;  // the user closed it first: nothing to tell
            ClosePort(state, host);
            ShowError(host, "ReadPort Failed", error);
        });
    };
    return events;
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
    if (PortIsOpen(state)) return true;  // one device at a time

    const std::optional<Opened> opened = OpenAndConfigure(state, host, opener);
    if (!opened) return false;  // the user gave up waiting: nothing to tell
    const std::shared_ptr<SerialDevice>& device = opened->device;
    if (!device) {
        ShowError(host, "OpenPort Failed", opened->openError);
        return false;
    }
    if (opened->configError != 0) {
        ShowError(host, "ConfigPort Failed", opened->configError);
        device->Close();  // after the message, so the next attempt starts from scratch
        return false;
    }
    device->SetDtr(true);
    device->SetRts(true);

    std::shared_ptr<ReceiveThread> receiver;
    try {
        receiver = std::make_shared<ReceiveThread>(state, device, EventsFor(state, host, device));
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

    host.SetBoxCheck(ModemBox::Dtr, true);
    host.SetBoxCheck(ModemBox::Rts, true);
    UpdateModemIndicators(host, device->ModemStatus());
    host.SetWindowTitle("VL: " + state.portName);
    host.SetMenuCheck(kCmdOpenPort, true);
    state.portOpen = 1;
    return true;
}

void ClosePort(AppState& state, Host& host) {
    std::shared_ptr<SerialDevice> device;
    std::shared_ptr<ReceiveThread> receiver;
    {
        std::lock_guard lock(state.portMutex);
        device = state.portHandle;
        receiver = state.receiveThread;
    }
    if (!device && !state.portOpen) return;

    // Wake the receiver and any write held off by the line, then wait for the receiver to end
    // before the descriptor goes: nothing may use it once closed.
    if (device) device->Interrupt();
    host.SetBoxCheck(ModemBox::Dtr, false);
    host.SetBoxCheck(ModemBox::Rts, false);
    if (receiver) receiver->Stop();
    {
        std::lock_guard lock(state.portMutex);
        state.portHandle.reset();
        state.receiveThread.reset();
    }
    if (device) device->Close();  // waits for a write in flight on another thread

    host.SetWindowTitle(kClosedTitle);
    host.SetMenuCheck(kCmdOpenPort, false);
    state.portOpen = 0;
}

void WritePortByte(AppState& state, uint8_t byte) {
    if (const auto device = CurrentDevice(state)) device->WriteByte(byte);
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
    if (const auto device = CurrentDevice(state)) device->Configure(state.portConfig);
}

void ReadPortConfig(AppState& state) {
    if (const auto device = CurrentDevice(state)) device->ReadConfig(state.portConfig);
}

}  // namespace vellor

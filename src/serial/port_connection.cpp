#include "serial/port_connection.h"

#include <mutex>
#include <system_error>

#include "app/app_state.h"
#include "serial/modem_indicators.h"
#include "serial/port_ui.h"
#include "serial/receive_thread.h"
#include "serial/serial_device.h"

namespace vellor {
namespace {

constexpr char kErrorCaption[] = "Error";
constexpr char kClosedTitle[] = "Vellor";

std::string Reason(int error) {
    return std::generic_category().message(error);
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
ReceiveThread::Events EventsFor(AppState& state, PortUi& ui,
                                const std::shared_ptr<SerialDevice>& device) {
    std::weak_ptr<SerialDevice> weak = device;
    ReceiveThread::Events events;
    events.modemStatusChanged = [&state, &ui, weak](uint32_t status) {
        ui.Post([&state, &ui, weak, status] {
            if (IsCurrent(state, weak)) UpdateModemIndicators(ui, status);
        });
    };
    events.deviceLost = [&state, &ui, weak](int error) {
        ui.Post([&state, &ui, weak, error] {
            if (!IsCurrent(state, weak)) return;  // the user closed it first: nothing to tell
            ClosePort(state, ui);
            ui.ShowMessage("ReadPort Failed", kErrorCaption, Reason(error));
        });
    };
    return events;
}

}  // namespace

void TogglePort(AppState& state, PortUi& ui) {
    if (state.portOpen || PortIsOpen(state)) {
        ClosePort(state, ui);
    } else {
        OpenPort(state, ui);
    }
}

bool OpenPort(AppState& state, PortUi& ui) {
    return OpenPortWith(state, ui, OpenSerialDevice);
}

bool OpenPortWith(AppState& state, PortUi& ui, const DeviceOpener& opener) {
    if (PortIsOpen(state)) return true;  // one device at a time

    int error = 0;
    std::shared_ptr<SerialDevice> device = opener(state.portName, error);
    if (!device) {
        ui.ShowMessage("OpenPort Failed", kErrorCaption, Reason(error));
        return false;
    }
    if (int rejected = device->Configure(state.portConfig)) {
        ui.ShowMessage("ConfigPort Failed", kErrorCaption, Reason(rejected));
        device->Close();  // after the message, so the next attempt starts from scratch
        return false;
    }
    device->SetDtr(true);
    device->SetRts(true);

    std::shared_ptr<ReceiveThread> receiver;
    try {
        receiver = std::make_shared<ReceiveThread>(state, device, EventsFor(state, ui, device));
    } catch (const std::system_error& e) {
        ui.ShowMessage("CreateReceiveThread Failed", kErrorCaption, e.code().message());
        device->Close();
        return false;
    }
    {
        std::lock_guard lock(state.portMutex);
        state.portHandle = device;
        state.receiveThread = std::move(receiver);
    }

    ui.SetBoxCheck(ModemBox::Dtr, true);
    ui.SetBoxCheck(ModemBox::Rts, true);
    UpdateModemIndicators(ui, device->ModemStatus());
    ui.SetTitle("VL: " + state.portName);
    ui.SetOpenPortCheck(true);
    state.portOpen = 1;
    return true;
}

void ClosePort(AppState& state, PortUi& ui) {
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
    ui.SetBoxCheck(ModemBox::Dtr, false);
    ui.SetBoxCheck(ModemBox::Rts, false);
    if (receiver) receiver->Stop();
    {
        std::lock_guard lock(state.portMutex);
        state.portHandle.reset();
        state.receiveThread.reset();
    }
    if (device) device->Close();  // waits for a write in flight on another thread

    ui.SetTitle(kClosedTitle);
    ui.SetOpenPortCheck(false);
    state.portOpen = 0;
}

void WritePortByte(AppState& state, uint8_t byte) {
    if (const auto device = CurrentDevice(state)) device->WriteByte(byte);
}

bool PortIsOpen(const AppState& state) {
    return CurrentDevice(state) != nullptr;
}

void ToggleDtr(AppState& state, PortUi& ui) {
    const bool raised = ui.BoxChecked(ModemBox::Dtr);
    if (const auto device = CurrentDevice(state)) device->SetDtr(raised);
}

void ToggleRts(AppState& state, PortUi& ui) {
    const bool raised = ui.BoxChecked(ModemBox::Rts);
    if (const auto device = CurrentDevice(state)) device->SetRts(raised);
}

void ApplyPortConfig(AppState& state) {
    if (const auto device = CurrentDevice(state)) device->Configure(state.portConfig);
}

void ReadPortConfig(AppState& state) {
    if (const auto device = CurrentDevice(state)) device->ReadConfig(state.portConfig);
}

std::vector<std::string> ListExtraPortNames() {
    return {std::string(kLoopbackName)};
}

}  // namespace vellor

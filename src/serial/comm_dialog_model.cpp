#include "serial/comm_dialog_model.h"

#include <algorithm>
#include <string>

#include "app/app_state.h"
#include "serial/device_names.h"
#include "serial/port_config.h"
#include "serial/port_connection.h"
#include "settings/settings_store.h"

namespace vellor {

namespace {

std::vector<std::string> Numbered(const std::vector<int>& numbers) {
    std::vector<std::string> out;
    for (int n : numbers)
        out.push_back(std::to_string(n));
    return out;
}

int IndexOf(const std::vector<std::string>& entries, const std::string& text) {
    const auto it = std::find(entries.begin(), entries.end(), text);
    return it == entries.end() ? -1 : int(it - entries.begin());
}

int IndexIfListed(const std::vector<std::string>& entries, int index) {
    return index >= 0 && index < int(entries.size()) ? index : -1;
}

bool IsContinuationByte(char c) {
    return (uint8_t(c) & 0xC0) == 0x80;
}

}  // namespace

const std::vector<std::string>& BaudRateEntries() {
    static const std::vector<std::string> entries =
        Numbered({110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200,
                  128000, 256000});
    return entries;
}

const std::vector<std::string>& DataBitsEntries() {
    static const std::vector<std::string> entries = Numbered({4, 5, 6, 7, 8});
    return entries;
}

const std::vector<std::string>& PortEntries() {
    static const std::vector<std::string> entries = [] {
        std::vector<std::string> out;
        for (int i = 0; i <= 10; ++i)
            out.push_back("COM" + std::to_string(i));
        return out;
    }();
    return entries;
}

std::vector<PortListEntry> PortListEntries(const std::vector<SerialPortInfo>& devices) {
    std::vector<PortListEntry> entries;
    for (const std::string& name : PortEntries())
        entries.push_back({name, {}});
    for (const SerialPortInfo& device : devices) {
        std::string description = device.description;
        if (device.path != device.devicePath)
            description += (description.empty() ? "" : "\n") + device.devicePath;
        entries.push_back({device.path, description});
    }
    entries.push_back({std::string(kLoopbackName), {}});
    return entries;
}

const std::vector<std::string>& StopBitsEntries() {
    static const std::vector<std::string> entries = {"1", "1.5", "2"};
    return entries;
}

const std::vector<std::string>& ParityEntries() {
    static const std::vector<std::string> entries = {"None", "Odd", "Even", "Mark", "Space"};
    return entries;
}

const std::vector<std::string>& FlowControlEntries() {
    static const std::vector<std::string> entries = {"None", "RTS/CTS", "XON/XOFF"};
    return entries;
}

CommDialogValues OpenCommDialog(AppState& state) {
    if (PortIsOpen(state)) ReadPortConfig(state);
    const PortConfig& config = state.portConfig;
    CommDialogValues v;
    v.portText = state.portName;
    v.baudRateIndex = IndexOf(BaudRateEntries(), std::to_string(config.BaudRate()));
    v.dataBitsIndex = IndexOf(DataBitsEntries(), std::to_string(config.ByteSize()));
    v.stopBitsIndex = IndexIfListed(StopBitsEntries(), config.StopBits());
    v.parityIndex = IndexIfListed(ParityEntries(), config.Parity());
    v.flowControlIndex = int(FlowControlOf(config.Flags()));
    return v;
}

std::string PortNameFromText(std::string_view text) {
    text = text.substr(0, text.find(' '));
    std::size_t characters = 0;
    std::size_t end = 0;
    while (end < text.size()) {
        if (!IsContinuationByte(text[end]) && characters++ == kMaxPortNameChars) break;
        ++end;
    }
    return std::string(text.substr(0, end));
}

void AcceptCommDialog(AppState& state, SettingsBackend& settings, const CommDialogValues& v) {
    state.portName = PortNameFromText(v.portText);
    PortConfig& config = state.portConfig;
    // A list without a selection could not show the stored value (a rate the device reported,
    // for example); keeping that value beats storing 0 or 255 in its place.
    if (IndexIfListed(BaudRateEntries(), v.baudRateIndex) >= 0) {
        config.SetBaudRate(uint32_t(TextToNumber(BaudRateEntries()[v.baudRateIndex])));
    }
    if (IndexIfListed(DataBitsEntries(), v.dataBitsIndex) >= 0) {
        config.SetByteSize(uint8_t(TextToNumber(DataBitsEntries()[v.dataBitsIndex])));
    }
    if (IndexIfListed(StopBitsEntries(), v.stopBitsIndex) >= 0) {
        config.SetStopBits(uint8_t(v.stopBitsIndex));
    }
    if (IndexIfListed(ParityEntries(), v.parityIndex) >= 0)
        config.SetParity(uint8_t(v.parityIndex));
    FlowControl flow = FlowControl::None;
    if (v.flowControlIndex == 1) flow = FlowControl::RtsCts;
    if (v.flowControlIndex == 2) flow = FlowControl::XonXoff;
    config.SetFlags(ApplyFlowControl(config.Flags(), flow));

    SavePortSettings(state, settings);
    // A new port name waits for the next open; the line settings apply at once.
    if (PortIsOpen(state)) ApplyPortConfig(state);
}

}  // namespace vellor

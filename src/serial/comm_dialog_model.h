#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "serial/port_inventory.h"

namespace vellor {

struct AppState;
class SettingsBackend;

// The Communications dialog's lists, in the order they are offered.
const std::vector<std::string>& BaudRateEntries();
const std::vector<std::string>& DataBitsEntries();
const std::vector<std::string>& PortEntries();  // "COM0" .. "COM10"
const std::vector<std::string>& StopBitsEntries();
const std::vector<std::string>& ParityEntries();
const std::vector<std::string>& FlowControlEntries();

// One entry of the port list: what picking it puts in the box, and what it is.
struct PortListEntry {
    std::string name;
    std::string description;  // empty for the fixed names
    bool operator==(const PortListEntry&) const = default;
};
// The port list: COM0 to COM10, then the system's serial devices by their stable names, then the
// loopback device.
std::vector<PortListEntry> PortListEntries(const std::vector<SerialPortInfo>& devices);

// What the dialog's controls hold. A list index of -1 means no entry is selected.
struct CommDialogValues {
    std::string portText;
    int baudRateIndex = -1;
    int dataBitsIndex = -1;
    int stopBitsIndex = -1;
    int parityIndex = -1;
    int flowControlIndex = -1;
    bool operator==(const CommDialogValues&) const = default;
};

// The controls' starting values. With a port open the device's own settings are read back into
// portConfig first, so the dialog shows what the line really uses.
CommDialogValues OpenCommDialog(AppState& state);

// The port name typed into the dialog as it is kept: cut at the first blank and to at most
// kMaxPortNameChars characters.
std::string PortNameFromText(std::string_view text);

// OK: takes the port name and line settings, saves the port group, and applies the settings to
// an open port. A list left without a selection keeps the setting it could not show.
void AcceptCommDialog(AppState& state, SettingsBackend& settings, const CommDialogValues& values);

}  // namespace vellor

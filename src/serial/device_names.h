#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vellor {

class SerialDevice;

// The built-in loopback device's name; matched in any case.
inline constexpr std::string_view kLoopbackName = "LOOP";
bool IsLoopbackName(std::string_view portName);

// A port across the network: rfc2217://HOST:PORT or tcp://HOST:PORT (any case). Opening one may
// take a while (resolving, connecting), so the window does it aside.
bool IsNetworkPortName(std::string_view portName);

// The path opened for a port name: "COMn" (n >= 1) is /dev/ttyS(n-1), a name without "/" is
// /dev/<name>, anything else is a path. No path for "COM0" or an empty name.
std::optional<std::string> DevicePathForPortName(std::string_view portName);

// Opens the device a port name stands for (the loopback device included), exclusively and in raw
// mode, without applying line settings. On failure returns null with `error` set to an errno.
std::shared_ptr<SerialDevice> OpenSerialDevice(const std::string& portName, int& error);

}  // namespace vellor

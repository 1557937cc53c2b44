#include "serial/device_names.h"

#include <cerrno>
#include <charconv>
#include <cstdint>

#include "base/ascii.h"
#include "serial/loopback_device.h"
#include "serial/network_serial_device.h"
#include "serial/posix_serial_device.h"

namespace vellor {
namespace {

// The number of a "COMn" name, any case, or nothing when the name is not of that form.
std::optional<uint32_t> ComNumber(std::string_view name) {
    if (name.size() < 4 || !EqualsIgnoringAsciiCase(name.substr(0, 3), "COM")) return std::nullopt;
    const std::string_view digits = name.substr(3);
    uint32_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return number;
}

}  // namespace

bool IsNetworkPortName(std::string_view portName) {
    return StartsWithIgnoringAsciiCase(portName, "rfc2217://") ||
           StartsWithIgnoringAsciiCase(portName, "tcp://");
}

bool IsLoopbackName(std::string_view portName) {
    return EqualsIgnoringAsciiCase(portName, kLoopbackName);
}

std::optional<std::string> DevicePathForPortName(std::string_view portName) {
    if (portName.empty()) return std::nullopt;
    if (const auto number = ComNumber(portName)) {
        if (*number == 0) return std::nullopt;  // COM0 names no device
        return "/dev/ttyS" + std::to_string(*number - 1);
    }
    if (portName.find('/') == std::string_view::npos) return "/dev/" + std::string(portName);
    return std::string(portName);
}

std::shared_ptr<SerialDevice> OpenSerialDevice(const std::string& portName, int& error) {
    if (IsLoopbackName(portName)) {
        error = 0;
        return std::make_shared<LoopbackDevice>();
    }
    // Before the path rules: "tcp://host:1" has a '/' but names no file.
    if (IsNetworkPortName(portName)) return NetworkSerialDevice::Open(portName, error);
    const auto path = DevicePathForPortName(portName);
    if (!path) {
        error = ENOENT;
        return nullptr;
    }
    return PosixSerialDevice::Open(*path, error);
}

}  // namespace vellor

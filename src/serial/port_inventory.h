#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vellor {

// A serial device the system has, as a user recognises it.
struct SerialPortInfo {
    std::string path;         // what to open: its stable /dev/serial/by-id path when it has one
    std::string devicePath;   // the node itself, /dev/ttyUSB0
    std::string description;  // "FT232R USB UART, FTDI, serial A50285BI, USB 0403:6001, ftdi_sio"
    bool operator==(const SerialPortInfo&) const = default;
};

// Where the kernel shows its devices; tests point these at a tree of their own.
struct InventoryRoots {
    std::filesystem::path sys = "/sys";
    std::filesystem::path dev = "/dev";
};

// Every serial device: the terminals in /sys/class/tty backed by hardware (a UART the driver
// found no chip for is left out), in name order. Reads only; any thread.
std::vector<SerialPortInfo> ListSerialPorts(const InventoryRoots& roots = {});

}  // namespace vellor

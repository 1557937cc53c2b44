#pragma once

#include <filesystem>
#include <string>

#include "serial/port_inventory.h"
#include "support/temp_folder.h"

namespace vellor::testing {

// A /sys and /dev of the test's own, with the terminals a test plugs in.
class FakeSysfs {
  public:
    InventoryRoots Roots() const { return {sys_, dev_}; }
    std::string Dev(const std::string& name) const { return (dev_ / name).string(); }

    // A built-in UART; `type` 0 is a slot without a chip, -1 a virtual console (no device at all).
    void AddUart(const std::string& name, int type) {
        if (type >= 0) Add(name, sys_ / "devices/platform/serial8250" / name, "serial8250");
        WriteFile(sys_ / "class/tty" / name / "type", std::to_string(type) + "\n");
    }
    // An FTDI adapter with its stable link in /dev/serial/by-id; returns the link's path.
    std::string AddUsbAdapter(const std::string& name, const std::string& serial) {
        const std::filesystem::path usb = sys_ / "devices/usb1" / ("1-" + serial);
        const std::string fields[] = {
            "idVendor",        "0403",         "idProduct", "6001",   "product",
            "FT232R USB UART", "manufacturer", "FTDI",      "serial", serial};
        for (std::size_t i = 0; i < std::size(fields); i += 2)
            WriteFile(usb / fields[i], fields[i + 1] + "\n");
        Add(name, usb / "1-1:1.0" / name, "ftdi_sio");
        const std::filesystem::path link = dev_ / "serial/by-id" / ("usb-FTDI_" + serial);
        std::filesystem::create_directories(link.parent_path());
        std::filesystem::create_symlink("../../" + name, link);
        return link.string();
    }

  private:
    void Add(const std::string& name, const std::filesystem::path& device, const char* driver) {
        for (const auto& folder : {sys_ / "bus" / driver, device, sys_ / "class/tty" / name})
            std::filesystem::create_directories(folder);
        std::filesystem::create_symlink(sys_ / "bus" / driver, device / "driver");
        std::filesystem::create_symlink(device, sys_ / "class/tty" / name / "device");
        WriteFile(dev_ / name, "");
    }

    TempFolder folder_;
    std::filesystem::path sys_ = folder_.path() / "sys";
    std::filesystem::path dev_ = folder_.path() / "dev";
};

}  // namespace vellor::testing

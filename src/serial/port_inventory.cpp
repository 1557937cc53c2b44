#include "serial/port_inventory.h"

#include <algorithm>
#include <fstream>
#include <map>

namespace vellor {

namespace {

namespace fs = std::filesystem;

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The USB device a tty hangs off, found by walking up from its device folder, if any.
std::string UsbDescription(fs::path folder) {
    std::error_code error;
    for (int depth = 0; depth < 8 && !folder.empty() && folder != folder.root_path(); ++depth) {
        if (fs::exists(folder / "idVendor", error)) {
            std::string text;
            for (const char* field : {"product", "manufacturer"}) {
                const std::string value = ReadLine(folder / field);
                if (!value.empty()) text += (text.empty() ? "" : ", ") + value;
            }
            const std::string serial = ReadLine(folder / "serial");
            if (!serial.empty()) text += (text.empty() ? "serial " : ", serial ") + serial;
            return text + (text.empty() ? "USB " : ", USB ") + ReadLine(folder / "idVendor") + ":" +
                   ReadLine(folder / "idProduct");
        }
        folder = folder.parent_path();
    }
    return {};
}

// Natural order: ttyS2 before ttyS10.
bool NameBefore(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        const auto digits = s.find_last_not_of("0123456789") + 1;
        return std::pair(s.substr(0, digits),
                         digits < s.size() ? std::stoul(s.substr(digits)) : 0ul);
    };
    return split(a) < split(b);
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const InventoryRoots& roots) {
    std::error_code error;
    // Stable names first: which node each /dev/serial/by-id link stands for.
    std::map<std::string, std::string> stableName;
    for (const auto& link : fs::directory_iterator(roots.dev / "serial" / "by-id", error)) {
        const fs::path target = fs::read_symlink(link.path(), error);
        if (error) continue;
        const fs::path node = (link.path().parent_path() / target).lexically_normal();
        stableName.emplace(node.filename().string(), link.path().string());
    }

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(roots.sys / "class" / "tty", error)) {
        const fs::path tty = entry.path();
        if (!fs::exists(tty / "device", error)) continue;  // virtual terminals, pseudo-terminals
        // A legacy UART slot without a chip behind it reports type 0.
        if (fs::exists(tty / "type", error) && ReadLine(tty / "type") == "0") continue;
        names.push_back(tty.filename().string());
    }
    std::sort(names.begin(), names.end(), NameBefore);

    std::vector<SerialPortInfo> ports;
    for (const std::string& name : names) {
        const fs::path tty = roots.sys / "class" / "tty" / name;
        const fs::path device = fs::canonical(tty / "device", error);
        SerialPortInfo info;
        info.devicePath = (roots.dev / name).string();
        const auto stable = stableName.find(name);
        info.path = stable != stableName.end() ? stable->second : info.devicePath;
        info.description = UsbDescription(device);
        const fs::path driver = fs::read_symlink(tty / "device" / "driver", error);
        if (!error && !driver.empty()) {
            info.description += (info.description.empty() ? "" : ", ") + driver.filename().string();
        }
        error.clear();
        ports.push_back(std::move(info));
    }
    return ports;
}

}  // namespace vellor

#include "serial/refusals.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/system_reason.h"
#include "serial/device_names.h"
#include "serial/line_mapping.h"
#include "serial/network_endpoint.h"

namespace vellor {

namespace {

namespace fs = std::filesystem;

std::string GroupName(gid_t gid) {
    const group* entry = ::getgrgid(gid);
    return entry ? entry->gr_name : std::to_string(gid);
}

PermissionFacts FactsAbout(const std::string& path, const struct stat& info) {
    PermissionFacts facts;
    facts.path = path;
    facts.group = GroupName(info.st_gid);
    facts.groupCanUse = (info.st_mode & 060) == 060;
    const passwd* me = ::getpwuid(::geteuid());
    facts.user = me ? me->pw_name : std::to_string(::geteuid());
    if (me != nullptr) {
        int count = 64;
        std::vector<gid_t> listed(static_cast<std::size_t>(count));
        if (::getgrouplist(me->pw_name, me->pw_gid, listed.data(), &count) < 0) {
            listed.resize(std::size_t(count));
            ::getgrouplist(me->pw_name, me->pw_gid, listed.data(), &count);
        }
        listed.resize(std::size_t(std::max(count, 0)));
        facts.listedInGroup = std::find(listed.begin(), listed.end(), info.st_gid) != listed.end();
    }
    std::vector<gid_t> session(std::size_t(std::max(::getgroups(0, nullptr), 0)));
    session.resize(std::size_t(std::max(::getgroups(int(session.size()), session.data()), 0)));
    facts.sessionHasGroup = ::getegid() == info.st_gid ||
                            std::find(session.begin(), session.end(), info.st_gid) != session.end();
    return facts;
}

// The programs (process id and name) that have the device open, as far as this user may see.
std::vector<std::string> Holders(const struct stat& device) {
    std::vector<std::string> holders;
    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", error)) {
            struct stat open {};
            if (::stat(fd.path().c_str(), &open) != 0 || !S_ISCHR(open.st_mode) ||
                open.st_rdev != device.st_rdev)
                continue;
            std::string name;
            std::getline(std::ifstream(process.path() / "comm"), name);
            holders.push_back(name + " (process " + pid + ")");
            break;
        }
        error.clear();
    }
    return holders;
}

// A port across the network that would not open: what the server side needs to be checked for.
std::string ExplainNetworkFailure(std::string_view portName, int error) {
    const std::optional<NetworkEndpoint> endpoint = ParseNetworkPortName(portName);
    const std::string reason = SystemReason(error) + ". ";
    if (!endpoint) {
        return reason + "A network port is named rfc2217://HOST:PORT or tcp://HOST:PORT.";
    }
    const std::string where = endpoint->host + ":" + std::to_string(endpoint->port);
    switch (error) {
        case ENXIO:
            return reason + "No host is known by the name \"" + endpoint->host + "\".";
        case ECONNREFUSED:
            return reason + "Nothing listens at " + where + ": is the port server running?";
        case ETIMEDOUT:
            return reason + "No answer from " + where + ": a firewall, or a host that is down.";
        case EHOSTUNREACH:
        case ENETUNREACH:
            return reason + "No route to " + endpoint->host + " from here.";
        default:
            return SystemReason(error);
    }
}

std::string Present(const InventoryRoots& roots) {
    const std::vector<SerialPortInfo> ports = ListSerialPorts(roots);
    if (ports.empty()) return "This system shows no serial devices at all.";
    std::string list = "Serial devices here:";
    for (const SerialPortInfo& port : ports)
        list +=
            "\n  " + port.path + (port.description.empty() ? "" : "  (" + port.description + ")");
    return list;
}

}  // namespace

std::string PermissionAdvice(const PermissionFacts& f) {
    const std::string reason = SystemReason(EACCES) + ". ";
    if (!f.groupCanUse)
        return reason + f.path + " does not let its group \"" + f.group + "\" use it.";
    if (f.sessionHasGroup) return reason + f.path + " refused even the group \"" + f.group + "\".";
    if (f.listedInGroup) {
        return reason + "You are in the group \"" + f.group + "\" that may use " + f.path +
               ", but this session started before you joined it: log out and in again.";
    }
    return reason + f.path + " may be used by the group \"" + f.group +
           "\". Join it with\n  sudo usermod -aG " + f.group + " " + f.user +
           "\nthen log out and in again.";
}

std::string ExplainOpenFailure(std::string_view portName, int error, const InventoryRoots& roots) {
    const std::string reason = SystemReason(error) + ". ";
    if (IsNetworkPortName(portName)) return ExplainNetworkFailure(portName, error);
    if (IsLoopbackName(portName)) return SystemReason(error);
    const std::optional<std::string> path = DevicePathForPortName(portName);
    if (!path)
        return reason + "\"" + std::string(portName) + "\" names no device. " + Present(roots);
    struct stat info {};
    const bool exists = ::stat(path->c_str(), &info) == 0;
    switch (error) {
        case EACCES:
        case EPERM:
            if (exists) return PermissionAdvice(FactsAbout(*path, info));
            break;
        case EBUSY: {
            const std::vector<std::string> holders =
                exists ? Holders(info) : std::vector<std::string>{};
            if (holders.empty()) return reason + *path + " is in use by another program.";
            std::string text = reason + *path + " is in use by " + holders.front();
            for (std::size_t i = 1; i < holders.size() && i < 4; ++i)
                text += ", " + holders[i];
            return text + ".";
        }
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return reason + *path + " is not present. " + Present(roots);
        case ENOTTY:
            return reason + *path + " is not a serial device.";
        default:
            break;
    }
    return SystemReason(error);
}

std::string ExplainConfigFailure(std::string_view portName, const PortConfig& config, int error) {
    const std::string reason = SystemReason(error) + ". ";
    if (error != EINVAL) return SystemReason(error);
    if (IsNetworkPortName(portName)) {
        return reason +
               "The port server did not confirm these settings: its device may not "
               "take them, or the server does not let them be changed.";
    }
    if (config.ByteSize() < 5 || config.ByteSize() > 8)
        return reason + "No device takes " + std::to_string(config.ByteSize()) +
               " data bits (5 to 8).";
    if (config.StopBits() == 1) return reason + "This device cannot send 1.5 stop bits.";
    if (config.StopBits() > 2 || config.Parity() > 4)
        return reason + "The framing is not one a device knows.";
    if (config.BaudRate() == 0) return reason + "A rate of 0 bits per second sends nothing.";
    return reason + "The device does not take these settings, " +
           std::to_string(config.BaudRate()) +
           " bits per second among them: choose others in Comm > Properties.";
}

std::string ExplainLostDevice(int error) {
    return SystemReason(error) +
           ". The device went away: it was unplugged, reset, or the far end "
           "hung up. Open the port again once it is back.";
}

}  // namespace vellor

#pragma once

#include <string>
#include <string_view>

#include "serial/port_config.h"
#include "serial/port_inventory.h"

namespace vellor {

// Details for the failure messages of the port, saying what the user can do: the system's reason
// first, then what it means here (who holds the device, which group may use it and how to join
// it, which devices there are). The message texts themselves stay as they are. UI thread (they
// look around the system: groups, /proc, /dev).
std::string ExplainOpenFailure(std::string_view portName, int error,
                               const InventoryRoots& roots = {});
std::string ExplainConfigFailure(std::string_view portName, const PortConfig& config, int error);
std::string ExplainLostDevice(int error);

// What a permission refusal asks of the user, from the facts about the device and the user.
struct PermissionFacts {
    std::string path;
    std::string group;  // the device's group
    std::string user;
    bool groupCanUse = true;       // the device's mode lets its group read and write
    bool listedInGroup = false;    // the system's group list names the user
    bool sessionHasGroup = false;  // this process runs with the group
};
std::string PermissionAdvice(const PermissionFacts& facts);

}  // namespace vellor

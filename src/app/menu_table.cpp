#include "app/menu_table.h"

#include "app/command_ids.h"

namespace vellor {

namespace {

// Only Alt mnemonics: Ctrl and plain keys belong to the device the user types to.
constexpr MenuEntry kFile[] = {
    {kCmdSend, "&Send from File"}, {kCmdCapture, "&Capture to File"}, {}, {kCmdExit, "E&xit"}};
constexpr MenuEntry kEdit[] = {{kCmdClearAll, "&Clear All"},
                               {},
                               {kCmdHexInput, "&Hex Input"},
                               {},
                               {kCmdOptions, "&Options ..."}};
constexpr MenuEntry kView[] = {
    {kCmdZoomIn, "Zoom &In"}, {kCmdZoomOut, "Zoom &Out"}, {}, {kCmdControlBar, "&Control Bar"}};
constexpr MenuEntry kComm[] = {{kCmdOpenPort, "&Open Port"}, {}, {kCmdProperties, "&Properties"}};
constexpr MenuEntry kHelp[] = {{kCmdAbout, "&About  Vellor"}};

constexpr MenuSpec kMenus[] = {
    {"&File", kFile}, {"&Edit", kEdit}, {"&View", kView}, {"&Comm", kComm}, {"&Help", kHelp}};

}  // namespace

std::span<const MenuSpec> MainMenus() {
    return kMenus;
}

std::string StripMnemonic(const std::string& label) {
    std::string shown;
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size()) ++i;
        shown += label[i];
    }
    return shown;
}

}  // namespace vellor

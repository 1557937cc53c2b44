#include "app/menu_table.h"

#include "app/command_ids.h"

namespace vellor {

namespace {

// The original items carry only Alt mnemonics: Ctrl and plain keys belong to the device the user
// types to. Items added since follow them, behind a separator.
constexpr bool kCheck = true;
constexpr MenuEntry kFile[] = {{kCmdSend, "&Send from File", nullptr, kCheck},
                               {kCmdCapture, "&Capture to File", nullptr, kCheck},
                               {},
                               {kCmdExit, "E&xit"},
                               {},
                               {kCmdSendSettings, "Send Se&ttings..."}};
constexpr MenuEntry kEdit[] = {{kCmdClearAll, "&Clear All"},
                               {},
                               {kCmdHexInput, "&Hex Input", nullptr, kCheck},
                               {},
                               {kCmdOptions, "&Options ..."},
                               {},
                               {kCmdCopy, "Cop&y", "Ctrl+Shift+C"},
                               {kCmdPaste, "&Paste", "Ctrl+Shift+V"},
                               {kCmdSelectAll, "Select &All", "Ctrl+Shift+A"},
                               {kCmdFind, "&Find...", "Ctrl+Shift+F"}};
constexpr MenuEntry kView[] = {{kCmdZoomIn, "Zoom &In", nullptr, kCheck},
                               {kCmdZoomOut, "Zoom &Out", nullptr, kCheck},
                               {},
                               {kCmdControlBar, "&Control Bar", nullptr, kCheck},
                               {},
                               {kCmdStatusBar, "Status &Bar", nullptr, kCheck}};
constexpr MenuEntry kComm[] = {{kCmdOpenPort, "&Open Port", nullptr, kCheck},
                               {},
                               {kCmdProperties, "&Properties"},
                               {},
                               {kCmdReconnect, "&Reconnect Automatically", nullptr, kCheck},
                               {kCmdSendBreak, "Send &Break", "Ctrl+Shift+B"}};
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

#pragma once

#include "serial/modem_box.h"

namespace vellor {

// Command identifiers of the menu items and the control-bar boxes.
enum CommandId : int {
    kCmdFirst = 40001,
    kCmdDtr = 40001,
    kCmdRts = 40002,
    kCmdDsr = 40003,
    kCmdCts = 40004,
    kCmdCd = 40005,
    kCmdRi = 40006,
    kCmdExit = 40008,
    kCmdClearAll = 40009,
    kCmdAbout = 40010,
    kCmdProperties = 40011,
    kCmdControlBar = 40021,
    kCmdOpenPort = 40028,
    kCmdOptions = 40042,
    kCmdHexInput = 40050,
    kCmdCapture = 40052,
    kCmdSend = 40053,
    kCmdZoomIn = 40055,
    kCmdZoomOut = 40056,
    kCmdLast = 40056,
};

// Commands added since, kept clear of the range above so stored and scripted ids keep meaning
// what they did.
enum ExtraCommandId : int {
    kCmdReconnect = 40101,
    kCmdCopy = 40102,
    kCmdSelectAll = 40103,
    kCmdPaste = 40104,
    kCmdFind = 40105,
    kCmdStatusBar = 40106,
    kCmdSendBreak = 40107,
    kCmdSendSettings = 40108,
    kCmdPasteSelection = 40109,  // a middle click in the view: no menu item
};

// The control-bar boxes' commands follow their order: DTR is 40001, RI 40006.
constexpr int CommandOf(ModemBox box) {
    return kCmdDtr + IndexOf(box);
}

}  // namespace vellor

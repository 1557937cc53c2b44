#include "serial/port_config.h"

namespace vellor {

uint32_t ApplyFlowControl(uint32_t flags, FlowControl choice) {
    // Clear CTS-out, XON/XOFF out and in, and the upper RTS bit; RTS becomes "enable".
    flags = (flags & ~PortConfig::kFlowControlFlags) | PortConfig::kRtsControlEnable;
    switch (choice) {
        case FlowControl::RtsCts:
            flags = (flags & ~PortConfig::kRtsControlMask) | PortConfig::kRtsControlHandshake |
                    PortConfig::kOutxCtsFlow;
            break;
        case FlowControl::XonXoff:
            flags |= PortConfig::kOutX | PortConfig::kInX;
            break;
        case FlowControl::None:
            break;
    }
    return flags;
}

FlowControl FlowControlOf(uint32_t flags) {
    if (flags & PortConfig::kOutX) return FlowControl::XonXoff;
    if (flags & PortConfig::kOutxCtsFlow) return FlowControl::RtsCts;
    return FlowControl::None;
}

int32_t TextToNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;  // unsigned so that overflow wraps instead of being undefined
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + uint32_t(text[i] - '0');
    }
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

namespace {
constexpr char kParityLetters[] = "NOEMS";
constexpr const char* kStopBitNames[] = {"1", "1.5", "2"};
}  // namespace

std::string DescribeLine(const PortConfig& config) {
    std::string text = std::to_string(config.BaudRate()) + " " + std::to_string(config.ByteSize());
    text += config.Parity() < 5 ? kParityLetters[config.Parity()] : '?';
    text += config.StopBits() < 3 ? kStopBitNames[config.StopBits()] : "?";
    switch (FlowControlOf(config.Flags())) {
        case FlowControl::RtsCts:
            text += " RTS/CTS";
            break;
        case FlowControl::XonXoff:
            text += " XON/XOFF";
            break;
        case FlowControl::None:
            break;
    }
    return text;
}

}  // namespace vellor

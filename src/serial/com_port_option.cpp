#include "serial/com_port_option.h"

#include <cerrno>

#include "serial/line_mapping.h"
#include "serial/serial_device.h"

namespace vellor {
namespace {

// On the wire parity counts from 1 (none, odd, even, mark, space) and stop sizes are 1 one,
// 2 two, 3 one and a half; 0 asks for the value in force.
constexpr uint8_t kMaxParity = 4;
constexpr uint8_t kWireStopOne = 1;
constexpr uint8_t kWireStopTwo = 2;
constexpr uint8_t kWireStopOneAndHalf = 3;
constexpr uint8_t kRecordStopOne = 0;
constexpr uint8_t kRecordStopOneAndHalf = 1;
constexpr uint8_t kRecordStopTwo = 2;

uint8_t Byte(ComPortCommand command) {
    return uint8_t(command);
}

std::optional<uint8_t> StopBitsFromWire(uint32_t wire) {
    switch (wire) {
        case kWireStopOne:
            return kRecordStopOne;
        case kWireStopTwo:
            return kRecordStopTwo;
        case kWireStopOneAndHalf:
            return kRecordStopOneAndHalf;
        default:
            return std::nullopt;
    }
}

uint8_t StopBitsToWire(uint8_t stopBits) {
    switch (stopBits) {
        case kRecordStopOneAndHalf:
            return kWireStopOneAndHalf;
        case kRecordStopTwo:
            return kWireStopTwo;
        default:
            return kWireStopOne;
    }
}

ComPortControl FlowToControl(FlowControl flow) {
    switch (flow) {
        case FlowControl::RtsCts:
            return ComPortControl::HardwareFlowControl;
        case FlowControl::XonXoff:
            return ComPortControl::XonXoffFlowControl;
        case FlowControl::None:
            break;
    }
    return ComPortControl::NoFlowControl;
}

std::optional<FlowControl> FlowFromControl(uint32_t control) {
    switch (ComPortControl(control)) {
        case ComPortControl::NoFlowControl:
            return FlowControl::None;
        case ComPortControl::XonXoffFlowControl:
            return FlowControl::XonXoff;
        case ComPortControl::HardwareFlowControl:
            return FlowControl::RtsCts;
        default:
            return std::nullopt;  // break, DTR or RTS answers: not line settings
    }
}

}  // namespace

int CheckComPortSettings(const PortConfig& config) {
    const bool dataBitsOk = config.ByteSize() >= 5 && config.ByteSize() <= 8;
    const bool parityOk = config.Parity() <= kMaxParity;
    const bool stopBitsOk = config.StopBits() <= kRecordStopTwo;
    return dataBitsOk && parityOk && stopBitsOk && config.BaudRate() != 0 ? 0 : EINVAL;
}

ComPortSettings ComPortSettingsFromConfig(const PortConfig& config) {
    const TtyLine line = TtyLineFromConfig(config);
    ComPortSettings settings;
    settings.baud = config.BaudRate();
    settings.dataBits = config.ByteSize();
    settings.parity = config.Parity();
    settings.stopBits = config.StopBits();
    settings.flow = line.rtsCts                       ? FlowControl::RtsCts
                    : line.xonOutput || line.xonInput ? FlowControl::XonXoff
                                                      : FlowControl::None;
    return settings;
}

std::vector<std::vector<uint8_t>> LineSettingRequests(const ComPortSettings& settings) {
    const uint32_t baud = settings.baud;
    return {
        {Byte(ComPortCommand::SetBaudRate), uint8_t(baud >> 24), uint8_t(baud >> 16),
         uint8_t(baud >> 8), uint8_t(baud)},
        {Byte(ComPortCommand::SetDataSize), settings.dataBits},
        {Byte(ComPortCommand::SetParity), uint8_t(settings.parity + 1)},
        {Byte(ComPortCommand::SetStopSize), StopBitsToWire(settings.stopBits)},
        ControlRequest(FlowToControl(settings.flow)),
    };
}

std::vector<uint8_t> ControlRequest(ComPortControl control) {
    return {Byte(ComPortCommand::SetControl), uint8_t(control)};
}

std::vector<uint8_t> ModemStateMaskRequest(uint8_t mask) {
    return {Byte(ComPortCommand::SetModemStateMask), mask};
}

ComPortNotice ParseServerMessage(std::span<const uint8_t> payload) {
    using Kind = ComPortNotice::Kind;
    if (payload.empty() || payload[0] < kServerCommandOffset) return {};
    const auto command = ComPortCommand(payload[0] - kServerCommandOffset);
    const std::span<const uint8_t> value = payload.subspan(1);
    auto oneByte = [&](Kind kind) -> ComPortNotice {
        if (value.size() != 1) return {};
        return {kind, value[0]};
    };
    switch (command) {
        case ComPortCommand::SetBaudRate:
            if (value.size() != 4) return {};
            return {Kind::BaudRate, uint32_t(value[0]) << 24 | uint32_t(value[1]) << 16 |
                                        uint32_t(value[2]) << 8 | uint32_t(value[3])};
        case ComPortCommand::SetDataSize:
            if (value.size() != 1 || value[0] < 5 || value[0] > 8) return {};
            return {Kind::DataSize, value[0]};
        case ComPortCommand::SetParity:
            if (value.size() != 1 || value[0] < 1 || value[0] > kMaxParity + 1) return {};
            return {Kind::Parity, uint32_t(value[0] - 1)};
        case ComPortCommand::SetStopSize: {
            if (value.size() != 1) return {};
            const auto stopBits = StopBitsFromWire(value[0]);
            if (!stopBits) return {};
            return {Kind::StopSize, *stopBits};
        }
        case ComPortCommand::SetControl:
            return oneByte(Kind::Control);
        case ComPortCommand::NotifyModemState:
            if (value.size() != 1) return {};
            return {Kind::ModemState, ModemStatusFromWire(value[0])};
        case ComPortCommand::FlowControlSuspend:
            return {Kind::Suspend, 0};
        case ComPortCommand::FlowControlResume:
            return {Kind::Resume, 0};
        default:
            return {};
    }
}

uint32_t ModemStatusFromWire(uint8_t state) {
    constexpr uint8_t kWireCts = 0x10, kWireDsr = 0x20, kWireRi = 0x40, kWireCd = 0x80;
    uint32_t status = 0;
    if (state & kWireCts) status |= kMsCtsOn;
    if (state & kWireDsr) status |= kMsDsrOn;
    if (state & kWireRi) status |= kMsRingOn;
    if (state & kWireCd) status |= kMsRlsdOn;
    return status;
}

bool RecordConfirmation(const ComPortNotice& notice, ConfirmedSettings& confirmed) {
    using Kind = ComPortNotice::Kind;
    switch (notice.kind) {
        case Kind::BaudRate:
            confirmed.baud = notice.value;
            return true;
        case Kind::DataSize:
            confirmed.dataBits = uint8_t(notice.value);
            return true;
        case Kind::Parity:
            confirmed.parity = uint8_t(notice.value);
            return true;
        case Kind::StopSize:
            confirmed.stopBits = uint8_t(notice.value);
            return true;
        case Kind::Control:
            if (const auto flow = FlowFromControl(notice.value)) {
                confirmed.flow = *flow;
                return true;
            }
            return false;
        default:
            return false;
    }
}

bool ConfirmsRequest(const ConfirmedSettings& confirmed, const ComPortSettings& requested) {
    if (!confirmed.Complete()) return false;
    const uint64_t asked = requested.baud;
    const uint64_t got = *confirmed.baud;
    const uint64_t difference = asked > got ? asked - got : got - asked;
    if (difference * 50 > asked) return false;
    return *confirmed.dataBits == requested.dataBits && *confirmed.parity == requested.parity &&
           *confirmed.stopBits == requested.stopBits && *confirmed.flow == requested.flow;
}

void StoreConfirmedSettings(const ConfirmedSettings& confirmed, PortConfig& config) {
    if (confirmed.baud) config.SetBaudRate(*confirmed.baud);
    if (confirmed.dataBits) config.SetByteSize(*confirmed.dataBits);
    if (confirmed.parity) config.SetParity(*confirmed.parity);
    if (confirmed.stopBits) config.SetStopBits(*confirmed.stopBits);
    if (confirmed.flow) config.SetFlags(ApplyFlowControl(config.Flags(), *confirmed.flow));
}

}  // namespace vellor

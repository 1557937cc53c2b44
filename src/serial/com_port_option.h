#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "serial/port_config.h"

namespace vellor {

// The telnet COM-PORT-OPTION (RFC 2217): the messages a client sends a port server to set up the
// serial line, the server's answers and notices, and how they map to and from the line-settings
// record. Pure functions; payloads here are unescaped (the telnet encoder escapes them).
//
// A payload is the command byte followed by its value. The server answers a client command with
// the same command plus 100 and the value it has put in force.

inline constexpr uint8_t kComPortOption = 44;
inline constexpr uint8_t kServerCommandOffset = 100;

enum class ComPortCommand : uint8_t {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};

// Values of SET-CONTROL.
enum class ComPortControl : uint8_t {
    NoFlowControl = 1,
    XonXoffFlowControl = 2,
    HardwareFlowControl = 3,
    BreakOn = 5,
    BreakOff = 6,
    DtrOn = 8,
    DtrOff = 9,
    RtsOn = 11,
    RtsOff = 12,
};

// The line as the option describes it, in the record's own numbering: parity 0 none, 1 odd,
// 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a half, 2 two.
struct ComPortSettings {
    uint32_t baud = 0;
    uint8_t dataBits = 8;
    uint8_t parity = 0;
    uint8_t stopBits = 0;
    FlowControl flow = FlowControl::None;

    bool operator==(const ComPortSettings&) const = default;
};

// What the server has confirmed so far; a field it never answered stays empty.
struct ConfirmedSettings {
    std::optional<uint32_t> baud;
    std::optional<uint8_t> dataBits;
    std::optional<uint8_t> parity;
    std::optional<uint8_t> stopBits;
    std::optional<FlowControl> flow;

    bool Complete() const { return baud && dataBits && parity && stopBits && flow; }
};

// 0, or EINVAL for what no serial line takes: data bits outside 5-8, an unknown parity or stop
// size, a zero rate. Unlike a local port, 1.5 stop bits may be asked of a server.
int CheckComPortSettings(const PortConfig& config);

// The settings a record asks for; flow control as the terminal driver reads the record (RTS/CTS
// wins over XON/XOFF when both are set).
ComPortSettings ComPortSettingsFromConfig(const PortConfig& config);

// The five requests that put `settings` in force: rate, data size, parity, stop size, flow.
std::vector<std::vector<uint8_t>> LineSettingRequests(const ComPortSettings& settings);
std::vector<uint8_t> ControlRequest(ComPortControl control);
// SET-MODEMSTATE-MASK: which modem-state changes the server reports.
std::vector<uint8_t> ModemStateMaskRequest(uint8_t mask);

// A message from the server, decoded.
struct ComPortNotice {
    enum class Kind : uint8_t {
        BaudRate,    // value: the rate in force
        DataSize,    // value: 5-8
        Parity,      // value: the record's numbering
        StopSize,    // value: the record's numbering
        Control,     // value: a ComPortControl value
        ModemState,  // value: a kMs* word
        Suspend,     // stop sending data until Resume
        Resume,
        Other,  // nothing the client acts on (signature, line state, purge, malformed)
    };
    Kind kind = Kind::Other;
    uint32_t value = 0;

    bool operator==(const ComPortNotice&) const = default;
};

ComPortNotice ParseServerMessage(std::span<const uint8_t> payload);

// The modem-state byte carries CTS, DSR, RI and CD in the same bits as the kMs* word; the low
// four bits (which lines changed) are dropped.
uint32_t ModemStatusFromWire(uint8_t state);

// Records a confirmation in `confirmed`; returns false for a notice that confirms nothing.
bool RecordConfirmation(const ComPortNotice& notice, ConfirmedSettings& confirmed);

// Whether the server put in force what was asked: every field answered, the rate within 2% (a
// UART's clock rounds it), everything else exactly.
bool ConfirmsRequest(const ConfirmedSettings& confirmed, const ComPortSettings& requested);

// Writes the confirmed fields into the record (rate, data bits, parity, stop bits, flow-control
// flags); fields the server never answered, and every other byte, keep their value.
void StoreConfirmedSettings(const ConfirmedSettings& confirmed, PortConfig& config);

}  // namespace vellor

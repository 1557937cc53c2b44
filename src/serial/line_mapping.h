#pragma once

#include "serial/port_config.h"
#include "serial/tty_line.h"

namespace vellor {

// DC1 and DC3: the XON/XOFF characters used when the record holds none.
constexpr uint8_t kDefaultXonChar = 0x11;
constexpr uint8_t kDefaultXoffChar = 0x13;

// Checks what no device can take: data bits outside 5-8, 1.5 or unknown stop bits, an unknown
// parity, a zero rate. Returns 0 or EINVAL.
int CheckLineSettings(const PortConfig& config);

// The terminal settings a DCB record asks for. Call CheckLineSettings first: values no device
// takes are not mapped faithfully.
TtyLine TtyLineFromConfig(const PortConfig& config);

// Writes rate, framing, flow control and XON/XOFF characters of `line` into `config`; every
// other byte keeps its value.
void StoreTtyLine(const TtyLine& line, PortConfig& config);

// Whether a device that kept `accepted` when asked for `requested` took the settings. The rate
// may differ by the clock's rounding (2%); `forcedFraming` (a pseudo-terminal, which always
// runs 8N1) excuses data bits, parity and stop bits.
bool LineAccepted(const TtyLine& requested, const TtyLine& accepted, bool forcedFraming);

}  // namespace vellor

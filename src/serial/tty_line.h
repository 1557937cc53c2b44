#pragma once

#include <cstdint>

namespace vellor {

// Line settings in terms of the terminal driver, kept free of <termios.h> types: the kernel's
// termios2 (the only way to set any rate) clashes with the C library's header, so tty_line.cpp
// is the one file that sees it.
struct TtyLine {
    uint32_t baud = 0;
    uint8_t dataBits = 8;  // 5 to 8
    uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    bool twoStopBits = false;
    bool rtsCts = false;
    bool xonOutput = false;  // honour XON/XOFF from the other side
    bool xonInput = false;   // send XON/XOFF to the other side
    uint8_t xonChar = 0x11;
    uint8_t xoffChar = 0x13;

    bool operator==(const TtyLine&) const = default;
};

// Puts the terminal in raw mode (no echo, no canonical input, no CR/NL translation, no signals,
// reads never wait) with `line`, then reads back into `accepted` what the driver kept. Returns 0
// or an errno value from the ioctls.
int SetTtyLine(int fd, const TtyLine& line, TtyLine& accepted);

// Reads the current settings. Returns 0 or an errno value.
int GetTtyLine(int fd, TtyLine& line);

// Everything the driver keeps for a terminal (modes, control characters, rates), so that a device
// can be handed back exactly as it was found.
struct TtySnapshot {
    alignas(8) unsigned char bytes[64] = {};
};
int SaveTty(int fd, TtySnapshot& snapshot);
// Applies a snapshot at once, without waiting for output to drain.
int RestoreTty(int fd, const TtySnapshot& snapshot);

// Drops whatever the driver still holds to transmit: a line held off by flow control would
// otherwise keep a close waiting until the driver's closing timeout (30 s by default).
void DiscardPendingOutput(int fd);

}  // namespace vellor

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

}  // namespace vellor

// The kernel's termios2 interface. Deliberately does not include <termios.h> or <sys/ioctl.h>:
// their definitions clash with the kernel headers below.
#include "serial/tty_line.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <cstring>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace vellor {
namespace {

tcflag_t SizeFlag(uint8_t dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

uint8_t DataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

tcflag_t ParityFlags(uint8_t parity) {
    switch (parity) {
        case 1:
            return PARENB | PARODD;
        case 2:
            return PARENB;
        case 3:
            return PARENB | CMSPAR | PARODD;  // mark: the parity bit is always 1
        case 4:
            return PARENB | CMSPAR;  // space: always 0
        default:
            return 0;
    }
}

uint8_t ParityOf(tcflag_t cflag) {
    if (!(cflag & PARENB)) return 0;
    const bool odd = cflag & PARODD;
    if (cflag & CMSPAR) return odd ? 3 : 4;
    return odd ? 1 : 2;
}

TtyLine LineOf(const termios2& t) {
    TtyLine line;
    line.baud = t.c_ospeed;
    line.dataBits = DataBitsOf(t.c_cflag);
    line.parity = ParityOf(t.c_cflag);
    line.twoStopBits = t.c_cflag & CSTOPB;
    line.rtsCts = t.c_cflag & CRTSCTS;
    line.xonOutput = t.c_iflag & IXON;
    line.xonInput = t.c_iflag & IXOFF;
    line.xonChar = t.c_cc[VSTART];
    line.xoffChar = t.c_cc[VSTOP];
    return line;
}

int Call(int fd, unsigned long request, termios2* t) {
    int result;
    do {
        result = ioctl(fd, request, t);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? errno : 0;
}

}  // namespace

int SetTtyLine(int fd, const TtyLine& line, TtyLine& accepted) {
    termios2 t{};
    if (int error = Call(fd, TCGETS2, &t)) return error;

    // Raw mode: bytes pass untouched in both directions.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                           IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
    // One byte minimum with no timer: a non-blocking read with nothing there fails with EAGAIN
    // instead of returning 0, so 0 can only mean the device hung up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    t.c_cflag &= ~tcflag_t(CBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag &= ~tcflag_t(CBAUD << IBSHIFT);  // input rate follows the output rate
    t.c_cflag |= BOTHER | CREAD | CLOCAL | SizeFlag(line.dataBits) | ParityFlags(line.parity);
    if (line.twoStopBits) t.c_cflag |= CSTOPB;
    if (line.rtsCts) t.c_cflag |= CRTSCTS;
    t.c_ospeed = line.baud;
    t.c_ispeed = line.baud;

    if (line.xonOutput) t.c_iflag |= IXON;
    if (line.xonInput) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = line.xonChar;
    t.c_cc[VSTOP] = line.xoffChar;

    if (int error = Call(fd, TCSETS2, &t)) return error;
    termios2 back{};
    if (int error = Call(fd, TCGETS2, &back)) return error;
    accepted = LineOf(back);
    return 0;
}

int SaveTty(int fd, TtySnapshot& snapshot) {
    static_assert(sizeof(termios2) <= sizeof(snapshot.bytes));
    termios2 t{};
    if (int error = Call(fd, TCGETS2, &t)) return error;
    std::memcpy(snapshot.bytes, &t, sizeof t);
    return 0;
}

int RestoreTty(int fd, const TtySnapshot& snapshot) {
    termios2 t;
    std::memcpy(&t, snapshot.bytes, sizeof t);
    return Call(fd, TCSETS2, &t);
}

void DiscardPendingOutput(int fd) {
    ioctl(fd, TCFLSH, TCOFLUSH);
}

int GetTtyLine(int fd, TtyLine& line) {
    termios2 t{};
    if (int error = Call(fd, TCGETS2, &t)) return error;
    line = LineOf(t);
    return 0;
}

}  // namespace vellor

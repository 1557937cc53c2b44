#include "serial/posix_serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>

#include "serial/line_mapping.h"
#include "serial/tty_line.h"

namespace vellor {
namespace {

// Pseudo-terminal slaves: the Unix98 majors 136-143 and the legacy major 3. Their driver always
// runs 8N1, whatever is asked.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    const unsigned m = major(st.st_rdev);
    return (m >= 136 && m <= 143) || m == 3;
}

}  // namespace

std::shared_ptr<PosixSerialDevice> PosixSerialDevice::Open(const std::string& path, int& error) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // Exclusive use belongs to the port, not to this opener: undo it on failure only when this
    // open set it, or a refused second open would lift the first one's exclusive use.
    bool setExclusive = false;
    auto fail = [&](int reason) -> std::shared_ptr<PosixSerialDevice> {
        if (setExclusive) ioctl(fd, TIOCNXCL);
        close(fd);
        error = reason;
        return nullptr;
    };
    if (!isatty(fd)) return fail(ENOTTY);
    // flock keeps out root, whom TIOCEXCL lets through, and a second open from this process; it
    // comes first so that losing it needs no undo. TIOCEXCL then keeps other opens out.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    int wasExclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &wasExclusive) != 0) wasExclusive = 0;
    if (ioctl(fd, TIOCEXCL) != 0) return fail(errno);
    setExclusive = wasExclusive == 0;
    // What the device was set to before, given back at close: a console or a terminal
    // someone else uses must not stay raw.
    TtySnapshot found;
    if (int reason = SaveTty(fd, found)) return fail(reason);
    TtyLine current, accepted;
    if (int reason = GetTtyLine(fd, current)) return fail(reason);
    if (int reason = SetTtyLine(fd, current, accepted)) {  // raw mode
        RestoreTty(fd, found);
        return fail(reason);
    }
    const int cancelFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancelFd < 0) {
        RestoreTty(fd, found);
        return fail(errno);
    }
    error = 0;
    return std::make_shared<PosixSerialDevice>(fd, cancelFd, IsPseudoTerminal(fd), found);
}

PosixSerialDevice::PosixSerialDevice(int fd, int cancelFd, bool pseudoTerminal,
                                     const TtySnapshot& found)
    : fd_(fd), cancelFd_(cancelFd), pseudoTerminal_(pseudoTerminal), found_(found) {}

PosixSerialDevice::~PosixSerialDevice() {
    Close();
}

int PosixSerialDevice::Configure(const PortConfig& config) {
    if (int error = CheckLineSettings(config)) return error;
    const TtyLine requested = TtyLineFromConfig(config);
    std::shared_lock lock(fdMutex_);
    if (fd_ < 0) return EBADF;
    TtyLine accepted;
    if (int error = SetTtyLine(fd_, requested, accepted)) return error;
    return LineAccepted(requested, accepted, pseudoTerminal_) ? 0 : EINVAL;
}

int PosixSerialDevice::ReadConfig(PortConfig& config) {
    std::shared_lock lock(fdMutex_);
    if (fd_ < 0) return EBADF;
    TtyLine line;
    if (int error = GetTtyLine(fd_, line)) return error;
    StoreTtyLine(line, config);
    return 0;
}

WriteResult PosixSerialDevice::Write(std::span<const uint8_t> bytes, int timeoutMs) {
    WriteResult result;
    if (interrupted_ || bytes.empty()) return result;
    std::shared_lock lock(fdMutex_);
    if (fd_ < 0) return result;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    while (result.written < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + result.written, bytes.size() - result.written);
        if (n > 0) {
            result.written += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            result.error = errno;  // the line failed
            return result;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return result;  // held off too long
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {cancelFd_, POLLIN, 0}};
        const int ready = poll(fds, 2, int(left.count()) + 1);
        if (ready < 0 && errno != EINTR) {
            result.error = errno;
            return result;
        }
        if (fds[1].revents != 0) return result;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            result.error = EIO;
            return result;
        }
    }
    return result;
}

WaitResult PosixSerialDevice::Wait(int timeoutMs) {
    if (interrupted_) return WaitResult::Interrupted;
    std::shared_lock lock(fdMutex_);
    if (fd_ < 0) return WaitResult::Interrupted;
    pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready <= 0) return WaitResult::Timeout;  // EINTR counts as a wake-up with nothing to do
    if (fds[1].revents != 0) return WaitResult::Interrupted;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) hangUpSeen_ = true;
    return fds[0].revents != 0 ? WaitResult::Ready : WaitResult::Timeout;
}

ReadResult PosixSerialDevice::Read(std::span<uint8_t> buffer) {
    std::shared_lock lock(fdMutex_);
    if (fd_ < 0) return {ReadStatus::Lost, 0, EBADF};
    ssize_t got;
    do {
        got = read(fd_, buffer.data(), buffer.size());
    } while (got < 0 && errno == EINTR);
    if (got > 0) return {ReadStatus::Data, std::size_t(got), 0};
    if (got == 0) return {ReadStatus::Lost, 0, ENODEV};  // hung up: reads would return 0 forever
    if (errno != EAGAIN) return {ReadStatus::Lost, 0, errno};
    // Nothing to read although poll reported a hang-up or error: the device will not recover.
    if (hangUpSeen_) return {ReadStatus::Lost, 0, EIO};
    return {ReadStatus::Empty, 0, 0};
}

void PosixSerialDevice::SetModemLine(int line, bool raised) {
    std::shared_lock lock(fdMutex_);
    if (fd_ < 0) return;
    ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &line);  // ENOTTY on pseudo-terminals: ignored
}

void PosixSerialDevice::SetDtr(bool raised) {
    SetModemLine(TIOCM_DTR, raised);
}
void PosixSerialDevice::SetRts(bool raised) {
    SetModemLine(TIOCM_RTS, raised);
}

uint32_t PosixSerialDevice::ModemStatus() {
    std::shared_lock lock(fdMutex_);
    if (fd_ < 0) return 0;
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) return 0;
    uint32_t status = 0;
    if (lines & TIOCM_CTS) status |= kMsCtsOn;
    if (lines & TIOCM_DSR) status |= kMsDsrOn;
    if (lines & TIOCM_RNG) status |= kMsRingOn;
    if (lines & TIOCM_CAR) status |= kMsRlsdOn;
    return status;
}

void PosixSerialDevice::SendBreak(int ms) {
    std::shared_lock lock(fdMutex_);
    if (fd_ < 0 || interrupted_) return;
    if (ioctl(fd_, TIOCSBRK) != 0) return;  // a pseudo-terminal has no break to send
    pollfd cancel{cancelFd_, POLLIN, 0};
    poll(&cancel, 1, ms);  // the break lasts `ms`, or until the device is closed
    ioctl(fd_, TIOCCBRK);
}

std::optional<LineCounters> PosixSerialDevice::Counters() {
    std::shared_lock lock(fdMutex_);
    if (fd_ < 0) return std::nullopt;
    serial_icounter_struct counts{};
    if (ioctl(fd_, TIOCGICOUNT, &counts) != 0) return std::nullopt;
    LineCounters c;
    c.framing = uint64_t(counts.frame);
    c.parity = uint64_t(counts.parity);
    c.overrun = uint64_t(counts.overrun);
    c.bufferOverrun = uint64_t(counts.buf_overrun);
    c.breaks = uint64_t(counts.brk);
    return c;
}

void PosixSerialDevice::Interrupt() {
    interrupted_ = true;
    std::shared_lock lock(fdMutex_);
    if (cancelFd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(cancelFd_, &one, sizeof one);
}

void PosixSerialDevice::Close() {
    Interrupt();
    std::unique_lock lock(fdMutex_);
    if (fd_ >= 0) {
        // Bytes still waiting for the line are lost anyway once the user closes; dropping them
        // first means the close never waits for a line held off by flow control.
        DiscardPendingOutput(fd_);
        RestoreTty(fd_, found_);
        ioctl(fd_, TIOCNXCL);
        close(fd_);  // also drops the flock
        fd_ = -1;
    }
    if (cancelFd_ >= 0) {
        close(cancelFd_);
        cancelFd_ = -1;
    }
}

}  // namespace vellor

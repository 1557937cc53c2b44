#include "serial/network_serial_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

namespace vellor {
namespace {

constexpr std::size_t kInboxCapacity = 256 * 1024;
constexpr std::size_t kReadChunk = 64 * 1024;
// The I/O thread reads only with at least this much room in the inbox, so a nearly full inbox
// costs no stream of tiny reads.
constexpr std::size_t kMinReadRoom = 4096;
// Data queued beyond what the socket took; a writer waits for room past this.
constexpr std::size_t kOutboxLimit = 64 * 1024;
// Every modem-state change is worth a notice: the four lines and their change bits.
constexpr uint8_t kModemStateMask = 0xFF;

constexpr uint8_t kOurOptions[] = {telnet::kBinary, telnet::kSuppressGoAhead, kComPortOption};
constexpr uint8_t kTheirOptions[] = {telnet::kBinary, telnet::kSuppressGoAhead};

constexpr char kRawTcpNote[] =
    "A raw TCP port carries bytes only: line settings, DTR, RTS and break do not reach the serial "
    "line.";
constexpr char kRefusedNote[] =
    "The server did not take the RFC 2217 serial-port option: line settings, DTR, RTS and break "
    "do not reach the serial line.";

std::chrono::steady_clock::time_point DeadlineIn(int ms) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(ms, 0));
}

}  // namespace

// Takes what the telnet decoder hands on, with the device's mutex_ held by the I/O thread.
class NetworkSerialDevice::Decoder final : public TelnetSink {
  public:
    explicit Decoder(NetworkSerialDevice& device) : d_(device) {}

    void Data(std::span<const uint8_t> bytes) override { d_.PushInboxLocked(bytes); }

    void Negotiation(uint8_t verb, uint8_t option) override {
        const bool wasTaken = d_.ComPortTaken();
        std::vector<uint8_t> answer;
        d_.options_.Receive(verb, option, answer);
        d_.QueueLocked(answer);
        // Ask for modem-state notices as soon as the option is on, whenever that is.
        if (!wasTaken && d_.ComPortTaken()) {
            d_.SendComPortLocked(ModemStateMaskRequest(kModemStateMask));
        }
    }

    void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override {
        if (option != kComPortOption) return;
        const ComPortNotice notice = ParseServerMessage(payload);
        switch (notice.kind) {
            case ComPortNotice::Kind::ModemState:
                d_.modemStatus_ = notice.value;
                d_.linesChanged_ = true;
                break;
            case ComPortNotice::Kind::Suspend:
                d_.suspended_ = true;
                break;
            case ComPortNotice::Kind::Resume:
                d_.suspended_ = false;
                break;
            default:
                if (RecordConfirmation(notice, d_.confirmed_)) {
                    RecordConfirmation(notice, d_.freshConfirmed_);
                }
                break;
        }
    }

    void Command(uint8_t) override {}  // NOP, GA, a break from the server: nothing to do

  private:
    NetworkSerialDevice& d_;
};

std::shared_ptr<NetworkSerialDevice> NetworkSerialDevice::Open(const std::string& portName,
                                                               int& error) {
    return Open(portName, error, Timeouts{});
}

std::shared_ptr<NetworkSerialDevice> NetworkSerialDevice::Open(const std::string& portName,
                                                               int& error,
                                                               const Timeouts& timeouts) {
    const auto endpoint = ParseNetworkPortName(portName);
    if (!endpoint) {
        error = EINVAL;
        return nullptr;
    }
    const int fd = ConnectToEndpoint(*endpoint, timeouts.connectMs, error);
    if (fd < 0) return nullptr;
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        error = errno;
        close(fd);
        return nullptr;
    }
    auto device = std::make_shared<NetworkSerialDevice>(fd, wakeFd, endpoint->protocol, timeouts);
    if (const int reason = device->Start(timeouts.negotiationMs)) {
        device->Close();
        error = reason;
        return nullptr;
    }
    error = 0;
    return device;
}

NetworkSerialDevice::NetworkSerialDevice(int socketFd, int wakeFd, NetworkProtocol protocol,
                                         const Timeouts& timeouts)
    : protocol_(protocol),
      timeouts_(timeouts),
      fd_(socketFd),
      wakeFd_(wakeFd),
      inbox_(kInboxCapacity) {}

NetworkSerialDevice::~NetworkSerialDevice() {
    Close();
}

int NetworkSerialDevice::Start(int negotiationMs) {
    std::unique_lock lock(mutex_);
    if (TelnetOn()) {
        // Asked before the I/O thread reads anything, so the server's own offers (ser2net sends
        // DO COM-PORT-OPTION unasked) always meet a request already made.
        options_.Accept(kOurOptions, kTheirOptions);
        std::vector<uint8_t> offers;
        for (uint8_t option : kOurOptions)
            options_.AskOurs(option, offers);
        for (uint8_t option : kTheirOptions)
            options_.AskTheirs(option, offers);
        QueueLocked(offers);
    }
    try {
        io_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        return e.code().value();  // no thread to be had: EAGAIN
    }
    if (!TelnetOn()) return 0;
    changed_.wait_until(lock, DeadlineIn(negotiationMs), [&] {
        return lostError_ != 0 || ComPortDecision() != OptionDecision::Waiting;
    });
    return lostError_;  // no answer in time is no failure: the option counts as refused
}

NetworkSerialDevice::OptionDecision NetworkSerialDevice::ComPortDecision() const {
    switch (options_.Ours(kComPortOption)) {
        case OptionState::On:
            return OptionDecision::Taken;
        case OptionState::Asked:
            return OptionDecision::Waiting;
        case OptionState::Off:
            break;
    }
    return OptionDecision::Refused;
}

void NetworkSerialDevice::Run() {
    const int fd = fd_;  // fixed while this thread runs: Close() joins it before closing
    const int wakeFd = wakeFd_;
    std::vector<uint8_t> buffer(kReadChunk);
    TelnetDecoder decoder;
    Decoder sink(*this);
    for (;;) {
        std::size_t room = 0;
        short events = 0;
        {
            std::lock_guard lock(mutex_);
            if (interrupted_ || lostError_ != 0) return;
            room = std::min(InboxFreeLocked(), kReadChunk);
            if (room >= kMinReadRoom) events |= POLLIN;
            if (OutboxPendingLocked() > 0) events |= POLLOUT;
        }
        // Without anything to wait for on the socket it is left out, so a hang-up it reports
        // cannot spin this loop while the inbox is full.
        pollfd fds[2] = {{events != 0 ? fd : -1, events, 0}, {wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            const int reason = errno;
            if (reason == EINTR) continue;
            std::lock_guard lock(mutex_);
            LoseLocked(reason);
            return;
        }
        if (fds[1].revents != 0) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t ignored = read(wakeFd, &count, sizeof count);
        }
        const short got = fds[0].revents;
        if (got & POLLOUT) {
            std::lock_guard lock(mutex_);
            FlushLocked();
        }
        if ((events & POLLIN) && (got & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = recv(fd, buffer.data(), room, MSG_DONTWAIT);
            const int reason = n == 0 ? ECONNRESET : errno;  // closed by the server, or failed
            if (n < 0 && (reason == EAGAIN || reason == EWOULDBLOCK || reason == EINTR)) continue;
            std::lock_guard lock(mutex_);
            if (n <= 0) {
                LoseLocked(reason);
                return;
            }
            const std::span<const uint8_t> received(buffer.data(), std::size_t(n));
            if (TelnetOn()) {
                decoder.Feed(received, sink);
            } else {
                PushInboxLocked(received);
            }
            changed_.notify_all();
        }
    }
}

void NetworkSerialDevice::PushInboxLocked(std::span<const uint8_t> bytes) {
    // The I/O thread never reads more than the free room, and decoding only shrinks.
    const std::size_t end = (inboxStart_ + inboxCount_) % inbox_.size();
    const std::size_t first = std::min(bytes.size(), inbox_.size() - end);
    std::memcpy(inbox_.data() + end, bytes.data(), first);
    std::memcpy(inbox_.data(), bytes.data() + first, bytes.size() - first);
    inboxCount_ += bytes.size();
}

void NetworkSerialDevice::QueueLocked(std::span<const uint8_t> frame) {
    if (frame.empty() || fd_ < 0 || lostError_ != 0) return;
    outbox_.insert(outbox_.end(), frame.begin(), frame.end());
    FlushLocked();
}

void NetworkSerialDevice::SendComPortLocked(std::span<const uint8_t> payload) {
    std::vector<uint8_t> frame;
    AppendSubnegotiation(kComPortOption, payload, frame);
    QueueLocked(frame);
}

void NetworkSerialDevice::SendControlLocked(ComPortControl control) {
    SendComPortLocked(ControlRequest(control));
}

void NetworkSerialDevice::FlushLocked() {
    while (OutboxPendingLocked() > 0 && fd_ >= 0) {
        const ssize_t n = send(fd_, outbox_.data() + outboxSent_, OutboxPendingLocked(),
                               MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            outboxSent_ += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        LoseLocked(n < 0 ? errno : EPIPE);
        return;
    }
    if (OutboxPendingLocked() == 0) {
        outbox_.clear();
        outboxSent_ = 0;
        changed_.notify_all();  // room for held-off writers
    } else {
        if (outboxSent_ >= kOutboxLimit) {  // drop what went, now and then rather than per send
            outbox_.erase(outbox_.begin(), outbox_.begin() + std::ptrdiff_t(outboxSent_));
            outboxSent_ = 0;
        }
        WakeIoLocked();  // the I/O thread sends the rest when the socket has room
    }
}

void NetworkSerialDevice::LoseLocked(int error) {
    if (lostError_ == 0) lostError_ = error;
    outbox_.clear();
    outboxSent_ = 0;
    WakeIoLocked();  // it ends, whatever it was waiting for
    changed_.notify_all();
}

void NetworkSerialDevice::WakeIoLocked() {
    if (wakeFd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(wakeFd_, &one, sizeof one);
}

int NetworkSerialDevice::Configure(const PortConfig& config) {
    std::lock_guard one(configureMutex_);
    std::unique_lock lock(mutex_);
    if (closed_ || interrupted_) return EBADF;
    if (!TelnetOn() || !ComPortTaken()) return 0;  // nothing is sent, so nothing can fail
    if (CheckComPortSettings(config) != 0) return EINVAL;
    const ComPortSettings requested = ComPortSettingsFromConfig(config);
    freshConfirmed_ = {};
    for (const auto& request : LineSettingRequests(requested))
        SendComPortLocked(request);
    changed_.wait_until(lock, DeadlineIn(timeouts_.confirmMs), [&] {
        return interrupted_ || lostError_ != 0 || freshConfirmed_.Complete();
    });
    if (interrupted_) return EBADF;
    if (lostError_ != 0) return lostError_;
    return ConfirmsRequest(freshConfirmed_, requested) ? 0 : EINVAL;
}

int NetworkSerialDevice::ReadConfig(PortConfig& config) {
    std::lock_guard lock(mutex_);
    if (closed_) return EBADF;
    StoreConfirmedSettings(confirmed_, config);
    config.SetDCBlength(PortConfig::kSize);
    return 0;
}

WriteResult NetworkSerialDevice::Write(std::span<const uint8_t> bytes, int timeoutMs) {
    WriteResult result;
    const auto deadline = DeadlineIn(timeoutMs);
    std::unique_lock lock(mutex_);
    while (result.written < bytes.size()) {
        const bool ready = changed_.wait_until(lock, deadline, [&] {
            return interrupted_ || lostError_ != 0 ||
                   (!suspended_ && OutboxPendingLocked() < kOutboxLimit);
        });
        if (interrupted_ || closed_) break;
        if (lostError_ != 0) {
            result.error = lostError_;
            break;
        }
        if (!ready) break;  // held off too long
        const std::size_t n =
            std::min(bytes.size() - result.written, kOutboxLimit - OutboxPendingLocked());
        const auto chunk = bytes.subspan(result.written, n);
        if (TelnetOn()) {
            AppendEscaped(chunk, outbox_);
        } else {
            outbox_.insert(outbox_.end(), chunk.begin(), chunk.end());
        }
        result.written += n;
        FlushLocked();
    }
    return result;
}

WaitResult NetworkSerialDevice::Wait(int timeoutMs) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [&] {
        return interrupted_ || inboxCount_ > 0 || lostError_ != 0 || linesChanged_;
    });
    if (interrupted_) return WaitResult::Interrupted;
    linesChanged_ = false;
    return inboxCount_ > 0 || lostError_ != 0 ? WaitResult::Ready : WaitResult::Timeout;
}

ReadResult NetworkSerialDevice::Read(std::span<uint8_t> buffer) {
    std::lock_guard lock(mutex_);
    if (closed_) return {ReadStatus::Lost, 0, EBADF};
    if (inboxCount_ == 0) {
        if (lostError_ != 0) return {ReadStatus::Lost, 0, lostError_};
        return {ReadStatus::Empty, 0, 0};
    }
    const bool wasShort = InboxFreeLocked() < kMinReadRoom;
    const std::size_t count = std::min(buffer.size(), inboxCount_);
    const std::size_t first = std::min(count, inbox_.size() - inboxStart_);
    std::memcpy(buffer.data(), inbox_.data() + inboxStart_, first);
    std::memcpy(buffer.data() + first, inbox_.data(), count - first);
    inboxStart_ = (inboxStart_ + count) % inbox_.size();
    inboxCount_ -= count;
    if (wasShort && InboxFreeLocked() >= kMinReadRoom) WakeIoLocked();  // reading may go on
    return {ReadStatus::Data, count, 0};
}

void NetworkSerialDevice::SetDtr(bool raised) {
    std::lock_guard lock(mutex_);
    if (!closed_ && ComPortTaken())
        SendControlLocked(raised ? ComPortControl::DtrOn : ComPortControl::DtrOff);
}

void NetworkSerialDevice::SetRts(bool raised) {
    std::lock_guard lock(mutex_);
    if (!closed_ && ComPortTaken())
        SendControlLocked(raised ? ComPortControl::RtsOn : ComPortControl::RtsOff);
}

uint32_t NetworkSerialDevice::ModemStatus() {
    std::lock_guard lock(mutex_);
    return closed_ ? 0 : modemStatus_;
}

std::string NetworkSerialDevice::LineSettingsNote() const {
    if (!TelnetOn()) return kRawTcpNote;
    std::lock_guard lock(mutex_);
    return ComPortTaken() ? std::string() : kRefusedNote;
}

void NetworkSerialDevice::SendBreak(int ms) {
    std::unique_lock lock(mutex_);
    if (closed_ || interrupted_ || !TelnetOn()) return;
    if (!ComPortTaken()) {
        // Without the option, telnet's own break is what a server may pass on to the line.
        const uint8_t brk[] = {telnet::kIac, telnet::kBrk};
        QueueLocked(brk);
        return;
    }
    SendControlLocked(ComPortControl::BreakOn);
    changed_.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)),
                      [&] { return interrupted_; });
    SendControlLocked(ComPortControl::BreakOff);  // also when closing: never leave the line held
}

std::optional<LineCounters> NetworkSerialDevice::Counters() {
    return std::nullopt;  // the option carries no error counts
}

void NetworkSerialDevice::Interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    WakeIoLocked();
    changed_.notify_all();
}

void NetworkSerialDevice::Close() {
    Interrupt();
    std::lock_guard one(closeMutex_);  // two closers must not both join
    if (io_.joinable()) io_.join();
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
    // What the socket has not taken is dropped, as a local port drops its pending output.
    outbox_.clear();
    outboxSent_ = 0;
    inboxCount_ = 0;
    if (fd_ >= 0) close(fd_);
    if (wakeFd_ >= 0) close(wakeFd_);
    fd_ = wakeFd_ = -1;
    changed_.notify_all();
}

}  // namespace vellor

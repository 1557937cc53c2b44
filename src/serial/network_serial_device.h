#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/com_port_option.h"
#include "serial/network_endpoint.h"
#include "serial/serial_device.h"
#include "serial/telnet_stream.h"

namespace vellor {

// A serial port across the network: "rfc2217://HOST:PORT" talks telnet with the serial-port option
// (RFC 2217) to a port server such as ser2net, "tcp://HOST:PORT" carries bytes as they are.
// Vellor only ever connects out; nothing here listens.
//
// Principles of operation
// - One I/O thread per device reads the socket. For RFC 2217 it decodes telnet: it answers option
//   negotiation, records the settings the server confirms, the modem state it notifies, and its
//   flow-control suspend and resume. Data bytes go to an inbox that Wait() and Read() take from.
//   A full inbox stops the reading, so a slow receiver holds the server back through TCP instead
//   of growing memory.
// - Everything sent goes through one outbox that always ends at a telnet frame boundary: a write
//   or a control message appends whole frames and sends at once what the socket takes; the I/O
//   thread sends the rest when the socket has room. So a control message never lands inside an
//   escaped 0xFF pair, and no caller waits for the socket while holding the lock.
// - Every field below is guarded by mutex_; the lock is never held across a wait on the network.
//   The socket is used only under mutex_ or by the I/O thread; Close() wakes the thread through
//   wakeFd_, joins it, and closes the socket under mutex_, so nothing reaches a closed or reused
//   descriptor.
//
// Thread rules: as SerialDevice, every operation from any thread. Configure() waits for the
// server's confirmations (at most Timeouts::confirmMs: a server that ignores a setting, as ser2net
// does 1.5 stop bits, costs that long); SendBreak() for the break; Write() for room and for a
// suspend to be lifted, at most its time-out. The rest never waits on the network.
class NetworkSerialDevice final : public SerialDevice {
  public:
    struct Timeouts {
        int connectMs = 5000;      // resolving aside, connecting to all addresses together
        int negotiationMs = 3000;  // for the server to take or refuse the serial-port option
        int confirmMs = 2000;      // for the server to confirm line settings
    };

    // Parses the name (EINVAL when malformed), connects (see ConnectToEndpoint for the errors) and,
    // for RFC 2217, negotiates binary both ways, suppress-go-ahead and the serial-port option. A
    // server that refuses the option, or does not answer in time, still carries data; its
    // LineSettingsNote() says so. Blocks up to the connect and negotiation time-outs.
    static std::shared_ptr<NetworkSerialDevice> Open(const std::string& portName, int& error);
    static std::shared_ptr<NetworkSerialDevice> Open(const std::string& portName, int& error,
                                                     const Timeouts& timeouts);

    // Takes a connected socket and an eventfd; call Open() instead.
    NetworkSerialDevice(int socketFd, int wakeFd, NetworkProtocol protocol,
                        const Timeouts& timeouts);
    ~NetworkSerialDevice() override;
    NetworkSerialDevice(const NetworkSerialDevice&) = delete;
    NetworkSerialDevice& operator=(const NetworkSerialDevice&) = delete;

    // RFC 2217 with the option taken: sends the five line settings and waits for the server to
    // confirm them. 0 when it confirms what was asked; EINVAL for settings no line takes, or when
    // the server put something else in force or left a setting unanswered (how servers refuse).
    // Raw TCP, or a server that refused the option: 0, nothing is sent.
    int Configure(const PortConfig& config) override;
    // What the server confirmed; fields it never confirmed (all of them on raw TCP) keep the
    // record's value.
    int ReadConfig(PortConfig& config) override;
    WriteResult Write(std::span<const uint8_t> bytes, int timeoutMs) override;
    // Wakes for data, a lost connection, Interrupt(), and a modem-state notice (then Timeout, so
    // the caller samples ModemStatus() at once).
    WaitResult Wait(int timeoutMs) override;
    // Data bytes only; a dropped connection reads as Lost (ECONNRESET, or the socket's error)
    // once everything received before it was read.
    ReadResult Read(std::span<uint8_t> buffer) override;
    void SetDtr(bool raised) override;
    void SetRts(bool raised) override;
    // The lines from the server's last modem-state notice; 0 without the option.
    uint32_t ModemStatus() override;
    std::string LineSettingsNote() const override;
    void SendBreak(int ms) override;
    std::optional<LineCounters> Counters() override;
    void Interrupt() override;
    void Close() override;

  private:
    class Decoder;
    friend class Decoder;
    enum class OptionDecision : uint8_t { Waiting, Taken, Refused };

    // Starts the I/O thread and, for RFC 2217, negotiates; 0 or why the connection failed.
    int Start(int negotiationMs);
    void Run();  // the I/O thread
    bool TelnetOn() const { return protocol_ == NetworkProtocol::Rfc2217; }

    // All of these need mutex_ held.
    OptionDecision ComPortDecision() const;
    bool ComPortTaken() const { return ComPortDecision() == OptionDecision::Taken; }
    void SendControlLocked(ComPortControl control);
    void SendComPortLocked(std::span<const uint8_t> payload);
    void QueueLocked(std::span<const uint8_t> frame);
    void FlushLocked();
    void LoseLocked(int error);
    void WakeIoLocked();
    std::size_t OutboxPendingLocked() const { return outbox_.size() - outboxSent_; }
    std::size_t InboxFreeLocked() const { return inbox_.size() - inboxCount_; }
    void PushInboxLocked(std::span<const uint8_t> bytes);

    const NetworkProtocol protocol_;
    const Timeouts timeouts_;
    std::mutex configureMutex_;  // one Configure() at a time, so confirmations are matched
    std::mutex closeMutex_;      // one Close() joins the I/O thread; another waits for it

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int fd_;
    int wakeFd_;  // eventfd: the I/O thread looks again (and ends once interrupted_)
    std::thread io_;
    bool interrupted_ = false;
    bool closed_ = false;
    int lostError_ = 0;  // the connection is gone, for this reason

    std::vector<uint8_t> inbox_;  // ring of received data bytes
    std::size_t inboxStart_ = 0;
    std::size_t inboxCount_ = 0;
    std::vector<uint8_t> outbox_;  // bytes for the socket; outbox_[outboxSent_..] still to go
    std::size_t outboxSent_ = 0;

    TelnetOptions options_;
    uint32_t modemStatus_ = 0;
    bool linesChanged_ = false;  // wakes Wait() so the new lines are sampled at once
    bool suspended_ = false;     // the server asked us to stop sending data
    ConfirmedSettings confirmed_;
    ConfirmedSettings freshConfirmed_;  // answers since the last Configure() sent its requests
};

}  // namespace vellor

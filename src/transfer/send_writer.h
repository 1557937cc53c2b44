#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "transfer/send_pacing.h"

namespace vellor {

struct AppState;

// A send's progress, left by its thread for the UI thread to read.
struct SendCounters {
    std::atomic<uint64_t> done{0};      // bytes of the file or paste handed on
    std::atomic<uint64_t> total{0};     // bytes of the file or paste
    std::atomic<bool> heldOff{false};   // the line has taken nothing for over a second
    std::atomic<int64_t> startedNs{0};  // SendClock at the first byte, in ns; 0 before
};

// How a writer learns that its send was stopped, and rests without missing a stop.
class SendControl {
  public:
    virtual bool KeepSending() const = 0;
    // Waits until `due`, or less when the send is stopped meanwhile; false once stopped.
    virtual bool RestUntil(SendClock::time_point due) = 0;

  protected:
    ~SendControl() = default;
};

// Hands a send's bytes, piece by piece, to the port, then the echo, then (for a paste, as typing
// would) the capture file: each CR followed by LF when txCrLf is on, paced as asked. A line that
// holds the bytes off is waited for as long as the send goes on, so nothing is dropped while a
// port is open; with none open the bytes are dropped and the echo still shows them. A stop is
// seen within kSendWaitMs. Send thread only.
class SendWriter {
  public:
    enum class Outcome : uint8_t { Sent, Stopped, Failed };

    SendWriter(AppState& state, const SendPacing& pacing, bool capture, SendControl& control,
               SendCounters& counters);
    ~SendWriter();
    SendWriter(const SendWriter&) = delete;
    SendWriter& operator=(const SendWriter&) = delete;

    // Sends the next piece of the file or paste. After Failed, Error() says why.
    Outcome Send(std::span<const uint8_t> source);
    int Error() const { return error_; }

  private:
    Outcome WriteRun(std::span<const uint8_t> run);
    void Deliver(std::span<const uint8_t> wire);
    bool Rest(const Pause& pause);
    bool AwaitEcho();

    AppState& state_;
    const SendPacing pacing_;
    const bool capture_;
    SendControl& control_;
    SendCounters& counters_;
    int error_ = 0;

    // The piece in hand: its bytes, the same on the wire, and how far each has been handed on.
    std::span<const uint8_t> source_;
    std::vector<uint8_t> wire_;
    bool addLf_ = false;
    std::size_t sourceDone_ = 0;  // source bytes whose wire bytes are all out
    std::size_t wireDone_ = 0;    // wire bytes handed on
    std::size_t wireMark_ = 0;    // where the first source byte not yet done starts on the wire

    // Pacing across pieces: the last byte written, when its run was due and when it went out.
    std::optional<uint8_t> previous_;
    SendClock::time_point due_;
    SendClock::time_point sentAt_;
};

// How long one write may wait for the line before the writer looks for a stop again.
inline constexpr int kSendWaitMs = 50;

}  // namespace vellor

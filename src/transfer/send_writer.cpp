#include "transfer/send_writer.h"

#include <algorithm>

#include "app/app_state.h"
#include "base/control_bytes.h"
#include "screen/screen.h"
#include "serial/port_connection.h"
#include "serial/receive_path.h"
#include "serial/serial_device.h"

namespace vellor {
namespace {

// The line counts as holding the bytes off once it has taken nothing for as long as a typed key
// waits before its byte is dropped.
constexpr auto kHeldOffAfter = std::chrono::milliseconds(kWriteTimeoutMs);
constexpr auto kSendWait = std::chrono::milliseconds(kSendWaitMs);

}  // namespace

SendWriter::SendWriter(AppState& state, const SendPacing& pacing, bool capture,
                       SendControl& control, SendCounters& counters)
    : state_(state), pacing_(pacing), capture_(capture), control_(control), counters_(counters) {}

SendWriter::~SendWriter() {
    // A stop can come between listening for an echo and waiting for it.
    if (pacing_.waitForEcho) state_.echoWatch.StopListening();
}

SendWriter::Outcome SendWriter::Send(std::span<const uint8_t> source) {
    // Read once per piece: a change of the option applies from the next piece on.
    addLf_ = state_.txCrLf.load() != 0;
    source_ = source;
    sourceDone_ = wireDone_ = wireMark_ = 0;
    wire_.clear();
    for (uint8_t b : source) {
        wire_.push_back(b);
        if (b == kCR && addLf_) wire_.push_back(kLF);
    }

    Outcome outcome = Outcome::Sent;
    std::size_t from = 0;
    while (from < wire_.size() && outcome == Outcome::Sent) {
        // Unpaced, the whole piece is one run; paced, a run ends wherever a pause is owed.
        std::size_t end = wire_.size();
        if (pacing_.Paced()) {
            if (!previous_) {
                due_ = SendClock::now();
            } else if (!Rest(PauseBetween(*previous_, wire_[from], pacing_))) {
                outcome = Outcome::Stopped;
                break;
            }
            end = from + 1;
            while (end < wire_.size() && !PauseBetween(wire_[end - 1], wire_[end], pacing_).Any())
                ++end;
            // A quick device echoes before the write returns: listen first.
            if (pacing_.waitForEcho && MayEndLine(wire_[end - 1]))
                state_.echoWatch.Listen(wire_[end - 1]);
        }
        outcome = WriteRun(std::span(wire_).subspan(from, end - from));
        previous_ = wire_[end - 1];
        sentAt_ = SendClock::now();
        from = end;
    }
    if (capture_) state_.captureFile.Flush();
    return outcome;
}

SendWriter::Outcome SendWriter::WriteRun(std::span<const uint8_t> run) {
    auto lastTaken = SendClock::now();
    while (!run.empty()) {
        if (!control_.KeepSending()) return Outcome::Stopped;
        const auto tried = SendClock::now();
        const PortWrite wrote = WritePortBytes(state_, run, kSendWaitMs);
        Deliver(run.first(wrote.written));
        run = run.subspan(wrote.written);
        if (wrote.error != 0) {
            error_ = wrote.error;
            return Outcome::Failed;
        }
        if (wrote.noPort) {
            Deliver(run);  // a closed port drops the bytes; the echo still shows them
            break;
        }
        if (wrote.written > 0) {
            lastTaken = SendClock::now();
            counters_.heldOff = false;
            continue;
        }
        if (SendClock::now() - lastTaken >= kHeldOffAfter) counters_.heldOff = true;
        // A device being closed answers at once: it is never asked again sooner than a wait for
        // the line would have ended.
        if (!control_.RestUntil(tried + kSendWait)) return Outcome::Stopped;
    }
    counters_.heldOff = false;
    return Outcome::Sent;
}

void SendWriter::Deliver(std::span<const uint8_t> wire) {
    if (wire.empty()) return;
    // The echo takes the screen lock a slice at a time, as received bytes do, so a big piece
    // never holds off the painting.
    for (std::size_t at = 0; state_.echo.load() != 0 && at < wire.size(); at += kReceiveSlice)
        PutBytes(state_, wire.subspan(at, std::min(kReceiveSlice, wire.size() - at)));
    if (capture_ && state_.txCapture.load() != 0) state_.captureFile.Append(wire);
    // A byte of the source counts as handed on once all its bytes on the wire are.
    wireDone_ += wire.size();
    const std::size_t before = sourceDone_;
    while (sourceDone_ < source_.size()) {
        const std::size_t width = addLf_ && source_[sourceDone_] == kCR ? 2 : 1;
        if (wireMark_ + width > wireDone_) break;
        wireMark_ += width;
        ++sourceDone_;
    }
    counters_.done += sourceDone_ - before;
}

bool SendWriter::Rest(const Pause& pause) {
    if (!pause.Any()) return true;
    SendClock::time_point sent = sentAt_;
    if (pause.awaitEcho) {
        if (!AwaitEcho()) return false;
        sent = SendClock::now();  // the line's pause counts from its echo
    }
    due_ = NextDue(due_, sent, pause.delay);
    return control_.RestUntil(due_);
}

bool SendWriter::AwaitEcho() {
    const auto deadline = sentAt_ + std::chrono::milliseconds(pacing_.echoTimeoutMs);
    bool going = true;
    // With no port open nothing can come back.
    while (PortIsOpen(state_)) {
        const auto now = SendClock::now();
        if (now >= deadline || state_.echoWatch.WaitUntil(std::min(deadline, now + kSendWait)))
            break;
        if (!control_.KeepSending()) {
            going = false;
            break;
        }
    }
    state_.echoWatch.StopListening();
    return going;
}

}  // namespace vellor

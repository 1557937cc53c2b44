#include "transfer/send_pacing.h"

#include "base/control_bytes.h"

namespace vellor {

bool MayEndLine(uint8_t byte) {
    return byte == kCR || byte == kLF;
}

Pause PauseBetween(uint8_t previous, uint8_t next, const SendPacing& pacing) {
    const bool lineEnd = previous == kLF || (previous == kCR && next != kLF);
    Pause pause;
    pause.delay =
        std::chrono::milliseconds(pacing.charDelayMs + (lineEnd ? pacing.lineDelayMs : 0));
    pause.awaitEcho = lineEnd && pacing.waitForEcho;
    return pause;
}

SendClock::time_point NextDue(SendClock::time_point due, SendClock::time_point sent,
                              std::chrono::milliseconds pause) {
    return (sent - due > kOnTimeSlack ? sent : due) + pause;
}

}  // namespace vellor

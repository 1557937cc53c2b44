// The pauses between two bytes of a paced send, and when the next byte is due.
#include <gtest/gtest.h>

#include "transfer/send_pacing.h"

namespace vellor::testing {
namespace {

using std::chrono::milliseconds;

TEST(SendPacing, PausesGoBetweenBytesAndLinesEndAfterTheirLastByte) {
    const SendPacing paced{3, 20, true, 500};
    const SendPacing lineOnly{0, 20, false, 500};
    struct Case {
        uint8_t previous, next;
        SendPacing pacing;
        Pause pause;
    };
    const Case cases[] = {
        {'a', 'b', paced, {milliseconds(3), false}},
        {'\r', '\n', paced, {milliseconds(3), false}},  // CR LF is not split
        {'\n', 'a', paced, {milliseconds(23), true}},
        {'\r', 'a', paced, {milliseconds(23), true}},
        {'\r', '\r', paced, {milliseconds(23), true}},
        {'\n', '\n', lineOnly, {milliseconds(20), false}},
        {'\n', '\r', SendPacing{}, {}},
        {'a', '\n', lineOnly, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PauseBetween(c.previous, c.next, c.pacing), c.pause)
            << int(c.previous) << " " << int(c.next);
    }
}

// A schedule counts from when each byte was due, so wake-up delays do not add up; a byte that
// went out late moves it, so the next never comes early.
TEST(SendPacing, TheNextByteIsDueAPauseAfterThePreviousWasDueOrWentOutLate) {
    const SendClock::time_point due{milliseconds(1000)};
    const std::pair<milliseconds, milliseconds> cases[] = {
        {milliseconds(0), milliseconds(1005)},
        {milliseconds(1), milliseconds(1005)},  // a wake-up's delay
        {milliseconds(2), milliseconds(1007)},  // held off
        {milliseconds(300), milliseconds(1305)},
    };
    for (const auto& [late, next] : cases)
        EXPECT_EQ(NextDue(due, due + late, milliseconds(5)), SendClock::time_point(next))
            << late.count();
}

}  // namespace
}  // namespace vellor::testing

// The pause between two bytes of a paced send, and when the next byte is due.
#include <gtest/gtest.h>

#include "transfer/send_pacing.h"

namespace vellor::testing {
namespace {

using std::chrono::milliseconds;

// A line ends after LF, or after a CR that no LF follows: its pause never splits CR LF. A
// schedule counts from when each byte was due, so wake-up delays do not add up, unless a byte
// went out late (held off, an echo awaited): then the next never follows it early.
TEST(SendPacing, PausesAndTheSchedule) {
    const SendPacing pacing{3, 20, true, 500};
    const std::tuple<char, char, Pause> pauses[] = {
        {'a', 'b', {milliseconds(3), false}},   {'\r', '\n', {milliseconds(3), false}},
        {'\n', 'a', {milliseconds(23), true}},  {'\r', 'a', {milliseconds(23), true}},
        {'\r', '\r', {milliseconds(23), true}},
    };
    for (const auto& [previous, next, pause] : pauses)
        EXPECT_EQ(PauseBetween(previous, next, pacing), pause) << int(previous) << int(next);
    EXPECT_EQ(PauseBetween('\n', 'a', SendPacing{0, 20, false, 0}), (Pause{milliseconds(20)}));

    const SendClock::time_point due{milliseconds(1000)};
    const std::pair<int, int> schedule[] = {{0, 1005}, {1, 1005}, {2, 1007}, {300, 1305}};
    for (const auto& [late, next] : schedule)
        EXPECT_EQ(NextDue(due, due + milliseconds(late), milliseconds(5)),
                  SendClock::time_point(milliseconds(next)))
            << late;
}

}  // namespace
}  // namespace vellor::testing

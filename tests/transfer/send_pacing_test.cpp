#include <gtest/gtest.h>

#include "transfer/send_pacing.h"

namespace vellor::testing {
namespace {

using std::chrono::milliseconds;

// A line's pause never splits CR LF; a byte is due a pause after the last was due or went late.
TEST(SendPacing, PausesAndTheSchedule) {
    for (const auto& [bytes, delay, awaitEcho] :
         {std::tuple{"ab", 3, false}, {"\r\n", 3, false}, {"\na", 23, true}, {"\ra", 23, true}})
        EXPECT_EQ(PauseBetween(bytes[0], bytes[1], {3, 20, true, 500}),
                  (Pause{milliseconds(delay), awaitEcho}))
            << bytes;
    EXPECT_EQ(PauseBetween('\n', 'a', {0, 20, false, 0}), (Pause{milliseconds(20)}));
    const SendClock::time_point due{milliseconds(1000)};
    for (const auto& [late, next] : {std::pair{0, 5}, {1, 5}, {2, 7}, {300, 305}})
        EXPECT_EQ(NextDue(due, due + milliseconds(late), milliseconds(5)),
                  due + milliseconds(next));
}

}  // namespace
}  // namespace vellor::testing

#include "agent/rejoin_backoff.h"

#include <gtest/gtest.h>

namespace tintcheck {
namespace {

using std::chrono::milliseconds;

// Runs the agent's loop in 100 ms passes over `until` and returns when attempts were due,
// with the endpoint connected from `connectedFrom` on.
std::vector<int> AttemptTimes(int until, int connectedFrom = 1 << 30) {
    RejoinBackoff backoff;
    const auto start = RejoinBackoff::Clock::now();
    std::vector<int> attempts;
    for (int t = 0; t <= until; t += 100) {
        if (backoff.Due(t >= connectedFrom, start + milliseconds(t))) attempts.push_back(t);
    }
    return attempts;
}

TEST(RejoinBackoff, WaitsOneSecondThenDoublesUpToThirty) {
    EXPECT_EQ(AttemptTimes(130000),
              (std::vector<int>{1000, 3100, 7200, 15300, 31400, 61500, 91600, 121700}));
}

TEST(RejoinBackoff, NothingIsDueWhileConnected) { EXPECT_TRUE(AttemptTimes(100000, 0).empty()); }

TEST(RejoinBackoff, StartsOverAfterASuccess) {
    RejoinBackoff backoff;
    const auto start = RejoinBackoff::Clock::now();
    auto at = [&](int ms, bool connected) { return backoff.Due(connected, start + milliseconds(ms)); };
    EXPECT_FALSE(at(0, false));
    EXPECT_TRUE(at(1000, false));
    EXPECT_FALSE(at(1100, false));
    EXPECT_TRUE(at(3100, false));
    EXPECT_FALSE(at(3200, true));   // the attempt held
    EXPECT_FALSE(at(50000, false)); // failed again much later: one second from now
    EXPECT_TRUE(at(51000, false));
}

}  // namespace
}  // namespace tintcheck

#include "membership/reply_limiter.h"

#include <gtest/gtest.h>

namespace tintcheck {
namespace {

using std::chrono::milliseconds;

int Allowed(ReplyLimiter& limiter, const std::string& address, int tries, ReplyLimiter::Clock::time_point now) {
    int allowed = 0;
    for (int i = 0; i < tries; ++i) allowed += limiter.Allow(address, now) ? 1 : 0;
    return allowed;
}

TEST(ReplyLimiter, AllowsABurstThenTheSteadyRate) {
    ReplyLimiter limiter;
    const auto start = ReplyLimiter::Clock::now();
    EXPECT_EQ(Allowed(limiter, "198.18.0.1", 8188, start), 16);
    EXPECT_EQ(Allowed(limiter, "198.18.0.1", 100, start + milliseconds(500)), 8);
    EXPECT_EQ(Allowed(limiter, "198.18.0.1", 100, start + milliseconds(10500)), 16);  // never above the burst
}

TEST(ReplyLimiter, CountsEachDestinationOnItsOwn) {
    ReplyLimiter limiter;
    const auto now = ReplyLimiter::Clock::now();
    EXPECT_EQ(Allowed(limiter, "198.18.0.1", 20, now), 16);
    EXPECT_EQ(Allowed(limiter, "198.18.0.2", 20, now), 16);
}

TEST(ReplyLimiter, MemberAnnouncingItselfNowAndThenIsNeverRefused) {
    ReplyLimiter limiter;
    const auto start = ReplyLimiter::Clock::now();
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(limiter.Allow("198.18.0.1", start + milliseconds(100) * i));
}

TEST(ReplyLimiter, RemembersABoundedNumberOfAddresses) {
    ReplyLimiter limiter;
    const auto now = ReplyLimiter::Clock::now();
    EXPECT_EQ(Allowed(limiter, "victim", 16, now), 16);
    for (std::size_t i = 0; i < ReplyLimiter::kAddresses - 1; ++i) limiter.Allow(std::to_string(i) + ".other", now);
    EXPECT_FALSE(limiter.Allow("victim", now));  // still remembered: the last one heard
    limiter.Allow("one more", now);
    limiter.Allow("and another", now);
    EXPECT_FALSE(limiter.Allow("victim", now));  // the oldest others went first
}

}  // namespace
}  // namespace tintcheck

// When the agent should try again to bind and join after its endpoint failed: 1 s after the
// failure is seen, then after twice the previous delay, at most 30 s; back to 1 s once it holds.
#pragma once

#include <chrono>
#include <optional>

namespace tintcheck {

class RejoinBackoff {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::milliseconds kFirstDelay{1000};
    static constexpr std::chrono::milliseconds kLongestDelay{30000};

    // Called on every pass of the event loop; true when an attempt is due now.
    bool Due(bool connected, Clock::time_point now);

private:
    std::chrono::milliseconds mDelay = kFirstDelay;
    std::optional<Clock::time_point> mNextAttempt;
};

}  // namespace tintcheck

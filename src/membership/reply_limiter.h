// Limits the replies that datagrams from the network provoke, per destination address, with a
// token bucket: a burst, then a steady rate. A sender address can be forged, so without a limit
// one datagram full of requests would make a member send thousands of datagrams to a victim.
// Ordinary members, which announce themselves and ask for the list now and then, never come
// near the limit.
#pragma once

#include <chrono>
#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>

namespace tintcheck {

class ReplyLimiter {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr double kBurst = 16;
    static constexpr double kPerSecond = 16;
    // Addresses remembered at most; the one least recently replied to is forgotten first.
    static constexpr std::size_t kAddresses = 4096;

    // Whether one more reply to `address` is allowed now; takes a token when it is.
    bool Allow(const std::string& address, Clock::time_point now = Clock::now());

private:
    struct Bucket {
        double tokens;
        Clock::time_point refilled;
        std::list<std::string>::iterator recency;
    };

    std::unordered_map<std::string, Bucket> mBuckets;
    std::list<std::string> mRecency;  // least recently replied to first
};

}  // namespace tintcheck

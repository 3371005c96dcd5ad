#include "membership/reply_limiter.h"

#include <algorithm>

namespace tintcheck {

bool ReplyLimiter::Allow(const std::string& address, Clock::time_point now) {
    auto found = mBuckets.find(address);
    if (found == mBuckets.end()) {
        if (mBuckets.size() >= kAddresses) {
            mBuckets.erase(mRecency.front());
            mRecency.pop_front();
        }
        mRecency.push_back(address);
        found = mBuckets.emplace(address, Bucket{kBurst, now, std::prev(mRecency.end())}).first;
    } else {
        mRecency.splice(mRecency.end(), mRecency, found->second.recency);
    }
    Bucket& bucket = found->second;
    const std::chrono::duration<double> elapsed = now - bucket.refilled;
    bucket.tokens = std::min(kBurst, bucket.tokens + std::max(0.0, elapsed.count()) * kPerSecond);
    bucket.refilled = now;
    if (bucket.tokens < 1) return false;
    bucket.tokens -= 1;
    return true;
}

}  // namespace tintcheck

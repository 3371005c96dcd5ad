#include "agent/rejoin_backoff.h"

#include <algorithm>

namespace tintcheck {

bool RejoinBackoff::Due(bool connected, Clock::time_point now) {
    if (connected) {
        mDelay = kFirstDelay;
        mNextAttempt.reset();
        return false;
    }
    if (!mNextAttempt) {
        mNextAttempt = now + mDelay;
        return false;
    }
    if (now < *mNextAttempt) return false;
    mDelay = std::min(mDelay * 2, kLongestDelay);
    mNextAttempt.reset();
    return true;
}

}  // namespace tintcheck

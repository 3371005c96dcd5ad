#include "messaging/sender_buffers.h"

#include <algorithm>

namespace tintcheck {

namespace {
// Consumed bytes are moved out only once they are at least this many and at least half of the
// buffer, which keeps the moving linear in the bytes received.
constexpr std::size_t kCompactThreshold = 4096;
// A buffer that once held a large packet gives its memory back when it empties.
constexpr std::size_t kKeptCapacity = 4096;
}  // namespace

void SenderBuffer::DiscardUnparsed() {
    mBytes.resize(mCursor);
    Compact();
}

std::size_t SenderBuffer::BeginDelivery(std::size_t length) noexcept {
    const std::size_t start = mCursor;
    mCursor += length;
    ++mDeliveries;
    return start;
}

void SenderBuffer::EndDelivery() noexcept {
    if (--mDeliveries == 0) mHead = mCursor;
    Compact();
}

void SenderBuffer::AbandonDelivery(std::size_t start, std::size_t length) noexcept {
    --mDeliveries;
    mBytes.erase(start + length, mCursor - (start + length));
    mCursor = start;
    Compact();
}

void SenderBuffer::Compact() noexcept {
    if (mDeliveries != 0) return;
    if (mHead == mBytes.size()) {
        if (mBytes.capacity() > kKeptCapacity) {
            std::string().swap(mBytes);
        } else {
            mBytes.clear();
        }
        mHead = mCursor = 0;
    } else if (mHead >= kCompactThreshold && mHead * 2 >= mBytes.size()) {
        mBytes.erase(0, mHead);
        mCursor -= mHead;
        mHead = 0;
    }
}

SenderBuffer& SenderBuffers::BufferFor(const std::string& address) {
    if (const auto found = mByAddress.find(address); found != mByAddress.end()) {
        mRecency.splice(mRecency.end(), mRecency, found->second.recency);
        return *found->second.buffer;
    }
    if (mOrder.size() >= kSenders) ForgetLeastRecentlyHeard();
    mOrder.push_back(std::make_unique<SenderBuffer>(address));
    SenderBuffer* buffer = mOrder.back().get();
    mRecency.push_back(buffer);
    mByAddress.emplace(address, Slot{buffer, std::prev(mRecency.end())});
    return *buffer;
}

void SenderBuffers::ForgetLeastRecentlyHeard() {
    // A buffer whose packet is being delivered stays: its delivery still refers to it.
    const auto oldest = std::find_if(mRecency.begin(), mRecency.end(),
                                     [](const SenderBuffer* buffer) { return !buffer->IsDelivering(); });
    if (oldest == mRecency.end()) return;
    SenderBuffer* forgotten = *oldest;
    mRecency.erase(oldest);
    mByAddress.erase(forgotten->Address());
    mOrder.erase(std::find_if(mOrder.begin(), mOrder.end(),
                              [&](const std::unique_ptr<SenderBuffer>& buffer) { return buffer.get() == forgotten; }));
}

const SenderBuffer* SenderBuffers::Find(const std::string& address) const {
    const auto found = mByAddress.find(address);
    return found == mByAddress.end() ? nullptr : found->second.buffer;
}

}  // namespace tintcheck

// The bytes that each sender address has sent and no packet has consumed yet, one buffer per
// address in the order in which the addresses were first heard.
//
// Consumption works by offset, so parsing costs time in proportion to the bytes received: a
// buffer's bytes before `cursor` have been handed to delivery, and those before `head` are gone.
// While packets of a sender are being delivered, their bytes stay at the head of its buffer.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tintcheck {

class SenderBuffer {
public:
    explicit SenderBuffer(std::string address) : mAddress(std::move(address)) {}

    const std::string& Address() const noexcept { return mAddress; }
    // The bytes not yet consumed, including those of packets being delivered.
    std::string_view Pending() const noexcept { return std::string_view(mBytes).substr(mHead); }
    // The bytes not yet handed to delivery.
    std::string_view Unparsed() const noexcept { return std::string_view(mBytes).substr(mCursor); }
    bool IsDelivering() const noexcept { return mDeliveries != 0; }

    void Append(std::string_view data) { mBytes.append(data); }
    // Forgets the bytes not yet handed to delivery.
    void DiscardUnparsed();

    // Hands the next `length` unparsed bytes to delivery; returns where they start.
    std::size_t BeginDelivery(std::size_t length) noexcept;
    // The packet at `start` was delivered: once no delivery is in progress, everything handed
    // out leaves the buffer.
    void EndDelivery() noexcept;
    // Delivery of the packet at `start` raised an exception: it keeps its place at the head of
    // the unparsed bytes, while packets delivered meanwhile stay consumed.
    void AbandonDelivery(std::size_t start, std::size_t length) noexcept;

private:
    void Compact() noexcept;

    std::string mAddress;
    std::string mBytes;
    std::size_t mHead = 0;
    std::size_t mCursor = 0;
    int mDeliveries = 0;
};

// Sender addresses can be forged, so the buffers are bounded: beyond kSenders, a new address
// makes the least recently heard one be forgotten with whatever it held. A conforming sender
// leaves no bytes pending between its datagrams, so it loses nothing.
class SenderBuffers {
public:
    static constexpr std::size_t kSenders = 4096;

    // The buffer of `address`, made at the end of the order when the address is new; either
    // way the address counts as heard now.
    SenderBuffer& BufferFor(const std::string& address);
    // Position in first-contact order.
    SenderBuffer& At(std::size_t position) { return *mOrder[position]; }
    std::size_t Count() const noexcept { return mOrder.size(); }
    const SenderBuffer* Find(const std::string& address) const;

private:
    struct Slot {
        SenderBuffer* buffer;
        std::list<SenderBuffer*>::iterator recency;
    };

    void ForgetLeastRecentlyHeard();

    std::vector<std::unique_ptr<SenderBuffer>> mOrder;  // first contact first
    std::list<SenderBuffer*> mRecency;                  // least recently heard first
    std::unordered_map<std::string, Slot> mByAddress;
};

}  // namespace tintcheck

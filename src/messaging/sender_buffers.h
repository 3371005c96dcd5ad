// The bytes that each sender address has sent and no packet has consumed yet, one buffer per
// address in the order in which the addresses were first heard.
//
// Consumption works by offset, so parsing costs time in proportion to the bytes received: a
// buffer's bytes before `cursor` have been handed to delivery, and those before `head` are gone.
// While packets of a sender are being delivered, their bytes stay at the head of its buffer.
#pragma once

#include <cstddef>
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

class SenderBuffers {
public:
    // The buffer of `address`, made at the end of the order when the address is new.
    SenderBuffer& BufferFor(const std::string& address);
    // Position in first-contact order.
    SenderBuffer& At(std::size_t position) { return *mOrder[position]; }
    std::size_t Count() const noexcept { return mOrder.size(); }
    const SenderBuffer* Find(const std::string& address) const;

private:
    std::vector<std::unique_ptr<SenderBuffer>> mOrder;
    std::unordered_map<std::string, SenderBuffer*> mByAddress;
};

}  // namespace tintcheck

#include "messaging/sender_buffers.h"

#include <gtest/gtest.h>

namespace tintcheck {
namespace {

std::string Address(std::size_t i) { return "198.18." + std::to_string(i / 256) + "." + std::to_string(i % 256); }

TEST(SenderBuffers, ForgetTheLeastRecentlyHeardBeyondTheBound) {
    SenderBuffers buffers;
    for (std::size_t i = 0; i < SenderBuffers::kSenders; ++i) buffers.BufferFor(Address(i)).Append("\0\0\0\x10");
    buffers.BufferFor(Address(0)).Append("more");  // heard again: now the most recent
    buffers.BufferFor("198.19.0.1");
    EXPECT_EQ(buffers.Count(), SenderBuffers::kSenders);
    EXPECT_NE(buffers.Find(Address(0)), nullptr);
    EXPECT_EQ(buffers.Find(Address(1)), nullptr);  // forgotten with what it held
    // Those that remain keep their first-contact order.
    EXPECT_EQ(buffers.At(0).Address(), Address(0));
    EXPECT_EQ(buffers.At(1).Address(), Address(2));
    EXPECT_EQ(buffers.At(SenderBuffers::kSenders - 1).Address(), "198.19.0.1");
    EXPECT_EQ(buffers.BufferFor(Address(1)).Pending(), "");  // back as a new sender, at the end
    EXPECT_EQ(buffers.At(SenderBuffers::kSenders - 1).Address(), Address(1));
}

TEST(SenderBuffers, NeverForgetABufferWhosePacketIsBeingDelivered) {
    SenderBuffers buffers;
    SenderBuffer& delivering = buffers.BufferFor(Address(0));
    delivering.Append(std::string("\0\0\0\x08\0\0\0\x01", 8));
    delivering.BeginDelivery(8);
    for (std::size_t i = 1; i <= SenderBuffers::kSenders; ++i) buffers.BufferFor(Address(i));
    EXPECT_EQ(buffers.Find(Address(0)), &delivering);
    EXPECT_EQ(buffers.Find(Address(1)), nullptr);
    delivering.EndDelivery();
    EXPECT_EQ(delivering.Pending(), "");
}

}  // namespace
}  // namespace tintcheck

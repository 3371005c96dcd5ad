// The message packet, the payload of every datagram of the system:
//   offset 0, 4 bytes: length of the whole packet, header included (signed, big-endian)
//   offset 4, 4 bytes: command code (signed, big-endian)
//   offset 8: the data, carried unchanged.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/memory_block.h"

namespace tintcheck {

inline constexpr std::int32_t kPacketHeaderSize = 8;
// Every packet travels in one UDP datagram over IPv4, so none is longer than this.
inline constexpr std::int32_t kLargestPacket = 65507;

MemoryBlock CreatePacket(std::int32_t command, std::string_view data);

// What the bytes at the start of a sender's buffer hold.
enum class PacketStart {
    Incomplete,  // wait for more bytes
    Complete,    // a whole packet of `length` bytes
    Malformed,   // a length that no packet can have: nothing after it can be trusted
};

struct PacketHeader {
    PacketStart start;
    std::int32_t length;
};

PacketHeader InspectPacketStart(std::string_view bytes) noexcept;

}  // namespace tintcheck

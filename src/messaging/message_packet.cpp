#include "messaging/message_packet.h"

namespace tintcheck {

MemoryBlock CreatePacket(std::int32_t command, std::string_view data) {
    MemoryBlock packet(static_cast<std::size_t>(kPacketHeaderSize) + data.size());
    packet.LittleEndian = false;
    packet.SetLong(0, static_cast<std::int32_t>(packet.Size()));
    packet.SetLong(4, command);
    packet.SetStringValue(static_cast<std::size_t>(kPacketHeaderSize), data);
    return packet;
}

PacketHeader InspectPacketStart(std::string_view bytes) noexcept {
    if (bytes.size() < 4) return {PacketStart::Incomplete, 0};
    const std::int32_t length = ReadBigEndianInt32(bytes);
    if (length < kPacketHeaderSize || length > kLargestPacket) return {PacketStart::Malformed, length};
    if (bytes.size() < static_cast<std::size_t>(length)) return {PacketStart::Incomplete, length};
    return {PacketStart::Complete, length};
}

}  // namespace tintcheck

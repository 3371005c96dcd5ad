#include "platform/memory_block.h"

#include "platform/exceptions.h"

namespace tintcheck {

std::int32_t ReadBigEndianInt32(std::string_view bytes) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
    return static_cast<std::int32_t>(byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3));
}

void MemoryBlock::CheckRange(std::size_t offset, std::size_t length) const {
    if (offset > mBytes.size() || length > mBytes.size() - offset) {
        throw OutOfBoundsException("The offset lies outside the MemoryBlock.");
    }
}

std::int32_t MemoryBlock::Long(std::size_t offset) const {
    CheckRange(offset, 4);
    std::string_view bytes(mBytes.data() + offset, 4);
    if (!LittleEndian) return ReadBigEndianInt32(bytes);
    const std::string reversed{bytes[3], bytes[2], bytes[1], bytes[0]};
    return ReadBigEndianInt32(reversed);
}

void MemoryBlock::SetLong(std::size_t offset, std::int32_t value) {
    CheckRange(offset, 4);
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t shift = LittleEndian ? 8 * i : 8 * (3 - i);
        mBytes[offset + i] = static_cast<char>((bits >> shift) & 0xFFu);
    }
}

std::string MemoryBlock::StringValue(std::size_t offset, std::size_t length) const {
    CheckRange(offset, length);
    return mBytes.substr(offset, length);
}

void MemoryBlock::SetStringValue(std::size_t offset, std::string_view bytes) {
    CheckRange(offset, bytes.size());
    mBytes.replace(offset, bytes.size(), bytes);
}

}  // namespace tintcheck

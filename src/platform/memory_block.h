// A block of bytes with 32-bit integer access in either byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tintcheck {

class MemoryBlock {
public:
    explicit MemoryBlock(std::size_t size) : mBytes(size, '\0') {}
    explicit MemoryBlock(std::string_view bytes) : mBytes(bytes) {}

    std::size_t Size() const noexcept { return mBytes.size(); }

    // Little-endian (the host's order) unless switched off; the wire uses big-endian.
    bool LittleEndian = true;

    // Signed 32-bit access; an offset outside the block raises OutOfBoundsException.
    std::int32_t Long(std::size_t offset) const;
    void SetLong(std::size_t offset, std::int32_t value);

    std::string StringValue(std::size_t offset, std::size_t length) const;
    void SetStringValue(std::size_t offset, std::string_view bytes);

    const std::string& Bytes() const noexcept { return mBytes; }

private:
    void CheckRange(std::size_t offset, std::size_t length) const;

    std::string mBytes;
};

// Big-endian signed 32-bit read from the first four bytes of `bytes` (which must hold them).
std::int32_t ReadBigEndianInt32(std::string_view bytes) noexcept;

}  // namespace tintcheck

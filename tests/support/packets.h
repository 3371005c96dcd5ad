// Message packets written out byte by byte, independently of the encoder under test.
#pragma once

#include <cstdint>
#include <string>

namespace tintcheck::testing {

inline std::string BigEndian(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<char>(bits >> 24), static_cast<char>(bits >> 16), static_cast<char>(bits >> 8),
            static_cast<char>(bits)};
}

// A well-formed packet.
inline std::string Packet(std::int32_t command, const std::string& data = "") {
    return BigEndian(static_cast<std::int32_t>(8 + data.size())) + BigEndian(command) + data;
}

// A header that claims `length` bytes, followed by whatever `rest` holds.
inline std::string Header(std::int32_t length, std::int32_t command, const std::string& rest = "") {
    return BigEndian(length) + BigEndian(command) + rest;
}

}  // namespace tintcheck::testing

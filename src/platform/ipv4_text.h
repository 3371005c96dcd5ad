// IPv4 addresses as dotted-decimal text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tintcheck {

// Reads four dot-separated decimal groups of 0 to 255. Leading zeros stay decimal ("0224" is
// 224, never octal) and an empty group counts as 0, so every text that the group-address test
// accepts names the address it appears to name.
std::optional<std::uint32_t> ParseDottedDecimal(std::string_view text) noexcept;

// Four decimal numbers without leading zeros joined by ".".
std::string FormatDottedDecimal(std::uint32_t address);

}  // namespace tintcheck

#include "platform/ipv4_text.h"

namespace tintcheck {

std::optional<std::uint32_t> ParseDottedDecimal(std::string_view text) noexcept {
    std::uint32_t address = 0;
    std::uint32_t group = 0;
    int dots = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            group = group * 10 + static_cast<std::uint32_t>(c - '0');
            if (group > 255) return std::nullopt;
        } else if (c == '.') {
            if (++dots > 3) return std::nullopt;
            address = address << 8 | group;
            group = 0;
        } else {
            return std::nullopt;
        }
    }
    if (dots != 3) return std::nullopt;
    return address << 8 | group;
}

std::string FormatDottedDecimal(std::uint32_t address) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24) text += '.';
        text += std::to_string(address >> shift & 0xFFu);
    }
    return text;
}

}  // namespace tintcheck

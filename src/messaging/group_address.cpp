#include "messaging/group_address.h"

#include <limits>
#include <optional>

#include "platform/unicode_text.h"

namespace tintcheck {

namespace {

// The decimal value of a run of ASCII digits; none when it leaves the signed 32-bit range.
std::optional<std::int32_t> DecimalValue(std::string_view digits) noexcept {
    std::int64_t value = 0;
    for (const char digit : digits) {
        value = value * 10 + (digit - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

bool InRange(std::optional<std::int32_t> value, std::int32_t low, std::int32_t high) noexcept {
    return value && *value >= low && *value <= high;
}

}  // namespace

bool IsClassDAddress(std::string_view text) noexcept {
    std::size_t groupStart = 0;
    int dots = 0;
    bool firstGroup = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') continue;
        if (c != '.') return false;
        ++dots;
        const auto value = DecimalValue(text.substr(groupStart, i - groupStart));
        if (firstGroup) {
            if (!InRange(value, 224, 239)) return false;
            firstGroup = false;
        } else if (!InRange(value, 0, 255)) {
            return false;
        }
        groupStart = i + 1;
    }
    return dots == 3 && InRange(DecimalValue(text.substr(groupStart)), 0, 255);
}

std::string HashGroupNameToIP(std::string_view groupName, std::int32_t hashBins) {
    if (IsClassDAddress(groupName)) return std::string(groupName);

    std::uint32_t bits = 0;  // the hash wraps modulo 2^32
    for (const char32_t code : DecodeUtf8(groupName)) {
        bits = bits * 31u + static_cast<std::uint32_t>(SimpleLowercase(code));
    }
    const auto hash = static_cast<std::int32_t>(bits) % hashBins;  // truncating: keeps the sign

    const auto u = static_cast<std::int64_t>(hash);
    const std::int64_t o1 = 224 + ((((u & 0xFF000000) >> 24) + ((u & 0xFF00) >> 8)) % 16);
    const std::int64_t o2 = (((u & 0xFF0000) >> 16) + ((u & 0xFF00) >> 8)) % 256;
    const std::int64_t o3 = ((u & 0xFF) + ((u & 0xFFFF00) >> 8)) % 256;
    const std::int64_t o4 = ((u & 0xFF00FF) + (u & 0xFFFF)) % 256;
    return std::to_string(o1) + '.' + std::to_string(o2) + '.' + std::to_string(o3) + '.' + std::to_string(o4);
}

}  // namespace tintcheck

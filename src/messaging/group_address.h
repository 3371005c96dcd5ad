// The multicast address of a group, computed from the group name alone so that every member
// finds the same address without configuration.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tintcheck {

inline constexpr std::int32_t kGroupHashBins = 16777216;  // 2 to the power 24

// The group address of `groupName`: the name itself when it is already a multicast address in
// dotted-decimal form, otherwise an address in 224.0.0.0 to 239.255.255.255 hashed from the
// lower-cased name. Different names may share an address.
std::string HashGroupNameToIP(std::string_view groupName, std::int32_t hashBins = kGroupHashBins);

// Whether `text` is four dot-separated decimal groups, the first 224 to 239 and the others 0 to
// 255. Leading zeros are allowed and an empty group after the first counts as 0.
bool IsClassDAddress(std::string_view text) noexcept;

}  // namespace tintcheck

// Reading text as Unicode code points.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tintcheck {

// The code points of UTF-8 text. Each malformed sequence reads as one U+FFFD, so any bytes can
// be read.
std::u32string DecodeUtf8(std::string_view text);

// The Unicode simple lower-case mapping; a code point without one is returned unchanged.
char32_t SimpleLowercase(char32_t code) noexcept;

}  // namespace tintcheck

// How the client shows what it saw: timestamps, message data and JSON.
#pragma once

#include <string>
#include <string_view>

namespace tintcheck::tool {

// The current time as ISO 8601 in UTC, to the millisecond.
std::string Timestamp();

// Message data for a terminal: quoted text when every byte is printable ASCII, hex otherwise.
std::string ShowData(std::string_view data);

// A JSON string literal.
std::string JsonString(std::string_view text);

}  // namespace tintcheck::tool

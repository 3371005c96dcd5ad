// One received datagram: its sender and its payload.
#pragma once

#include <cstdint>
#include <string>

#include "platform/object.h"

namespace tintcheck {

class Datagram : public Object {
public:
    Datagram() = default;
    Datagram(std::string address, std::int32_t port, std::string data)
        : Address(std::move(address)), Port(port), Data(std::move(data)) {}

    std::string Address;  // the sender's dotted-decimal IPv4 address, without a port
    std::int32_t Port = 0;
    std::string Data;
};

// How the texts of a received datagram are to be read. The bytes themselves never change.
enum class TextEncoding { None, UTF8 };

}  // namespace tintcheck

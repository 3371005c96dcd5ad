// The narrow interface between the platform socket and the operating system's datagram
// sockets. One implementation per OS (socket_system_posix.cpp, socket_system_windows.cpp).
// Every call returns 0 on success or the system's error in the BSD numbering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tintcheck::os {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// An IPv4 address and port in host byte order.
struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// The BSD number of a system error code (errno on POSIX, a Winsock code on Windows).
std::int32_t BsdFromSystemError(int systemError) noexcept;

// Makes the network stack usable for this process; later calls do nothing. A failure means the
// stack cannot be used at all.
std::int32_t StartNetworking() noexcept;

std::int32_t OpenUdpSocket(SocketHandle& handle) noexcept;
void CloseSocket(SocketHandle handle) noexcept;
std::int32_t BindSocket(SocketHandle handle, Endpoint local) noexcept;

std::int32_t SetBroadcast(SocketHandle handle, bool on) noexcept;
std::int32_t SetMulticastLoop(SocketHandle handle, bool on) noexcept;
std::int32_t SetUnicastTtl(SocketHandle handle, int hops) noexcept;
std::int32_t SetMulticastTtl(SocketHandle handle, int hops) noexcept;
std::int32_t ChangeMembership(SocketHandle handle, bool join, std::uint32_t group,
                              std::uint32_t localInterface) noexcept;

std::int32_t SendDatagram(SocketHandle handle, Endpoint to, std::string_view payload) noexcept;

// Whether a datagram waits, and its size; never blocks. A waiting datagram may be empty.
std::int32_t PeekDatagram(SocketHandle handle, bool& waiting, std::size_t& size) noexcept;
// Takes the waiting datagram into `payload` (resized to what arrived) without blocking.
std::int32_t ReceiveDatagram(SocketHandle handle, std::size_t size, std::string& payload,
                             Endpoint& from) noexcept;

// Resolves a host name to an IPv4 address.
std::int32_t ResolveHostName(const std::string& name, std::uint32_t& address) noexcept;

}  // namespace tintcheck::os

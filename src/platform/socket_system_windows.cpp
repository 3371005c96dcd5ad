// The datagram sockets of Windows (Winsock 2).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "platform/bsd_errors.h"
#include "platform/socket_system.h"

namespace tintcheck::os {

namespace {

constexpr int kWinsockErrorBase = 10000;  // Winsock numbers the BSD errors 10000 higher
constexpr std::size_t kLargestDatagram = 65536;

// Not in every SDK's headers: the vendor control that stops ICMP reports reaching receives.
constexpr DWORD kUdpConnectionResetControl = IOC_IN | IOC_VENDOR | 12;

constexpr std::int32_t kBsdNumbers[] = {
#define TINTCHECK_BSD_NUMBER(name, number) number,
    TINTCHECK_BSD_ERRORS(TINTCHECK_BSD_NUMBER)
#undef TINTCHECK_BSD_NUMBER
};

bool IsBsdNumber(int number) {
    for (const std::int32_t bsd : kBsdNumbers) {
        if (bsd == number) return true;
    }
    return false;
}

std::int32_t LastSystemError() noexcept { return BsdFromSystemError(WSAGetLastError()); }

SOCKET ToSocket(SocketHandle handle) { return static_cast<SOCKET>(handle); }

sockaddr_in ToSockaddr(Endpoint endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(endpoint.address);
    address.sin_port = htons(endpoint.port);
    return address;
}

template <class T>
std::int32_t SetOption(SocketHandle handle, int level, int option, const T& value) noexcept {
    if (setsockopt(ToSocket(handle), level, option, reinterpret_cast<const char*>(&value), sizeof value) != 0) {
        return LastSystemError();
    }
    return 0;
}

// Winsock is started once, on first use, and stopped when the process ends.
struct Winsock {
    int startError = 0;
    Winsock() {
        WSADATA data;
        startError = WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~Winsock() {
        if (startError == 0) WSACleanup();
    }
};

}  // namespace

std::int32_t BsdFromSystemError(int error) noexcept {
    if (error > kWinsockErrorBase && IsBsdNumber(error - kWinsockErrorBase)) return error - kWinsockErrorBase;
    switch (error) {
        case WSA_NOT_ENOUGH_MEMORY: return kBsd_ENOMEM;
        case WSA_INVALID_PARAMETER: return kBsd_EINVAL;
        case WSA_INVALID_HANDLE: return kBsd_EBADF;
        default: return kUnmappedSystemErrorBase + error;
    }
}

std::int32_t StartNetworking() noexcept {
    static const Winsock winsock;
    return winsock.startError == 0 ? 0 : BsdFromSystemError(winsock.startError);
}

std::int32_t OpenUdpSocket(SocketHandle& handle) noexcept {
    const SOCKET opened = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (opened == INVALID_SOCKET) return LastSystemError();
    // Windows would report an ICMP error caused by an earlier send as a failure of a later
    // receive; that says nothing about this socket, so it is switched off where it can be.
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(opened, kUdpConnectionResetControl, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    handle = static_cast<SocketHandle>(opened);
    return 0;
}

void CloseSocket(SocketHandle handle) noexcept { closesocket(ToSocket(handle)); }

std::int32_t BindSocket(SocketHandle handle, Endpoint local) noexcept {
    const sockaddr_in address = ToSockaddr(local);
    if (bind(ToSocket(handle), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return LastSystemError();
    }
    return 0;
}

std::int32_t SetBroadcast(SocketHandle handle, bool on) noexcept {
    return SetOption(handle, SOL_SOCKET, SO_BROADCAST, BOOL{on});
}

std::int32_t SetMulticastLoop(SocketHandle handle, bool on) noexcept {
    return SetOption(handle, IPPROTO_IP, IP_MULTICAST_LOOP, DWORD{on});
}

std::int32_t SetUnicastTtl(SocketHandle handle, int hops) noexcept {
    return SetOption(handle, IPPROTO_IP, IP_TTL, static_cast<DWORD>(hops));
}

std::int32_t SetMulticastTtl(SocketHandle handle, int hops) noexcept {
    return SetOption(handle, IPPROTO_IP, IP_MULTICAST_TTL, static_cast<DWORD>(hops));
}

std::int32_t ChangeMembership(SocketHandle handle, bool join, std::uint32_t group,
                              std::uint32_t localInterface) noexcept {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_interface.s_addr = htonl(localInterface);
    return SetOption(handle, IPPROTO_IP, join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, request);
}

std::int32_t SendDatagram(SocketHandle handle, Endpoint to, std::string_view payload) noexcept {
    const sockaddr_in address = ToSockaddr(to);
    if (sendto(ToSocket(handle), payload.data(), static_cast<int>(payload.size()), 0,
               reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
        return LastSystemError();
    }
    return 0;
}

std::int32_t PeekDatagram(SocketHandle handle, bool& waiting, std::size_t& size) noexcept {
    // Readable with FIONREAD at 0 is an empty datagram, which must be taken to reach the next one.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(ToSocket(handle), &readable);
    timeval now{0, 0};
    const int ready = select(0, &readable, nullptr, nullptr, &now);
    if (ready == SOCKET_ERROR) return LastSystemError();
    waiting = ready > 0;
    size = 0;
    if (!waiting) return 0;
    u_long pending = 0;
    if (ioctlsocket(ToSocket(handle), FIONREAD, &pending) != 0) return LastSystemError();
    size = pending;
    return 0;
}

std::int32_t ReceiveDatagram(SocketHandle handle, std::size_t size, std::string& payload,
                             Endpoint& from) noexcept {
    // FIONREAD is only a hint here (stacks differ on what it counts), and a buffer too small
    // would cut the datagram: room for the largest one is made whatever it says.
    payload.resize(std::max<std::size_t>(size, kLargestDatagram));
    sockaddr_in address{};
    int addressLength = sizeof address;
    const int length = recvfrom(ToSocket(handle), payload.data(), static_cast<int>(payload.size()), 0,
                                reinterpret_cast<sockaddr*>(&address), &addressLength);
    if (length == SOCKET_ERROR) {
        payload.clear();
        // Where the ICMP report of an earlier send still arrives here, it is no receive failure:
        // the poll simply takes nothing.
        if (WSAGetLastError() == WSAECONNRESET) return 0;
        return LastSystemError();
    }
    payload.resize(static_cast<std::size_t>(length));
    from.address = ntohl(address.sin_addr.s_addr);
    from.port = ntohs(address.sin_port);
    return 0;
}

std::int32_t ResolveHostName(const std::string& name, std::uint32_t& address) noexcept {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return kBsd_EHOSTUNREACH;
    address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    return 0;
}

}  // namespace tintcheck::os

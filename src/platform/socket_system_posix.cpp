// The datagram sockets of POSIX systems.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/bsd_errors.h"
#include "platform/socket_system.h"

namespace tintcheck::os {

namespace {

struct ErrnoRow {
    int system;
    std::int32_t bsd;
};

constexpr ErrnoRow kErrnoToBsd[] = {
#define TINTCHECK_ERRNO_ROW(name, number) {name, number},
    TINTCHECK_BSD_ERRORS(TINTCHECK_ERRNO_ROW)
#undef TINTCHECK_ERRNO_ROW
};

std::int32_t LastSystemError() noexcept { return BsdFromSystemError(errno); }

int ToFd(SocketHandle handle) { return static_cast<int>(handle); }

sockaddr_in ToSockaddr(Endpoint endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(endpoint.address);
    address.sin_port = htons(endpoint.port);
    return address;
}

template <class T>
std::int32_t SetIpOption(SocketHandle handle, int level, int option, const T& value) noexcept {
    if (setsockopt(ToFd(handle), level, option, &value, sizeof value) != 0) return LastSystemError();
    return 0;
}

}  // namespace

std::int32_t BsdFromSystemError(int error) noexcept {
    for (const ErrnoRow& row : kErrnoToBsd) {
        if (row.system == error) return row.bsd;
    }
    return kUnmappedSystemErrorBase + error;
}

std::int32_t StartNetworking() noexcept { return 0; }

std::int32_t OpenUdpSocket(SocketHandle& handle) noexcept {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return LastSystemError();
    handle = fd;
    return 0;
}

void CloseSocket(SocketHandle handle) noexcept { close(ToFd(handle)); }

std::int32_t BindSocket(SocketHandle handle, Endpoint local) noexcept {
    const sockaddr_in address = ToSockaddr(local);
    if (bind(ToFd(handle), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return LastSystemError();
    }
    return 0;
}

std::int32_t SetBroadcast(SocketHandle handle, bool on) noexcept {
    return SetIpOption(handle, SOL_SOCKET, SO_BROADCAST, int{on});
}

std::int32_t SetMulticastLoop(SocketHandle handle, bool on) noexcept {
    return SetIpOption(handle, IPPROTO_IP, IP_MULTICAST_LOOP, static_cast<unsigned char>(on));
}

std::int32_t SetUnicastTtl(SocketHandle handle, int hops) noexcept {
    return SetIpOption(handle, IPPROTO_IP, IP_TTL, hops);
}

std::int32_t SetMulticastTtl(SocketHandle handle, int hops) noexcept {
    // IP_MULTICAST_TTL takes 0 to 255; a larger count is refused like any invalid value.
    return SetIpOption(handle, IPPROTO_IP, IP_MULTICAST_TTL, hops);
}

std::int32_t ChangeMembership(SocketHandle handle, bool join, std::uint32_t group,
                              std::uint32_t localInterface) noexcept {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_interface.s_addr = htonl(localInterface);
    return SetIpOption(handle, IPPROTO_IP, join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, request);
}

std::int32_t SendDatagram(SocketHandle handle, Endpoint to, std::string_view payload) noexcept {
    const sockaddr_in address = ToSockaddr(to);
    const ssize_t sent = sendto(ToFd(handle), payload.data(), payload.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (sent < 0) return LastSystemError();
    return 0;
}

std::int32_t PeekDatagram(SocketHandle handle, bool& waiting, std::size_t& size) noexcept {
    // MSG_TRUNC reports the whole size of the next datagram, an empty one included, which a
    // plain FIONREAD cannot tell apart from no datagram at all.
    char probe = 0;
    const ssize_t length = recv(ToFd(handle), &probe, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    if (length < 0) {
        waiting = false;
        size = 0;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
        return LastSystemError();
    }
    waiting = true;
    size = static_cast<std::size_t>(length);
    return 0;
}

std::int32_t ReceiveDatagram(SocketHandle handle, std::size_t size, std::string& payload,
                             Endpoint& from) noexcept {
    payload.resize(size == 0 ? 1 : size);
    sockaddr_in address{};
    socklen_t addressLength = sizeof address;
    const ssize_t length = recvfrom(ToFd(handle), payload.data(), payload.size(), MSG_DONTWAIT,
                                    reinterpret_cast<sockaddr*>(&address), &addressLength);
    if (length < 0) {
        payload.clear();
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
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return kBsd_EHOSTUNREACH;
    }
    address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    return 0;
}

}  // namespace tintcheck::os

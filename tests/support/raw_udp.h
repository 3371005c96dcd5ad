// A plain UDP socket written straight on the POSIX interface: an independent peer that shows
// what really crosses the wire, without the project's own classes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

namespace tintcheck::testing {

struct RawDatagram {
    std::string from;
    int port = 0;
    std::string data;
};

class RawUdp {
public:
    // Binds to `address`:`port` (port 0 for any free one).
    explicit RawUdp(const std::string& address = "127.0.0.1", int port = 0) {
        mFd = socket(AF_INET, SOCK_DGRAM, 0);
        if (mFd < 0) throw std::runtime_error("socket");
        sockaddr_in local = Make(address, port);
        if (bind(mFd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) throw std::runtime_error("bind");
    }
    ~RawUdp() { close(mFd); }
    RawUdp(const RawUdp&) = delete;
    RawUdp& operator=(const RawUdp&) = delete;

    void Join(const std::string& group) {
        ip_mreq request{};
        inet_pton(AF_INET, group.c_str(), &request.imr_multiaddr);
        request.imr_interface.s_addr = htonl(INADDR_ANY);
        if (setsockopt(mFd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
            throw std::runtime_error("join");
        }
    }

    void SendTo(const std::string& address, int port, const std::string& data) {
        sockaddr_in to = Make(address, port);
        if (sendto(mFd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
            throw std::runtime_error("sendto");
        }
    }

    std::optional<RawDatagram> Receive(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000)) {
        pollfd waiting{mFd, POLLIN, 0};
        if (poll(&waiting, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
        std::string buffer(65536, '\0');
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t got = recvfrom(mFd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) return std::nullopt;
        buffer.resize(static_cast<std::size_t>(got));
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        return RawDatagram{text, ntohs(from.sin_port), buffer};
    }

    int Descriptor() const { return mFd; }

    int Port() const {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        getsockname(mFd, reinterpret_cast<sockaddr*>(&local), &length);
        return ntohs(local.sin_port);
    }

private:
    static sockaddr_in Make(const std::string& address, int port) {
        sockaddr_in result{};
        result.sin_family = AF_INET;
        result.sin_port = htons(static_cast<std::uint16_t>(port));
        inet_pton(AF_INET, address.c_str(), &result.sin_addr);
        return result;
    }

    int mFd = -1;
};

}  // namespace tintcheck::testing

// Watches one interface like a packet capture (loopback unless told otherwise): every IPv4 UDP
// datagram that crosses it, with the addresses, ports and time-to-live it carries on the wire.
#pragma once

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

namespace tintcheck::testing {

struct WireDatagram {
    std::string source;
    int sourcePort = 0;
    std::string destination;
    int destinationPort = 0;
    int ttl = 0;
    std::string payload;
};

class WireCapture {
public:
    explicit WireCapture(const char* interfaceName = "lo") {
        // Only a socket for every protocol sees what the host sends, not just what it receives.
        mFd = socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_ALL));
        if (mFd < 0) throw std::runtime_error("packet socket (needs root)");
        sockaddr_ll local{};
        local.sll_family = AF_PACKET;
        local.sll_protocol = htons(ETH_P_ALL);
        local.sll_ifindex = static_cast<int>(if_nametoindex(interfaceName));
        mLoopback = std::string(interfaceName) == "lo";
        if (bind(mFd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) throw std::runtime_error("bind to interface");
    }
    ~WireCapture() { close(mFd); }
    WireCapture(const WireCapture&) = delete;
    WireCapture& operator=(const WireCapture&) = delete;

    // The next UDP datagram sent, or none within the timeout.
    std::optional<WireDatagram> Next(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd waiting{mFd, POLLIN, 0};
            if (left.count() <= 0 || poll(&waiting, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
            char frame[70000];
            sockaddr_ll link{};
            socklen_t length = sizeof link;
            const ssize_t got = recvfrom(mFd, frame, sizeof frame, 0, reinterpret_cast<sockaddr*>(&link), &length);
            if (got < 0 || link.sll_protocol != htons(ETH_P_IP)) continue;
            // Loopback shows what is sent twice, going out and coming in: keep one.
            if (mLoopback && link.sll_pkttype == PACKET_OUTGOING) continue;
            if (auto datagram = Parse(frame, static_cast<std::size_t>(got))) return datagram;
        }
    }

private:
    static std::optional<WireDatagram> Parse(const char* frame, std::size_t size) {
        if (size < sizeof(iphdr)) return std::nullopt;
        iphdr ip{};
        std::memcpy(&ip, frame, sizeof ip);
        const std::size_t headerSize = ip.ihl * 4u;
        if (ip.protocol != IPPROTO_UDP || size < headerSize + sizeof(udphdr)) return std::nullopt;
        udphdr udp{};
        std::memcpy(&udp, frame + headerSize, sizeof udp);
        WireDatagram datagram;
        char text[INET_ADDRSTRLEN];
        datagram.source = inet_ntop(AF_INET, &ip.saddr, text, sizeof text);
        datagram.destination = inet_ntop(AF_INET, &ip.daddr, text, sizeof text);
        datagram.sourcePort = ntohs(udp.source);
        datagram.destinationPort = ntohs(udp.dest);
        datagram.ttl = ip.ttl;
        datagram.payload.assign(frame + headerSize + sizeof udp, size - headerSize - sizeof udp);
        return datagram;
    }

    int mFd = -1;
    bool mLoopback = false;
};

}  // namespace tintcheck::testing

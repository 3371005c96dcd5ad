// The platform's IPv4 datagram socket with multicast: binding, loopback and time-to-live,
// group membership on one interface, sending one datagram, and a queue of received datagrams.
// Failures never raise exceptions: they set LastErrorCode, raise Error and leave the socket
// unconnected.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "platform/datagram.h"
#include "platform/socket_core.h"

namespace tintcheck {

class UDPSocket : public SocketCore {
public:
    // Opens an IPv4 datagram socket bound to all local addresses (or to NetworkInterface) on
    // Port, without address reuse and with broadcast allowed.
    void Connect() override;
    void Purge() override { mQueue.clear(); }

    bool SendToSelf() const noexcept { return mSendToSelf; }
    // Multicast loopback: whether the socket receives the multicast datagrams that it sends.
    void SetSendToSelf(bool sendToSelf);
    std::int32_t RouterHops() const noexcept { return mRouterHops; }
    // Time-to-live of every datagram sent, unicast and multicast.
    void SetRouterHops(std::int32_t hops);

    // The local IPv4 address to bind and join on; empty for all addresses and the system's
    // default multicast interface. Takes effect at the next Connect or join.
    const std::string& NetworkInterface() const noexcept { return mNetworkInterface; }
    void SetNetworkInterface(std::string address) { mNetworkInterface = std::move(address); }

    virtual bool JoinMulticastGroup(const std::string& address);
    virtual void LeaveMulticastGroup(const std::string& address);

    // Sends `data` as one datagram, within the call, to `address` (dotted-decimal or a host
    // name) on Port, or to the port after the colon of a "host:port" address.
    virtual void Write(const std::string& address, std::string_view data);
    // Sends the datagram's Data to its Address and Port.
    virtual void Write(const Datagram& datagram);
    // Takes the oldest received datagram; nil when none is queued.
    virtual Ref<Datagram> Read(TextEncoding encoding = TextEncoding::None);

    std::int32_t PacketsAvailable() const noexcept { return static_cast<std::int32_t>(mQueue.size()); }

protected:
    UDPSocket() = default;
    void ReceiveOnce() override;

    // Queues a datagram as the system hands it over and marks DataAvailable for the next
    // notification. Every received datagram takes this way; tests and the fuzzer also use it to
    // drive the receive path without a network.
    void QueueDatagram(std::string address, std::int32_t port, std::string data);

private:
    bool ChangeMembership(bool join, const std::string& address);
    void SendTo(const std::string& host, std::int32_t port, std::string_view data);
    // Sets an option whose absence on this system does not matter.
    void ApplyOption(std::int32_t bsdError);

    struct QueuedDatagram {
        std::string address;
        std::int32_t port;
        std::string data;
    };

    std::deque<QueuedDatagram> mQueue;
    bool mSendToSelf = true;
    std::int32_t mRouterHops = 1;
    std::string mNetworkInterface;
};

}  // namespace tintcheck

#include "platform/udp_socket.h"

#include <charconv>
#include <optional>

#include "platform/bsd_errors.h"
#include "platform/ipv4_text.h"

namespace tintcheck {

namespace {
constexpr std::int32_t kLargestPort = 65535;

bool IsValidPort(std::int32_t port) { return port >= 0 && port <= kLargestPort; }

std::optional<std::int32_t> ParsePort(std::string_view text) {
    std::int32_t port = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc{} || end != text.data() + text.size() || !IsValidPort(port)) return std::nullopt;
    return port;
}
}  // namespace

void UDPSocket::Connect() {
    BeginConnect();
    if (os::StartNetworking() != 0) return Fail(kCannotCreateSocket);
    os::SocketHandle handle = os::kNoSocket;
    if (os::OpenUdpSocket(handle) != 0) return Fail(kCannotCreateSocket);

    std::uint32_t local = 0;
    if (!mNetworkInterface.empty()) {
        const auto address = ParseDottedDecimal(mNetworkInterface);
        if (!address) {
            os::CloseSocket(handle);
            return Fail(SocketErrorFromBsd(kBsd_EADDRNOTAVAIL));
        }
        local = *address;
    }
    if (!IsValidPort(Port())) {
        os::CloseSocket(handle);
        return Fail(kBsd_EINVAL);
    }
    std::int32_t error = os::BindSocket(handle, {local, static_cast<std::uint16_t>(Port())});
    if (error == 0) error = os::SetBroadcast(handle, true);
    if (error != 0) {
        os::CloseSocket(handle);
        return Fail(SocketErrorFromBsd(error));
    }
    Connected(handle);
    SetSendToSelf(mSendToSelf);
    if (IsConnected()) SetRouterHops(mRouterHops);
}

void UDPSocket::ApplyOption(std::int32_t bsdError) {
    if (bsdError != 0 && bsdError != kBsd_ENOPROTOOPT) Fail(SocketErrorFromBsd(bsdError));
}

void UDPSocket::SetSendToSelf(bool sendToSelf) {
    mSendToSelf = sendToSelf;
    if (IsConnected()) ApplyOption(os::SetMulticastLoop(Handle(), sendToSelf));
}

void UDPSocket::SetRouterHops(std::int32_t hops) {
    mRouterHops = hops;
    if (!IsConnected()) return;
    static_cast<void>(os::SetUnicastTtl(Handle(), hops));  // a refused unicast TTL is not a failure
    ApplyOption(os::SetMulticastTtl(Handle(), hops));
}

bool UDPSocket::JoinMulticastGroup(const std::string& address) { return ChangeMembership(true, address); }

void UDPSocket::LeaveMulticastGroup(const std::string& address) { ChangeMembership(false, address); }

bool UDPSocket::ChangeMembership(bool join, const std::string& address) {
    if (!IsConnected()) {
        Fail(kNotConnected);
        return false;
    }
    const auto group = ParseDottedDecimal(address);
    const auto local = mNetworkInterface.empty() ? std::optional<std::uint32_t>(0) : ParseDottedDecimal(mNetworkInterface);
    if (!group || !local) {
        Fail(kBsd_EINVAL);
        return false;
    }
    if (const std::int32_t error = os::ChangeMembership(Handle(), join, *group, *local); error != 0) {
        Fail(SocketErrorFromBsd(error));
        return false;
    }
    return true;
}

void UDPSocket::Write(const std::string& address, std::string_view data) {
    if (!IsConnected()) return Fail(kNotConnected);
    const auto colon = address.find(':');
    if (colon != std::string::npos && address.find(':', colon + 1) == std::string::npos) {
        const auto port = ParsePort(std::string_view(address).substr(colon + 1));
        if (!port) return Fail(kBsd_EINVAL);
        return SendTo(address.substr(0, colon), *port, data);
    }
    SendTo(address, Port(), data);
}

void UDPSocket::Write(const Datagram& datagram) {
    if (!IsConnected()) return Fail(kNotConnected);
    if (!IsValidPort(datagram.Port)) return Fail(kBsd_EINVAL);
    SendTo(datagram.Address, datagram.Port, datagram.Data);
}

void UDPSocket::SendTo(const std::string& host, std::int32_t port, std::string_view data) {
    std::uint32_t destination = 0;
    if (const auto address = ParseDottedDecimal(host)) {
        destination = *address;
    } else if (const std::int32_t error = os::ResolveHostName(host, destination); error != 0) {
        return Fail(SocketErrorFromBsd(error));
    }
    if (const std::int32_t error = os::SendDatagram(Handle(), {destination, static_cast<std::uint16_t>(port)}, data);
        error != 0) {
        return Fail(SocketErrorFromBsd(error));
    }
    MarkSendComplete();
}

Ref<Datagram> UDPSocket::Read(TextEncoding) {
    if (mQueue.empty()) return nullptr;
    QueuedDatagram& oldest = mQueue.front();
    Ref<Datagram> datagram = New<Datagram>(std::move(oldest.address), oldest.port, std::move(oldest.data));
    mQueue.pop_front();
    return datagram;
}

void UDPSocket::ReceiveOnce() {
    bool waiting = false;
    std::size_t size = 0;
    if (const std::int32_t error = os::PeekDatagram(Handle(), waiting, size); error != 0) {
        return RecordFailure(SocketErrorFromBsd(error));
    }
    if (!waiting) return;
    std::string payload;
    os::Endpoint from;
    if (const std::int32_t error = os::ReceiveDatagram(Handle(), size, payload, from); error != 0) {
        return RecordFailure(SocketErrorFromBsd(error));
    }
    if (payload.empty()) return;  // an empty datagram carries nothing and is dropped
    QueueDatagram(FormatDottedDecimal(from.address), from.port, std::move(payload));
}

void UDPSocket::QueueDatagram(std::string address, std::int32_t port, std::string data) {
    mQueue.push_back({std::move(address), port, std::move(data)});
    MarkDataAvailable();
}

}  // namespace tintcheck

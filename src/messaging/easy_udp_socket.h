// The group endpoint: a UDP socket bound to a port and joined to the multicast addresses of
// named groups, which exchanges command-coded messages with a whole group or with one member.
//
// Socket failures never raise exceptions: they raise the Error event and leave the endpoint
// unbound (failed) until the next Bind. Operations that need a bound socket do nothing without one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "messaging/sender_buffers.h"
#include "platform/udp_socket.h"

namespace tintcheck {

class EasyUDPSocket : public UDPSocket {
public:
    EasyUDPSocket();

    // Binds to `port` on all local addresses, with multicast loopback on and a time-to-live of
    // 255. A failure raises Error twice with the same code (the socket's, then Bind's own).
    virtual void Bind(std::int32_t port);
    // Joins the multicast address of `groupName`, without leaving the groups joined before.
    virtual void Register(const std::string& groupName);
    // Sends one message to every member of `groupName`, on this endpoint's own port.
    virtual void SendMessageToGroup(const std::string& groupName, std::int32_t command, std::string_view data);
    // Sends one message to the member at `address`, on this endpoint's own port.
    virtual void SendMessageToIndividual(const std::string& address, std::int32_t command, std::string_view data);
    // Leaves the multicast address of `groupName`; the socket stays bound.
    virtual void Unregister(const std::string& groupName);
    // Runs the event loop until a message with `command` and at least one data byte arrives, and
    // returns its data with its sender in `sender`. Every other message that arrives meanwhile is
    // dropped. Returns "" (leaving `sender` alone) when unbound or when a socket error ends the
    // wait. There is no time-out, and -1 cannot be waited for.
    virtual std::string WaitForMessage(std::int32_t command, std::string& sender);

    // The endpoint speaks only in messages: its raw datagram read and writes refuse with a
    // RuntimeException.
    void Write(const std::string& address, std::string_view data) override;
    void Write(const Datagram& datagram) override;
    Ref<Datagram> Read(TextEncoding encoding = TextEncoding::None) override;

protected:
    // Events; each does nothing unless a subclass handles it.
    virtual void Event_Error(std::int32_t errorCode) { static_cast<void>(errorCode); }
    virtual void Event_ReceivedMessage(const std::string& from, std::int32_t command, const std::string& data) {
        static_cast<void>(from), static_cast<void>(command), static_cast<void>(data);
    }

    // What each sender has sent that no packet has consumed yet.
    const SenderBuffers& ReceiveBuffers() const noexcept { return mBuffers; }

private:
    // The platform socket's events, handled here and not offered to subclasses.
    void Event_DataAvailable() final;
    void Event_Error() final;

    // Raises ReceivedMessage. A subclass that takes the event for itself replaces this, and its
    // own subclasses then see only the messages that it raises again.
    virtual void RaiseReceivedMessage(const std::string& from, std::int32_t command, const std::string& data);

    void ProcessData();
    bool CheckForSingleMessage(SenderBuffer& buffer, std::int32_t& consumed);
    void Deliver(const std::string& from, std::int32_t command, const std::string& data);
    bool WaitingForThisMessage(std::int32_t command, const std::string& data, const std::string& from);

    static constexpr std::int32_t kNoWait = -1;  // the wait marker's value while no wait is in progress

    SenderBuffers mBuffers;
    std::string mCommandResponse;
    std::int32_t mHashBins;
    std::string mMessageFrom;
    std::int32_t mWaitForThisCommand;
};

}  // namespace tintcheck

// The endpoint's message interface: sending to a group or to one member, the delivery of
// received messages, and the synchronous wait for one command code.
#include "messaging/easy_udp_socket.h"
#include "messaging/group_address.h"
#include "messaging/message_packet.h"
#include "platform/console_application.h"

namespace tintcheck {

namespace {
constexpr std::int32_t kWaitSliceMilliseconds = 10;
}  // namespace

void EasyUDPSocket::SendMessageToGroup(const std::string& groupName, std::int32_t command, std::string_view data) {
    if (!IsConnected()) return;
    const MemoryBlock packet = CreatePacket(command, data);
    UDPSocket::Write(HashGroupNameToIP(groupName, mHashBins), packet.Bytes());
}

void EasyUDPSocket::SendMessageToIndividual(const std::string& address, std::int32_t command, std::string_view data) {
    if (!IsConnected()) return;
    const MemoryBlock packet = CreatePacket(command, data);
    UDPSocket::Write(address, packet.Bytes());
}

void EasyUDPSocket::Deliver(const std::string& from, std::int32_t command, const std::string& data) {
    if (WaitingForThisMessage(command, data, from)) return;
    if (mWaitForThisCommand != kNoWait) return;  // a wait drops every other message
    RaiseReceivedMessage(from, command, data);
}

void EasyUDPSocket::RaiseReceivedMessage(const std::string& from, std::int32_t command, const std::string& data) {
    Event_ReceivedMessage(from, command, data);
}

bool EasyUDPSocket::WaitingForThisMessage(std::int32_t command, const std::string& data, const std::string& from) {
    if (mWaitForThisCommand == kNoWait || mWaitForThisCommand != command) return false;
    mCommandResponse = data;
    mMessageFrom = from;
    return true;
}

std::string EasyUDPSocket::WaitForMessage(std::int32_t command, std::string& sender) {
    const Ref<ConsoleApplication> application = ConsoleApplication::Current();
    if (!IsConnected()) return {};
    mWaitForThisCommand = command;
    mCommandResponse.clear();
    mMessageFrom.clear();
    // However the wait ends, an exception from a handler included, the endpoint is idle again:
    // a wait left standing would drop every later message.
    struct EndWait {
        std::int32_t& marker;
        ~EndWait() { marker = kNoWait; }
    } endWait{mWaitForThisCommand};
    // A wait started by a handler during delivery finds the packets behind the one being
    // delivered still in their buffers; they are parsed now, not only when a datagram arrives.
    ProcessData();
    while (mCommandResponse.empty()) {
        Poll();
        if (LastErrorCode() != 0) return {};
        application->DoEvents(kWaitSliceMilliseconds);
    }
    sender = mMessageFrom;
    return mCommandResponse;
}

}  // namespace tintcheck

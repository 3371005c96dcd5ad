// The endpoint's socket half: construction, binding, joining and leaving groups, errors, and
// the refused raw read and write.
#include "messaging/easy_udp_socket.h"

#include "messaging/group_address.h"

namespace tintcheck {

namespace {
constexpr std::int32_t kGroupTimeToLive = 255;
}  // namespace

EasyUDPSocket::EasyUDPSocket() : mHashBins(kGroupHashBins), mWaitForThisCommand(kNoWait) {}

void EasyUDPSocket::Bind(std::int32_t port) {
    SetPort(port);
    Connect();
    if (LastErrorCode() != 0) Event_Error(LastErrorCode());
    SetSendToSelf(true);
    SetRouterHops(kGroupTimeToLive);
}

void EasyUDPSocket::Register(const std::string& groupName) {
    if (!IsConnected()) return;
    if (!JoinMulticastGroup(HashGroupNameToIP(groupName, mHashBins))) Event_Error(LastErrorCode());
}

void EasyUDPSocket::Unregister(const std::string& groupName) {
    if (!IsConnected()) return;
    LeaveMulticastGroup(HashGroupNameToIP(groupName, mHashBins));
    if (LastErrorCode() != 0) Event_Error(LastErrorCode());
}

void EasyUDPSocket::Event_Error() { Event_Error(LastErrorCode()); }

void EasyUDPSocket::Write(const std::string&, std::string_view) {
    throw RuntimeException("You cannot call Write on an EasyUDPSocket directly.");
}

void EasyUDPSocket::Write(const Datagram&) {
    throw RuntimeException("You cannot call Write on an EasyUDPSocket directly.");
}

Ref<Datagram> EasyUDPSocket::Read(TextEncoding) {
    throw RuntimeException("You cannot call Read on an EasyUDPSocket directly.");
}

}  // namespace tintcheck

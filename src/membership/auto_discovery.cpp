#include "membership/auto_discovery.h"

namespace tintcheck {

AutoDiscovery::AutoDiscovery() : mMembers(New<TextList>()) {}

void AutoDiscovery::RaiseReceivedMessage(const std::string& from, std::int32_t command, const std::string& data) {
    switch (command) {
        case kMemberListRequest:
            if (MayReplyTo(from)) SendMessageToIndividual(from, kMemberJoin, {});
            break;
        case kMemberJoin:
            // Addresses are never compared: a member announced twice stands twice.
            mMembers->Append(from);
            if (mMembers->Count() > kMemberListLimit) mMembers->RemoveFirst();
            Event_MemberJoined(from);
            break;
        case kMemberLeave:
            Event_MemberLeft(from);
            break;
        default:
            Event_ReceivedMessage(from, command, data);
    }
}

void AutoDiscovery::Register(const std::string& groupName) {
    if (!IsConnected()) return;
    mGroupName = groupName;
    EasyUDPSocket::Register(groupName);
    SendMessageToGroup(groupName, kMemberJoin, {});
}

void AutoDiscovery::Unregister(const std::string& groupName) {
    if (!IsConnected()) return;
    const bool sendToSelf = SendToSelf();
    SetSendToSelf(false);  // the member does not hear its own departure
    SendMessageToGroup(groupName, kMemberLeave, {});
    SetSendToSelf(sendToSelf);
    EasyUDPSocket::Unregister(groupName);
}

void AutoDiscovery::SendMessageToGroup(std::int32_t command, std::string_view data) {
    EasyUDPSocket::SendMessageToGroup(mGroupName, command, data);
}

Ref<TextList> AutoDiscovery::GetMemberList() { return mMembers; }

void AutoDiscovery::UpdateMemberList() {
    if (!IsConnected()) return;
    mMembers->RemoveAll();
    SendMessageToGroup(mGroupName, kMemberListRequest, {});
}

void AutoDiscovery::Destructor() { Unregister(mGroupName); }

}  // namespace tintcheck

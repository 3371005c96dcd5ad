// A group with members, on top of the group endpoint. Members announce themselves when they
// register and when asked for the member list, and announce their departure when they
// unregister; three reserved command codes carry these announcements, and every other message
// reaches the application unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "membership/reply_limiter.h"
#include "messaging/easy_udp_socket.h"
#include "platform/text_list.h"

namespace tintcheck {

enum MembershipCommand : std::int32_t {
    kMemberListRequest = -100,
    kMemberJoin = -101,
    kMemberLeave = -102,
};

class AutoDiscovery : public EasyUDPSocket {
public:
    // Announcements can be forged, so the member list is bounded: beyond this many entries the
    // oldest goes. No local network has this many members.
    static constexpr std::size_t kMemberListLimit = 65536;

    AutoDiscovery();

    // Joins the group and announces this member to it. Does nothing until the endpoint is bound.
    void Register(const std::string& groupName) override;
    // Announces the departure (without hearing it itself) and leaves the group.
    void Unregister(const std::string& groupName) override;
    // Sends one message to the group registered last.
    using EasyUDPSocket::SendMessageToGroup;
    virtual void SendMessageToGroup(std::int32_t command, std::string_view data);
    // The member list itself, shared: a holder sees every later change.
    virtual Ref<TextList> GetMemberList();
    // Empties the member list at once and asks the group to announce itself again; the answers
    // refill it from the event loop.
    virtual void UpdateMemberList();

    // Unregisters from the group registered last, through Unregister as this object's class has it.
    void Destructor() override;

protected:
    // Events; each does nothing unless a subclass handles it. ReceivedMessage is this class's
    // own: it carries application messages only.
    virtual void Event_MemberJoined(const std::string& member) { static_cast<void>(member); }
    virtual void Event_MemberLeft(const std::string& member) { static_cast<void>(member); }

    // Whether a reply that a received datagram provoked may go to `address` now. Answers to
    // list requests pass through it; a subclass that answers the network (a greeting) should too.
    bool MayReplyTo(const std::string& address) { return mReplies.Allow(address); }

private:
    // Takes the endpoint's ReceivedMessage for the membership reaction.
    void RaiseReceivedMessage(const std::string& from, std::int32_t command, const std::string& data) final;

    std::string mGroupName;
    Ref<TextList> mMembers;
    ReplyLimiter mReplies;
};

}  // namespace tintcheck

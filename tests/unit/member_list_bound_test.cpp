#include <gtest/gtest.h>

#include "membership/auto_discovery.h"
#include "support/packets.h"

namespace tintcheck::testing {
namespace {

class FedMember : public AutoDiscovery {
public:
    void Arrive(const std::string& from, const std::string& bytes) { QueueDatagram(from, 9090, bytes); }
    std::size_t joined = 0;

protected:
    void Event_MemberJoined(const std::string&) override { ++joined; }
};

TEST(MemberList, ForgedAnnouncementsCannotGrowItWithoutBound) {
    const auto member = New<FedMember>();
    std::string datagram;
    for (int i = 0; i < 8188; ++i) datagram += Packet(-101);  // the most one datagram holds
    for (int i = 0; i < 9; ++i) {
        member->Arrive("198.18.0.2", datagram);
        member->Poll();
    }
    member->Arrive("198.18.0.3", Packet(-101));
    member->Poll();
    EXPECT_EQ(member->joined, 9u * 8188u + 1u);  // every announcement is still reported
    const Ref<TextList> list = member->GetMemberList();
    EXPECT_EQ(list->Count(), AutoDiscovery::kMemberListLimit);
    EXPECT_EQ((*list)[list->Count() - 1], "198.18.0.3");  // the oldest went, the newest stays
}

}  // namespace
}  // namespace tintcheck::testing

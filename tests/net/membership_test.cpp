// The membership protocol between real members on two hosts.
#include <gtest/gtest.h>

#include "platform/console_application.h"
#include "support/packets.h"
#include "support/raw_udp.h"
#include "support/recording_member.h"
#include "support/two_hosts.h"
#include "support/wire_capture.h"

namespace tintcheck::testing {
namespace {

using Addresses = std::vector<std::string>;
constexpr const char* kA = TwoHosts::kHere;
constexpr const char* kB = TwoHosts::kThere;
constexpr const char* kGroup = "tintCHECK4";

class MembershipTest : public ::testing::Test {
protected:
    void SetUp() override {
        a->Bind(9090);
        hosts.There([&] { b->Bind(9090); });
    }

    // Runs the event loop until `done` holds; fails after two seconds.
    template <class Done>
    bool RunUntil(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            application->DoEvents(1);
        }
        return true;
    }

    // Runs the event loop long enough for anything in flight to arrive.
    void Settle() {
        for (int i = 0; i < 50; ++i) application->DoEvents(1);
    }

    Addresses List(const Ref<RecordingMember>& member) { return member->GetMemberList()->Items(); }

    TwoHosts hosts;
    Ref<ConsoleApplication> application = New<ConsoleApplication>();
    Ref<RecordingMember> a = New<RecordingMember>();
    Ref<RecordingMember> b = New<RecordingMember>();
};

TEST_F(MembershipTest, NewMemberHasAnEmptyList) { EXPECT_EQ(New<RecordingMember>()->GetMemberList()->Count(), 0u); }

TEST_F(MembershipTest, OwnAnnouncementPutsTheMemberInItsOwnList) {
    a->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return !a->joined.empty(); }));
    EXPECT_EQ(List(a), Addresses{kA});
    EXPECT_EQ(a->joined, Addresses{kA});
}

TEST_F(MembershipTest, WithoutLoopbackTheMemberDoesNotHearItself) {
    a->SetSendToSelf(false);
    a->Register(kGroup);
    Settle();
    EXPECT_TRUE(a->joined.empty());
    EXPECT_EQ(List(a), Addresses{});
}

TEST_F(MembershipTest, EarlierMemberSeesANewcomerButNotTheOtherWayRound) {
    a->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return a->joined.size() == 1; }));
    b->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return a->joined.size() == 2 && b->joined.size() == 1; }));
    Settle();
    EXPECT_EQ(List(a), (Addresses{kA, kB}));
    EXPECT_EQ(a->joined, (Addresses{kA, kB}));
    EXPECT_EQ(List(b), Addresses{kB});
}

TEST_F(MembershipTest, UpdateEmptiesTheListAtOnceAndTheAnswersRefillIt) {
    a->Register(kGroup);
    b->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return a->joined.size() == 2 && b->joined.size() == 1; }));
    const Ref<TextList> held = b->GetMemberList();
    b->UpdateMemberList();
    EXPECT_EQ(held->Count(), 0u);
    ASSERT_TRUE(RunUntil([&] { return held->Count() == 2; }));
    Settle();
    Addresses refilled = held->Items();
    std::sort(refilled.begin(), refilled.end());
    EXPECT_EQ(refilled, (Addresses{kA, kB}));
    EXPECT_EQ(b->joined.size(), 3u);  // itself on registering, then one per answer
    EXPECT_EQ(List(a), (Addresses{kA, kB}));  // a request changes nobody else's list
}

TEST_F(MembershipTest, LeavingAndRegisteringAgainIsSeenEachTime) {
    a->Register(kGroup);
    b->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return a->joined.size() == 2; }));
    b->Unregister(kGroup);
    ASSERT_TRUE(RunUntil([&] { return a->left.size() == 1; }));
    EXPECT_EQ(List(a), (Addresses{kA, kB}));  // a departure changes no list
    b->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return a->joined.size() == 3; }));
    Settle();
    EXPECT_EQ(a->left, Addresses{kB});
    EXPECT_EQ(a->joined, (Addresses{kA, kB, kB}));
    EXPECT_EQ(List(a), (Addresses{kA, kB, kB}));
    EXPECT_TRUE(b->left.empty());  // never hears its own departure
}

TEST_F(MembershipTest, UnregisterRestoresLoopbackWhateverItWas) {
    for (const bool sendToSelf : {true, false}) {
        a->Register(kGroup);
        a->SetSendToSelf(sendToSelf);
        a->Unregister(kGroup);
        EXPECT_EQ(a->SendToSelf(), sendToSelf);
    }
    Settle();
    EXPECT_TRUE(a->left.empty());
    EXPECT_TRUE(a->errors.empty());
}

TEST_F(MembershipTest, ApplicationMessagesPassUnchangedAndMembershipDataIsIgnored) {
    RawUdp peer(kA, 4000);
    b->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return b->joined.size() == 1; }));
    for (const std::int32_t command : {0, -1, -99, -103, 1000}) peer.SendTo(kB, 9090, Packet(command, "S"));
    peer.SendTo(kB, 9090, Packet(-101, "ignored data"));
    peer.SendTo(kB, 9090, Packet(-100, "ignored data"));
    // The list request is answered by unicast to the requester's address on the member's own
    // port, where member A listens.
    ASSERT_TRUE(RunUntil([&] { return b->messages.size() == 5 && b->joined.size() == 2 && a->joined.size() == 1; }));
    EXPECT_EQ(a->joined, Addresses{kB});
    EXPECT_EQ(b->messages, (std::vector<Message>{{kA, 0, "S"}, {kA, -1, "S"}, {kA, -99, "S"}, {kA, -103, "S"},
                                                 {kA, 1000, "S"}}));
    EXPECT_EQ(List(b), (Addresses{kB, kA}));
}

TEST_F(MembershipTest, MembershipCommandsAreSwallowedDuringAWait) {
    RawUdp peer(kA, 4000);
    b->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return b->joined.size() == 1; }));
    peer.SendTo(kB, 9090, Packet(-101));
    peer.SendTo(kB, 9090, Packet(-102));
    peer.SendTo(kB, 9090, Packet(-100));
    peer.SendTo(kB, 9090, Packet(7, "done"));
    std::string sender;
    EXPECT_EQ(b->WaitForMessage(7, sender), "done");
    EXPECT_EQ(sender, kA);
    EXPECT_EQ(List(b), Addresses{kB});
    EXPECT_EQ(b->joined.size(), 1u);
    EXPECT_TRUE(b->left.empty());
    EXPECT_FALSE(peer.Receive(std::chrono::milliseconds(100)));  // no answer to the request
}

TEST_F(MembershipTest, RegisterBeforeBindStoresNothing) {
    a.Release();  // frees the port; its own leave announcement goes out before the capture starts
    WireCapture wire("tc0");
    const auto unbound = New<RecordingMember>();
    unbound->Register(kGroup);
    EXPECT_FALSE(wire.Next(std::chrono::milliseconds(100)));
    // Bound later, the member still has the empty group name: its request goes to 224.0.0.0.
    unbound->Bind(9090);
    unbound->UpdateMemberList();
    const auto sent = wire.Next();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->destination, "224.0.0.0");
    EXPECT_EQ(sent->payload, Packet(-100));
}

TEST_F(MembershipTest, RefusedJoinAnnouncesNothingAndSilencesTheMember) {
    TwoHosts::Shell("ip route del 224.0.0.0/4 dev tc0");
    WireCapture wire("tc0");
    a->Register(kGroup);
    EXPECT_EQ(a->errors, (std::vector<std::int32_t>{19, 19}));  // ENODEV: no route for multicast
    a->UpdateMemberList();
    a->Unregister(kGroup);
    EXPECT_FALSE(wire.Next(std::chrono::milliseconds(100)));
    EXPECT_EQ(a->errors.size(), 2u);
}

TEST_F(MembershipTest, DestroyingAMemberUnregistersThroughItsOwnOverride) {
    std::vector<std::string> unregistered;
    a->unregisterLog = &unregistered;
    a->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return a->joined.size() == 1; }));
    b->Register(kGroup);
    ASSERT_TRUE(RunUntil([&] { return b->joined.size() == 1; }));
    a.Release();  // the last reference: the override runs on the whole object
    EXPECT_EQ(unregistered, Addresses{kGroup});
    ASSERT_TRUE(RunUntil([&] { return b->left.size() == 1; }));
    EXPECT_EQ(b->left, Addresses{kA});
}

TEST_F(MembershipTest, DestroyingANeverRegisteredMemberLeavesTheEmptyGroup) {
    WireCapture wire("tc0");
    a.Release();
    const auto sent = wire.Next();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->destination, "224.0.0.0");
    EXPECT_EQ(sent->payload, Packet(-102));
}

}  // namespace
}  // namespace tintcheck::testing

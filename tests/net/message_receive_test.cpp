// The receive path on real sockets: datagrams from several senders are collected per sender
// address and cut into messages.
#include <gtest/gtest.h>

#include <map>
#include <ostream>

#include "support/packets.h"
#include "support/raw_udp.h"
#include "support/recording_endpoint.h"

namespace tintcheck::testing {
namespace {

constexpr const char* kA = "127.0.0.2";
constexpr const char* kB = "127.0.0.3";
constexpr std::int32_t kSentinel = 999;

struct Send {
    std::string sender;  // "A", "A'" (A's address, another port) or "B"
    std::string bytes;
};

struct ReceiveCase {
    const char* name;
    std::vector<Send> datagrams;
    std::vector<Message> delivered;
    std::string pendingA;  // what stays in A's buffer
};

std::ostream& operator<<(std::ostream& out, const ReceiveCase& c) { return out << c.name; }

class ReceivePathTest : public ::testing::TestWithParam<ReceiveCase> {
protected:
    void SetUp() override { endpoint->Bind(9090); }

    // Sends the datagrams in order, then a sentinel from a third address: once the sentinel is
    // delivered, every datagram before it has been read.
    void Deliver(const std::vector<Send>& datagrams) {
        for (const Send& send : datagrams) peers.at(send.sender)->SendTo("127.0.0.1", 9090, send.bytes);
        sentinel.SendTo("127.0.0.1", 9090, Packet(kSentinel));
        ASSERT_TRUE(PollUntil(*endpoint, [&] {
            return !endpoint->messages.empty() && endpoint->messages.back().command == kSentinel;
        }));
        endpoint->messages.pop_back();
    }

    Ref<RecordingEndpoint> endpoint = New<RecordingEndpoint>();
    RawUdp a{kA, 4000}, aOtherPort{kA, 4001}, b{kB, 4000}, sentinel{"127.0.0.9", 4000};
    std::map<std::string, RawUdp*> peers{{"A", &a}, {"A'", &aOtherPort}, {"B", &b}};
};

TEST_P(ReceivePathTest, DeliversWellFormedPacketsOnceAndInOrder) {
    Deliver(GetParam().datagrams);
    EXPECT_EQ(endpoint->messages, GetParam().delivered);
    const SenderBuffer* bufferA = endpoint->ReceiveBuffers().Find(kA);
    ASSERT_NE(bufferA, nullptr);
    EXPECT_EQ(bufferA->Pending(), GetParam().pendingA);
    EXPECT_TRUE(endpoint->IsConnected());
}

const std::string kTwentyByteStart = Header(20, 20, "1234");  // 12 of its 20 bytes

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceivePathTest,
    ::testing::Values(
        ReceiveCase{"EightByteDatagram", {{"A", Packet(7)}}, {{kA, 7, ""}}, ""},
        ReceiveCase{"TwoPacketsInOneDatagram",
                    {{"A", Packet(1, "one") + Packet(2, "two")}},
                    {{kA, 1, "one"}, {kA, 2, "two"}},
                    ""},
        ReceiveCase{"PacketSplitOverTwoDatagrams",
                    {{"A", Packet(3, "split").substr(0, 6)}, {"A", Packet(3, "split").substr(6)}},
                    {{kA, 3, "split"}},
                    ""},
        ReceiveCase{"TwentyByteHeaderCompletedByNextDatagram",
                    {{"A", kTwentyByteStart}, {"A", Packet(5)}},
                    {{kA, 20, "1234" + Packet(5)}},
                    ""},
        ReceiveCase{"PortsOfOneAddressShareABuffer",
                    {{"A", Packet(4, "ab").substr(0, 5)}, {"A'", Packet(4, "ab").substr(5)}},
                    {{kA, 4, "ab"}},
                    ""},
        ReceiveCase{"AddressesNeverMix",
                    {{"A", Packet(4, "ab").substr(0, 5)}, {"B", Packet(4, "ab").substr(5)}, {"B", Packet(6)}},
                    {},
                    Packet(4, "ab").substr(0, 5)},
        ReceiveCase{"FewerThanFourBytesWait",
                    {{"A", Packet(8, "x").substr(0, 3)}, {"A", Packet(8, "x").substr(3)}},
                    {{kA, 8, "x"}},
                    ""},
        ReceiveCase{"HugeLengthHoldsBackOneSenderOnly",
                    {{"A", Header(65507, 1, "start")}, {"A", Packet(2)}, {"B", Packet(3)}},
                    {{kB, 3, ""}},
                    Header(65507, 1, "start") + Packet(2)},
        ReceiveCase{"LengthZeroDropsThatSendersPendingBytes",
                    {{"A", Packet(1) + Header(0, 2, "junk") + Packet(3)}, {"B", Packet(4)}, {"A", Packet(5)}},
                    {{kA, 1, ""}, {kB, 4, ""}, {kA, 5, ""}},
                    ""},
        ReceiveCase{"NegativeLengthIsDropped",
                    {{"A", Header(-8, 2) + Packet(3)}, {"B", Packet(4)}, {"A", Packet(5)}},
                    {{kB, 4, ""}, {kA, 5, ""}},
                    ""},
        ReceiveCase{"LengthSevenIsDropped",
                    {{"A", Header(7, 2)}, {"A", Packet(5)}},
                    {{kA, 5, ""}},
                    ""},
        ReceiveCase{"LengthBeyondAnyDatagramIsDropped",
                    {{"A", Header(65508, 2, "x")}, {"B", Packet(4)}, {"A", Packet(5)}},
                    {{kB, 4, ""}, {kA, 5, ""}},
                    ""},
        ReceiveCase{"DroppedBytesTakeAnIncompleteTailWithThem",
                    {{"A", Header(3, 2) + Header(20, 1)}, {"A", Packet(5)}},
                    {{kA, 5, ""}},
                    ""}),
    [](const ::testing::TestParamInfo<ReceiveCase>& param) { return std::string(param.param.name); });

TEST(ReceivePath, SplitPacketIsNotDeliveredBeforeItsLastByte) {
    const auto endpoint = New<RecordingEndpoint>();
    endpoint->Bind(9090);
    RawUdp a(kA, 4000);
    const std::string packet = Packet(3, "split");
    a.SendTo("127.0.0.1", 9090, packet.substr(0, packet.size() - 1));
    ASSERT_TRUE(PollUntil(*endpoint, [&] { return endpoint->ReceiveBuffers().Find(kA) != nullptr; }));
    EXPECT_TRUE(endpoint->messages.empty());
    a.SendTo("127.0.0.1", 9090, packet.substr(packet.size() - 1));
    ASSERT_TRUE(PollUntil(*endpoint, [&] { return !endpoint->messages.empty(); }));
    EXPECT_EQ(endpoint->messages, (std::vector<Message>{{kA, 3, "split"}}));
}

}  // namespace
}  // namespace tintcheck::testing

// The platform socket and the endpoint's socket half, on real sockets.
#include <gtest/gtest.h>

#include "support/raw_udp.h"
#include "support/recording_endpoint.h"

namespace tintcheck::testing {
namespace {

TEST(UdpSocket, BoundEndpointReceivesItsOwnGroupDatagram) {
    const auto endpoint = New<RecordingEndpoint>();
    endpoint->Bind(9090);
    endpoint->Register("abc");
    endpoint->SendMessageToGroup("abc", 5, "hi");
    ASSERT_TRUE(PollUntil(*endpoint, [&] { return !endpoint->messages.empty(); }));
    EXPECT_EQ(endpoint->messages[0], (Message{"127.0.0.1", 5, "hi"}));
    EXPECT_TRUE(endpoint->errors.empty());
}

TEST(UdpSocket, BindSetsTimeToLiveAndLoopback) {
    const auto endpoint = New<RecordingEndpoint>();
    EXPECT_EQ(endpoint->RouterHops(), 1);
    endpoint->SetSendToSelf(false);
    endpoint->Bind(9090);
    EXPECT_TRUE(endpoint->IsConnected());
    EXPECT_EQ(endpoint->RouterHops(), 255);
    EXPECT_TRUE(endpoint->SendToSelf());
    EXPECT_EQ(endpoint->LastErrorCode(), 0);
}

TEST(UdpSocket, BindOnHeldPortReportsTwiceAndStaysUnbound) {
    RawUdp holder("0.0.0.0", 9090);
    RawUdp group("0.0.0.0", 9091);
    group.Join("232.121.218.196");
    const auto endpoint = New<RecordingEndpoint>();
    endpoint->Bind(9090);
    EXPECT_EQ(endpoint->errors, (std::vector<std::int32_t>{105, 105}));
    EXPECT_FALSE(endpoint->IsConnected());
    EXPECT_EQ(endpoint->LastErrorCode(), 105);
    EXPECT_EQ(endpoint->RouterHops(), 255);  // stored for the next bind
    endpoint->Register("abc");
    endpoint->SendMessageToGroup("abc", 1, "x");
    EXPECT_EQ(endpoint->errors.size(), 2u);
    EXPECT_FALSE(holder.Receive(std::chrono::milliseconds(100)));
}

TEST(UdpSocket, OversizedSendReportsOnceAndFails) {
    const auto endpoint = New<RecordingEndpoint>();
    endpoint->Bind(9090);
    endpoint->SendMessageToIndividual("127.0.0.1", 1, std::string(65500, 'x'));  // a packet of 65,508 bytes
    EXPECT_EQ(endpoint->errors, (std::vector<std::int32_t>{40}));
    EXPECT_FALSE(endpoint->IsConnected());
    EXPECT_EQ(endpoint->LastErrorCode(), 40);
}

TEST(UdpSocket, LargestDatagramIsSentWhole) {
    RawUdp peer("127.0.0.1", 9090);
    const auto socket = New<PlainUdpSocket>();
    socket->SetPort(9091);
    socket->Connect();
    socket->Write("127.0.0.1:9090", std::string(65507, 'y'));
    const auto received = peer.Receive();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->data.size(), 65507u);
    EXPECT_TRUE(socket->IsConnected());
}

TEST(UdpSocket, OnePollTakesOneDatagramAndEmptyOnesNeverQueue) {
    const auto socket = New<PlainUdpSocket>();
    socket->SetPort(9090);
    socket->Connect();
    RawUdp peer("127.0.0.2", 4000);
    peer.SendTo("127.0.0.1", 9090, "");
    peer.SendTo("127.0.0.1", 9090, "first");
    peer.SendTo("127.0.0.1", 9090, "second");

    socket->Poll();  // takes the empty datagram and drops it
    EXPECT_EQ(socket->PacketsAvailable(), 0);
    EXPECT_TRUE(socket->events.empty());
    socket->Poll();
    EXPECT_EQ(socket->PacketsAvailable(), 1);
    socket->Poll();
    EXPECT_EQ(socket->PacketsAvailable(), 2);
    EXPECT_EQ(socket->events, (std::vector<std::string>{"DataAvailable", "DataAvailable"}));

    const Ref<Datagram> first = socket->Read();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Address, "127.0.0.2");
    EXPECT_EQ(first->Port, 4000);
    EXPECT_EQ(first->Data, "first");
    EXPECT_EQ(socket->PacketsAvailable(), 1);
    EXPECT_EQ(socket->Read()->Data, "second");
    EXPECT_FALSE(socket->Read());
}

TEST(UdpSocket, RaisesAtMostOneEventPerPoll) {
    const auto socket = New<PlainUdpSocket>();
    socket->SetPort(9090);
    socket->Connect();
    RawUdp peer("127.0.0.2", 4000);
    socket->Write("127.0.0.2:4000", "out");
    EXPECT_TRUE(socket->events.empty());  // SendComplete waits for a poll
    peer.SendTo("127.0.0.1", 9090, "in");
    socket->Poll();
    EXPECT_EQ(socket->events, (std::vector<std::string>{"DataAvailable"}));
    socket->Poll();
    EXPECT_EQ(socket->events, (std::vector<std::string>{"DataAvailable", "SendComplete"}));
    socket->Poll();
    EXPECT_EQ(socket->events.size(), 2u);
}

TEST(UdpSocket, FailureRaisesErrorWithinTheFailingCall) {
    const auto socket = New<PlainUdpSocket>();
    std::int32_t codeSeenByHandler = -1;
    socket->onEvent = [&](const std::string&) { codeSeenByHandler = socket->LastErrorCode(); };
    socket->Write("127.0.0.1", "x");  // not bound
    EXPECT_EQ(socket->events, (std::vector<std::string>{"Error"}));
    EXPECT_EQ(codeSeenByHandler, 106);
    EXPECT_FALSE(socket->JoinMulticastGroup("224.1.2.3"));
    EXPECT_EQ(socket->events.size(), 2u);
}

TEST(UdpSocket, WritesToHostNamesAndExplicitPorts) {
    RawUdp peer("127.0.0.1", 5000);
    const auto socket = New<PlainUdpSocket>();
    socket->SetPort(9090);
    socket->Connect();
    socket->Write("localhost:5000", "by name");
    auto received = peer.Receive();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->data, "by name");
    EXPECT_EQ(received->port, 9090);
    socket->Write(Datagram("127.0.0.1", 5000, "as datagram"));
    received = peer.Receive();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->data, "as datagram");
    EXPECT_TRUE(socket->IsConnected());
    EXPECT_EQ(socket->LastErrorCode(), 0);
}

TEST(UdpSocket, UnresolvableNameFails) {
    const auto socket = New<PlainUdpSocket>();
    socket->SetPort(9090);
    socket->Connect();
    socket->Write("no-such-host.invalid", "x");
    EXPECT_EQ(socket->events, (std::vector<std::string>{"Error"}));
    EXPECT_EQ(socket->LastErrorCode(), 65);
    EXPECT_FALSE(socket->IsConnected());
}

TEST(UdpSocket, BindsToTheChosenInterfaceOnly) {
    const auto socket = New<PlainUdpSocket>();
    socket->SetNetworkInterface("127.0.0.2");
    socket->SetPort(9090);
    socket->Connect();
    ASSERT_TRUE(socket->IsConnected());
    RawUdp peer("127.0.0.3", 4000);
    peer.SendTo("127.0.0.1", 9090, "elsewhere");  // no socket there: refused by the system
    peer.SendTo("127.0.0.2", 9090, "here");
    ASSERT_TRUE(PollUntil(*socket, [&] { return socket->PacketsAvailable() == 1; }));
    EXPECT_EQ(socket->Read()->Data, "here");

    const auto nowhere = New<PlainUdpSocket>();
    nowhere->SetNetworkInterface("198.18.0.99");  // no such local address
    nowhere->Connect();
    EXPECT_EQ(nowhere->LastErrorCode(), 107);
    EXPECT_FALSE(nowhere->IsConnected());
    nowhere->SetNetworkInterface("eth0");  // not an address at all
    nowhere->Connect();
    EXPECT_EQ(nowhere->LastErrorCode(), 107);
}

TEST(Endpoint, RegisterAndUnregisterBeforeBindDoNothing) {
    RawUdp group("0.0.0.0", 9090);
    group.Join("232.121.218.196");
    const auto endpoint = New<RecordingEndpoint>();
    endpoint->Register("abc");
    endpoint->Unregister("abc");
    endpoint->SendMessageToGroup("abc", 1, "x");
    endpoint->SendMessageToIndividual("127.0.0.1", 1, "x");
    EXPECT_TRUE(endpoint->errors.empty());
    EXPECT_EQ(endpoint->LastErrorCode(), 0);
    std::string sender = "untouched";
    EXPECT_EQ(endpoint->WaitForMessage(7, sender), "");
    EXPECT_EQ(sender, "untouched");
    EXPECT_FALSE(group.Receive(std::chrono::milliseconds(100)));
}

TEST(Endpoint, LeavingAGroupNeverJoinedReportsTwiceAndFails) {
    const auto endpoint = New<RecordingEndpoint>();
    endpoint->Bind(9090);
    endpoint->Unregister("never joined");
    EXPECT_EQ(endpoint->errors, (std::vector<std::int32_t>{107, 107}));  // EADDRNOTAVAIL
    EXPECT_FALSE(endpoint->IsConnected());
}

TEST(Endpoint, SecondBindStartsWithoutMemberships) {
    const auto endpoint = New<RecordingEndpoint>();
    endpoint->Bind(9090);
    endpoint->Register("abc");
    endpoint->Bind(9090);
    EXPECT_TRUE(endpoint->IsConnected());
    endpoint->Unregister("abc");  // the new socket never joined
    EXPECT_EQ(endpoint->errors, (std::vector<std::int32_t>{107, 107}));
}

TEST(Endpoint, UnregisterLeavesTheGroup) {
    const auto endpoint = New<RecordingEndpoint>();
    endpoint->Bind(9090);
    endpoint->Register("abc");
    endpoint->Unregister("abc");
    EXPECT_TRUE(endpoint->errors.empty());
    EXPECT_TRUE(endpoint->IsConnected());
}

}  // namespace
}  // namespace tintcheck::testing

// Sending messages, delivering them, and the synchronous wait, on real sockets.
#include <gtest/gtest.h>

#include "platform/console_application.h"
#include "support/packets.h"
#include "support/raw_udp.h"
#include "support/recording_endpoint.h"
#include "support/wire_capture.h"

namespace tintcheck::testing {
namespace {

class MessageExchangeTest : public ::testing::Test {
protected:
    std::vector<std::string> DeliveredData() const {
        std::vector<std::string> data;
        for (const Message& message : endpoint->messages) data.push_back(message.data);
        return data;
    }

    Ref<ConsoleApplication> application = New<ConsoleApplication>();
    Ref<RecordingEndpoint> endpoint = New<RecordingEndpoint>();
    RawUdp a{"127.0.0.2", 4000};
    RawUdp b{"127.0.0.3", 4000};
};

TEST_F(MessageExchangeTest, IndividualMessageIsOneNineByteDatagramFromAndToTheOwnPort) {
    WireCapture wire;
    endpoint->Bind(9090);
    endpoint->SendMessageToIndividual("127.0.0.2", 0, "S");
    const auto sent = wire.Next();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->payload, std::string("\0\0\0\x09\0\0\0\0S", 9));
    EXPECT_EQ(sent->destination, "127.0.0.2");
    EXPECT_EQ(sent->destinationPort, 9090);
    EXPECT_EQ(sent->sourcePort, 9090);
    EXPECT_EQ(sent->ttl, 255);
}

TEST_F(MessageExchangeTest, GroupMessageGoesToTheGroupAddressWithoutRegistering) {
    WireCapture wire;
    endpoint->Bind(9090);
    endpoint->SendMessageToGroup("abc", -101, "");
    const auto sent = wire.Next();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->destination, "232.121.218.196");
    EXPECT_EQ(sent->destinationPort, 9090);
    EXPECT_EQ(sent->payload, Packet(-101));
    EXPECT_EQ(sent->ttl, 255);
    EXPECT_TRUE(endpoint->errors.empty());
}

TEST_F(MessageExchangeTest, NothingIsSentBeforeBind) {
    WireCapture wire;
    endpoint->SendMessageToGroup("abc", 1, "x");
    endpoint->SendMessageToIndividual("127.0.0.2", 1, "x");
    EXPECT_FALSE(wire.Next(std::chrono::milliseconds(100)));
    EXPECT_TRUE(endpoint->errors.empty());
}

TEST_F(MessageExchangeTest, EachMessageIsRaisedOnceWithTheSenderAddress) {
    endpoint->Bind(9090);
    a.SendTo("127.0.0.1", 9090, Packet(-3, std::string("\0z", 2)));
    ASSERT_TRUE(PollUntil(*endpoint, [&] { return !endpoint->messages.empty(); }));
    for (int i = 0; i < 5; ++i) endpoint->Poll();
    EXPECT_EQ(endpoint->messages, (std::vector<Message>{{"127.0.0.2", -3, std::string("\0z", 2)}}));
}

TEST_F(MessageExchangeTest, WaitTakesTheAwaitedMessageAndDropsTheOthers) {
    endpoint->Bind(9090);
    a.SendTo("127.0.0.1", 9090, Packet(5, "other"));
    a.SendTo("127.0.0.1", 9090, Packet(7, ""));  // no data: cannot end the wait
    a.SendTo("127.0.0.1", 9090, Packet(-101));   // membership commands are dropped too
    b.SendTo("127.0.0.1", 9090, Packet(7, "ab"));
    std::string sender;
    EXPECT_EQ(endpoint->WaitForMessage(7, sender), "ab");
    EXPECT_EQ(sender, "127.0.0.3");
    EXPECT_TRUE(endpoint->messages.empty());

    a.SendTo("127.0.0.1", 9090, Packet(5, "after"));  // events flow again
    ASSERT_TRUE(PollUntil(*endpoint, [&] { return !endpoint->messages.empty(); }));
    EXPECT_EQ(endpoint->messages, (std::vector<Message>{{"127.0.0.2", 5, "after"}}));
}

// A socket whose every event runs an action: it lets something happen in the middle of a wait.
class ActionSocket : public UDPSocket {
public:
    std::function<void()> action;

protected:
    void Event_DataAvailable() override {
        static_cast<void>(Read());
        if (action) action();
    }
};

TEST_F(MessageExchangeTest, SocketErrorEndsTheWaitWithNothing) {
    endpoint->Bind(9090);
    const auto trigger = New<ActionSocket>();
    trigger->SetPort(9091);
    trigger->Connect();
    trigger->action = [&] { endpoint->SendMessageToIndividual("127.0.0.2", 1, std::string(65500, 'x')); };
    a.SendTo("127.0.0.1", 9091, "go");
    std::string sender = "untouched";
    EXPECT_EQ(endpoint->WaitForMessage(7, sender), "");
    EXPECT_EQ(sender, "untouched");
    EXPECT_EQ(endpoint->errors, (std::vector<std::int32_t>{40}));
}

TEST_F(MessageExchangeTest, HandlerThatWaitsGetsAPacketAlreadyBehindItsOwn) {
    endpoint->Bind(9090);
    std::string awaited;
    endpoint->onMessage = [&](const Message& message) {
        if (message.data == "A1") {
            std::string sender;
            awaited = endpoint->WaitForMessage(9, sender) + " from " + sender;
        }
    };
    a.SendTo("127.0.0.1", 9090, Packet(1, "A1") + Packet(9, "zz") + Packet(3, "A3"));
    ASSERT_TRUE(PollUntil(*endpoint, [&] { return !awaited.empty(); }));
    EXPECT_EQ(awaited, "zz from 127.0.0.2");
    a.SendTo("127.0.0.1", 9090, Packet(4, "A4"));
    ASSERT_TRUE(PollUntil(*endpoint, [&] { return endpoint->messages.size() == 2; }));
    // A3 arrived during the wait and was dropped; nothing was delivered twice.
    EXPECT_EQ(DeliveredData(), (std::vector<std::string>{"A1", "A4"}));
    EXPECT_EQ(endpoint->ReceiveBuffers().Find("127.0.0.2")->Pending(), "");
}

TEST_F(MessageExchangeTest, HandlerThatRunsTheEventLoopKeepsEveryPacketOnceAndInOrder) {
    endpoint->Bind(9090);
    bool nested = false;
    endpoint->onMessage = [&](const Message& message) {
        if (message.data == "A1" && !nested) {
            nested = true;
            application->DoEvents(0);  // reads B's datagram and parses inside this delivery
        }
    };
    b.SendTo("127.0.0.1", 9090, Packet(1, "B0"));
    ASSERT_TRUE(PollUntil(*endpoint, [&] { return endpoint->messages.size() == 1; }));
    a.SendTo("127.0.0.1", 9090, Packet(1, "A1") + Packet(2, "A2") + Packet(3, "A3"));
    b.SendTo("127.0.0.1", 9090, Packet(1, "B1") + Packet(2, "B2"));
    ASSERT_TRUE(PollUntil(*endpoint, [&] { return endpoint->messages.size() == 6; }));
    for (int i = 0; i < 5; ++i) endpoint->Poll();
    EXPECT_TRUE(nested);
    EXPECT_EQ(DeliveredData(), (std::vector<std::string>{"B0", "A1", "B1", "A2", "B2", "A3"}));
}

}  // namespace
}  // namespace tintcheck::testing

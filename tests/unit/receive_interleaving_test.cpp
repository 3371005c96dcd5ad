// The order of delivery when several senders have several packets pending at once: one packet
// per sender per pass, senders in the order in which they were first heard.
#include <gtest/gtest.h>

#include "messaging/easy_udp_socket.h"
#include "support/packets.h"
#include "support/recording_endpoint.h"

namespace tintcheck::testing {
namespace {

// Hands datagrams to the receive path as if the system had queued them all before one poll.
class QueueFedEndpoint : public RecordingEndpoint {
public:
    void Arrive(const std::string& from, const std::string& bytes) { QueueDatagram(from, 9090, bytes); }
};

TEST(ReceiveInterleaving, OnePacketPerSenderPerPassInFirstContactOrder) {
    const auto endpoint = New<QueueFedEndpoint>();
    endpoint->Arrive("10.0.0.2", Packet(1, "A1") + Packet(2, "A2"));
    endpoint->Arrive("10.0.0.1", Packet(1, "B1") + Packet(2, "B2") + Packet(3, "B3"));
    endpoint->Arrive("10.0.0.2", Packet(3, "A3"));
    endpoint->Poll();
    std::vector<std::string> order;
    for (const Message& message : endpoint->messages) order.push_back(message.data);
    EXPECT_EQ(order, (std::vector<std::string>{"A1", "B1", "A2", "B2", "A3", "B3"}));
    EXPECT_EQ(endpoint->ReceiveBuffers().Count(), 2u);
    EXPECT_EQ(endpoint->ReceiveBuffers().Find("10.0.0.2")->Pending(), "");
}

TEST(ReceiveInterleaving, ExceptionFromAHandlerKeepsThePacketAtTheHead) {
    const auto endpoint = New<QueueFedEndpoint>();
    bool thrown = false;
    endpoint->onMessage = [&](const Message& message) {
        if (message.data == "A2" && !thrown) {
            thrown = true;
            throw RuntimeException("handler failed");
        }
    };
    endpoint->Arrive("10.0.0.2", Packet(1, "A1") + Packet(2, "A2") + Packet(3, "A3"));
    EXPECT_THROW(endpoint->Poll(), RuntimeException);
    EXPECT_EQ(endpoint->ReceiveBuffers().Find("10.0.0.2")->Pending(), Packet(2, "A2") + Packet(3, "A3"));

    endpoint->Arrive("10.0.0.2", Packet(4, "A4"));
    endpoint->Poll();
    std::vector<std::string> order;
    for (const Message& message : endpoint->messages) order.push_back(message.data);
    EXPECT_EQ(order, (std::vector<std::string>{"A1", "A2", "A2", "A3", "A4"}));
    EXPECT_EQ(endpoint->ReceiveBuffers().Find("10.0.0.2")->Pending(), "");
}

}  // namespace
}  // namespace tintcheck::testing

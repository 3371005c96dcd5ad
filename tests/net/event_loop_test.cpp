// The application's event loop: DoEvents polls every socket once, the most recently bound
// first, and then blocks for the whole wait.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/console_application.h"
#include "support/raw_udp.h"
#include "support/recording_endpoint.h"

namespace tintcheck::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class EventLoopTest : public ::testing::Test {
protected:
    Ref<PlainUdpSocket> BoundSocket(int port, const std::string& name) {
        auto socket = New<PlainUdpSocket>();
        socket->SetPort(port);
        socket->Connect();
        socket->onEvent = [this, name](const std::string& event) { order.push_back(name + ":" + event); };
        return socket;
    }

    Ref<ConsoleApplication> application = New<ConsoleApplication>();
    std::vector<std::string> order;
    RawUdp peer{"127.0.0.2", 4000};
};

TEST_F(EventLoopTest, PollsEachSocketOnceMostRecentlyBoundFirst) {
    const auto a = BoundSocket(9001, "A");
    const auto b = BoundSocket(9002, "B");
    for (int i = 0; i < 2; ++i) {
        peer.SendTo("127.0.0.1", 9001, "to A");
        peer.SendTo("127.0.0.1", 9002, "to B");
    }
    application->DoEvents(-1);
    EXPECT_EQ(order, (std::vector<std::string>{"B:DataAvailable", "A:DataAvailable"}));

    a->Connect();  // binding again puts A first
    peer.SendTo("127.0.0.1", 9001, "to A");
    application->DoEvents(-1);
    EXPECT_EQ(order, (std::vector<std::string>{"B:DataAvailable", "A:DataAvailable", "A:DataAvailable",
                                               "B:DataAvailable"}));
}

TEST_F(EventLoopTest, SocketReleasedByAHandlerIsNotPolledAgain) {
    auto a = BoundSocket(9001, "A");
    auto b = BoundSocket(9002, "B");
    b->onEvent = [&](const std::string&) { a.Release(); };
    peer.SendTo("127.0.0.1", 9001, "to A");
    peer.SendTo("127.0.0.1", 9002, "to B");
    application->DoEvents(-1);
    EXPECT_FALSE(a);
    EXPECT_TRUE(order.empty());
}

TEST_F(EventLoopTest, BlocksForTheWholeWaitEvenWhenADatagramArrives) {
    const auto a = BoundSocket(9001, "A");
    std::thread sender([&] {
        std::this_thread::sleep_for(milliseconds(20));
        peer.SendTo("127.0.0.1", 9001, "during the wait");
    });
    const auto start = Clock::now();
    application->DoEvents(100);
    const auto waited = Clock::now() - start;
    sender.join();
    EXPECT_GE(waited, milliseconds(100));
    EXPECT_TRUE(order.empty());  // handled only by the next pass
    application->DoEvents(0);
    EXPECT_EQ(order, (std::vector<std::string>{"A:DataAvailable"}));
}

TEST_F(EventLoopTest, NegativeWaitReturnsAtOnce) {
    const auto start = Clock::now();
    application->DoEvents(-5);
    EXPECT_LT(Clock::now() - start, milliseconds(50));
}

TEST_F(EventLoopTest, OnlyOneApplicationPerProcess) {
    EXPECT_THROW(New<ConsoleApplication>(), RuntimeException);
    EXPECT_EQ(ConsoleApplication::Current().Get(), application.Get());
}

}  // namespace
}  // namespace tintcheck::testing

#include <gtest/gtest.h>

#include "messaging/easy_udp_socket.h"

namespace tintcheck {
namespace {

class Endpoint : public EasyUDPSocket {};

template <class Call>
void ExpectRefusal(Call call, const std::string& message) {
    try {
        call();
        FAIL() << "no exception";
    } catch (const RuntimeException& error) {
        EXPECT_EQ(typeid(error), typeid(RuntimeException));
        EXPECT_EQ(error.Message, message);
        EXPECT_EQ(error.ErrorNumber, 0);
    }
}

TEST(Endpoint, RefusesRawReadAndWrite) {
    const auto endpoint = New<Endpoint>();
    UDPSocket& asSocket = *endpoint;
    ExpectRefusal([&] { asSocket.Read(); }, "You cannot call Read on an EasyUDPSocket directly.");
    ExpectRefusal([&] { asSocket.Read(TextEncoding::UTF8); }, "You cannot call Read on an EasyUDPSocket directly.");
    ExpectRefusal([&] { asSocket.Write("127.0.0.1", "x"); }, "You cannot call Write on an EasyUDPSocket directly.");
    ExpectRefusal([&] { asSocket.Write(Datagram("127.0.0.1", 1, "x")); },
                  "You cannot call Write on an EasyUDPSocket directly.");
    EXPECT_FALSE(endpoint->IsConnected());
    EXPECT_EQ(endpoint->LastErrorCode(), 0);
}

}  // namespace
}  // namespace tintcheck

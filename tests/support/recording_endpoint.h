// Endpoints and sockets that record what their events report, for tests.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "messaging/easy_udp_socket.h"
#include "platform/udp_socket.h"

namespace tintcheck::testing {

struct Message {
    std::string from;
    std::int32_t command;
    std::string data;
    friend bool operator==(const Message&, const Message&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Message& message) {
    return out << "{" << message.from << ", " << message.command << ", \"" << message.data << "\"}";
}

class RecordingEndpoint : public EasyUDPSocket {
public:
    std::vector<std::int32_t> errors;
    std::vector<Message> messages;
    std::function<void(const Message&)> onMessage;

    using EasyUDPSocket::ReceiveBuffers;

protected:
    void Event_Error(std::int32_t errorCode) override { errors.push_back(errorCode); }
    void Event_ReceivedMessage(const std::string& from, std::int32_t command, const std::string& data) override {
        messages.push_back({from, command, data});
        if (onMessage) onMessage(messages.back());
    }
};

// The platform socket on its own, recording its events by name.
class PlainUdpSocket : public UDPSocket {
public:
    std::vector<std::string> events;
    std::function<void(const std::string&)> onEvent;

protected:
    void Event_DataAvailable() override { Record("DataAvailable"); }
    void Event_Error() override { Record("Error"); }
    void Event_SendComplete(bool) override { Record("SendComplete"); }

private:
    void Record(const std::string& event) {
        events.push_back(event);
        if (onEvent) onEvent(event);
    }
};

// Polls `socket` until `done` holds or two seconds have passed.
template <class Done>
bool PollUntil(SocketCore& socket, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        socket.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tintcheck::testing

#include "tool_member.h"

#include <thread>

namespace tintcheck::tool {

namespace {
constexpr std::chrono::milliseconds kIdleSleep{5};
}

void ToolMember::RunEvents(std::chrono::milliseconds duration, const std::atomic<bool>& stop) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!stop && std::chrono::steady_clock::now() < deadline) {
        const std::uint64_t before = mEvents;
        const std::int32_t queuedBefore = PacketsAvailable();
        Poll();
        if (mEvents == before && PacketsAvailable() == queuedBefore) std::this_thread::sleep_for(kIdleSleep);
    }
}

void ToolMember::Event_MemberJoined(const std::string& member) {
    ++mEvents;
    if (onJoined) onJoined(member);
}

void ToolMember::Event_MemberLeft(const std::string& member) {
    ++mEvents;
    if (onLeft) onLeft(member);
}

void ToolMember::Event_ReceivedMessage(const std::string& from, std::int32_t command, const std::string& data) {
    ++mEvents;
    if (onMessage) onMessage(from, command, data);
}

void ToolMember::Event_Error(std::int32_t errorCode) {
    ++mEvents;
    if (firstError == 0) firstError = errorCode;
}

std::string DescribeSocketError(std::int32_t code, std::int32_t port) {
    switch (code) {
        case 105:
            return "UDP port " + std::to_string(port) +
                   " is already in use on this machine (is the agent running here?); "
                   "list the members from another machine";
        case 19:
        case 103:
            return "no route for multicast: is the network up? (error " + std::to_string(code) + ")";
        case 107:
            return "not allowed (error 107)";
        case 40:
            return "the message is too large for one datagram (error 40)";
        default:
            return "socket error " + std::to_string(code);
    }
}

}  // namespace tintcheck::tool

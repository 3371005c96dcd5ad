// The command-line client's member of the group: an AutoDiscovery that hands each event to the
// subcommand that runs it, and an event loop that keeps up with bursts without spinning.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "membership/auto_discovery.h"

namespace tintcheck::tool {

class ToolMember : public AutoDiscovery {
public:
    std::function<void(const std::string&)> onJoined;
    std::function<void(const std::string&)> onLeft;
    std::function<void(const std::string&, std::int32_t, const std::string&)> onMessage;

    // The first socket error, 0 when there was none.
    std::int32_t firstError = 0;

    // Runs the event loop until `duration` has passed or `stop` is set. It polls again at once
    // while datagrams keep coming, and sleeps a little when none came.
    void RunEvents(std::chrono::milliseconds duration, const std::atomic<bool>& stop);

protected:
    void Event_MemberJoined(const std::string& member) override;
    void Event_MemberLeft(const std::string& member) override;
    void Event_ReceivedMessage(const std::string& from, std::int32_t command, const std::string& data) override;
    void Event_Error(std::int32_t errorCode) override;

private:
    std::uint64_t mEvents = 0;
};

// A sentence for a socket error code, for people.
std::string DescribeSocketError(std::int32_t code, std::int32_t port);

}  // namespace tintcheck::tool

// A member that records what the membership layer reports.
#pragma once

#include <string>
#include <vector>

#include "membership/auto_discovery.h"
#include "support/recording_endpoint.h"

namespace tintcheck::testing {

class RecordingMember : public AutoDiscovery {
public:
    std::vector<std::string> joined;
    std::vector<std::string> left;
    std::vector<Message> messages;
    std::vector<std::int32_t> errors;
    std::vector<std::string>* unregisterLog = nullptr;  // outlives the member, to see its Destructor

    void Unregister(const std::string& groupName) override {
        if (unregisterLog != nullptr) unregisterLog->push_back(groupName);
        AutoDiscovery::Unregister(groupName);
    }

protected:
    void Event_MemberJoined(const std::string& member) override { joined.push_back(member); }
    void Event_MemberLeft(const std::string& member) override { left.push_back(member); }
    void Event_ReceivedMessage(const std::string& from, std::int32_t command, const std::string& data) override {
        messages.push_back({from, command, data});
    }
    void Event_Error(std::int32_t errorCode) override { errors.push_back(errorCode); }
};

}  // namespace tintcheck::testing

// The agent's discovery object: greets every member that announces itself.
#pragma once

#include "membership/auto_discovery.h"

namespace tintcheck {

class MyAutoDiscovery : public AutoDiscovery {
protected:
    void Event_MemberJoined(const std::string& member) override;
};

}  // namespace tintcheck

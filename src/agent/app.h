// The agent: joins the discovery group on start and then runs the event loop for ever.
#pragma once

#include "membership/auto_discovery.h"
#include "platform/service_application.h"

namespace tintcheck {

class App : public ServiceApplication {
public:
    // The one discovery object, kept for the life of the process.
    Ref<AutoDiscovery> tintCHECKSocket;

protected:
    std::int32_t Event_Run(const std::vector<std::string>& args) override;

private:
    void JoinTheGroup();
};

}  // namespace tintcheck

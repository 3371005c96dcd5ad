#include "agent/app.h"

#include "agent/my_auto_discovery.h"
#include "agent/rejoin_backoff.h"

namespace tintcheck {

namespace {
constexpr std::int32_t kDiscoveryPort = 9090;
constexpr const char* kGroupName = "tintCHECK4";
constexpr std::int32_t kEventLoopSliceMilliseconds = 100;
}  // namespace

std::int32_t App::Event_Run(const std::vector<std::string>&) {
    tintCHECKSocket = New<MyAutoDiscovery>();
    JoinTheGroup();
    // A socket failure leaves the endpoint unbound for good: a port still held by another
    // program, a network that comes up after the agent (no multicast route yet at boot), a
    // send the system refused. The agent binds and joins again, announcing itself as on start.
    RejoinBackoff rejoin;
    for (;;) {
        DoEvents(kEventLoopSliceMilliseconds);
        if (rejoin.Due(tintCHECKSocket->IsConnected(), RejoinBackoff::Clock::now())) JoinTheGroup();
    }
}

void App::JoinTheGroup() {
    tintCHECKSocket->Bind(kDiscoveryPort);
    tintCHECKSocket->Register(kGroupName);
}

}  // namespace tintcheck

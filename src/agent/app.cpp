#include "agent/app.h"

#include "agent/my_auto_discovery.h"

namespace tintcheck {

namespace {
constexpr std::int32_t kDiscoveryPort = 9090;
constexpr const char* kGroupName = "tintCHECK4";
constexpr std::int32_t kEventLoopSliceMilliseconds = 100;
}  // namespace

std::int32_t App::Event_Run(const std::vector<std::string>&) {
    tintCHECKSocket = New<MyAutoDiscovery>();
    tintCHECKSocket->Bind(kDiscoveryPort);
    tintCHECKSocket->Register(kGroupName);
    for (;;) DoEvents(kEventLoopSliceMilliseconds);
}

}  // namespace tintcheck

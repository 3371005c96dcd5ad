#include "agent/my_auto_discovery.h"

namespace tintcheck {

namespace {
constexpr std::int32_t kGreetingCommand = 0;
constexpr std::string_view kGreetingData = "S";
}  // namespace

void MyAutoDiscovery::Event_MemberJoined(const std::string& member) {
    if (MayReplyTo(member)) SendMessageToIndividual(member, kGreetingCommand, kGreetingData);
}

}  // namespace tintcheck

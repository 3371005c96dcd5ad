// Uses the installed library: a member object, its member list and a group address.
#include <cstdio>

#include "membership/auto_discovery.h"
#include "messaging/group_address.h"

int main() {
    const auto member = tintcheck::New<tintcheck::AutoDiscovery>();
    std::printf("%s %zu %d\n", tintcheck::HashGroupNameToIP("abc").c_str(), member->GetMemberList()->Count(),
                member->IsConnected() ? 1 : 0);
    return 0;
}

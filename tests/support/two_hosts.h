// A second host for tests that need two members on the same port: a network namespace of its
// own, joined to the test's namespace by a veth pair (198.18.0.1 here, 198.18.0.2 there), with
// multicast routed over the pair on both sides. The namespace has no name and lives only as
// long as this object and the sockets made in it, so nothing outlives the test.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

namespace tintcheck::testing {

class TwoHosts {
public:
    static constexpr const char* kHere = "198.18.0.1";
    static constexpr const char* kThere = "198.18.0.2";

    TwoHosts() {
        std::thread([this] {
            if (unshare(CLONE_NEWNET) != 0) return;
            mOtherNamespace = open("/proc/thread-self/ns/net", O_RDONLY);
        }).join();
        if (mOtherNamespace < 0) throw std::runtime_error("cannot make a network namespace");
        const std::string there = "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(mOtherNamespace);
        Shell("ip link add tc0 type veth peer name tc1 netns " + there);
        Shell("ip addr add 198.18.0.1/24 dev tc0 && ip link set tc0 up && ip route replace 224.0.0.0/4 dev tc0");
        Shell("nsenter --net=" + there +
              " sh -c 'ip link set lo up && ip addr add 198.18.0.2/24 dev tc1 && ip link set tc1 up && "
              "ip route add 224.0.0.0/4 dev tc1'");
    }
    ~TwoHosts() { close(mOtherNamespace); }
    TwoHosts(const TwoHosts&) = delete;
    TwoHosts& operator=(const TwoHosts&) = delete;

    // Runs `work` on a thread inside the other host: sockets opened there belong to it for good.
    template <class Work>
    void There(Work work) {
        std::thread([&] {
            if (setns(mOtherNamespace, CLONE_NEWNET) != 0) throw std::runtime_error("setns");
            work();
        }).join();
    }

    static void Shell(const std::string& command) {
        if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
    }

private:
    int mOtherNamespace = -1;
};

}  // namespace tintcheck::testing

// Datagrams per second through the group endpoint driven by DoEvents(0), against a raw recvfrom
// loop taking the same datagrams on the same loopback. Each iteration queues a batch in the
// receiver's socket (well under the kernel's default receive buffer) and times only its drain.
//
// Sends on loopback: run it in a private network namespace (tests/support/in_private_netns.sh).
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <string>

#include "messaging/easy_udp_socket.h"
#include "messaging/message_packet.h"
#include "platform/console_application.h"
#include "support/raw_udp.h"

namespace {

constexpr int kBatch = 64;
constexpr int kEndpointPort = 9090;
constexpr int kRawPort = 9091;

class CountingEndpoint : public tintcheck::EasyUDPSocket {
public:
    std::int64_t delivered = 0;

protected:
    void Event_ReceivedMessage(const std::string&, std::int32_t, const std::string&) override { ++delivered; }
};

std::string Datagram(const benchmark::State& state) {
    return tintcheck::CreatePacket(5, std::string(static_cast<std::size_t>(state.range(0)), 'x')).Bytes();
}

void SendBatch(tintcheck::testing::RawUdp& sender, int port, const std::string& datagram) {
    for (int i = 0; i < kBatch; ++i) sender.SendTo("127.0.0.1", port, datagram);
}

void Report(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.SetBytesProcessed(state.iterations() * kBatch * (8 + state.range(0)));
}

void EndpointDoEvents(benchmark::State& state) {
    const auto application = tintcheck::New<tintcheck::ConsoleApplication>();
    const auto endpoint = tintcheck::New<CountingEndpoint>();
    endpoint->Bind(kEndpointPort);
    tintcheck::testing::RawUdp sender;
    const std::string datagram = Datagram(state);
    for (auto _ : state) {
        state.PauseTiming();
        const std::int64_t target = endpoint->delivered + kBatch;
        SendBatch(sender, kEndpointPort, datagram);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        state.ResumeTiming();
        while (endpoint->delivered < target) {
            application->DoEvents(0);
            if (std::chrono::steady_clock::now() > deadline) {
                state.SkipWithError("datagrams lost");
                return;
            }
        }
    }
    Report(state);
}

void RawRecvfromLoop(benchmark::State& state) {
    tintcheck::testing::RawUdp receiver("127.0.0.1", kRawPort);
    tintcheck::testing::RawUdp sender;
    const std::string datagram = Datagram(state);
    const int fd = receiver.Descriptor();
    std::string buffer(65536, '\0');
    for (auto _ : state) {
        state.PauseTiming();
        SendBatch(sender, kRawPort, datagram);
        state.ResumeTiming();
        for (int i = 0; i < kBatch; ++i) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            benchmark::DoNotOptimize(
                recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length));
        }
    }
    Report(state);
}

// Payload bytes per packet: an empty announcement-sized packet and a kilobyte of data.
BENCHMARK(EndpointDoEvents)->Arg(0)->Arg(1024);
BENCHMARK(RawRecvfromLoop)->Arg(0)->Arg(1024);

}  // namespace

BENCHMARK_MAIN();

// The cost of cutting one datagram into packets, per packet, as the number of packets in the
// datagram grows from 1 to the 8,188 empty packets that the largest datagram can hold. The
// time_per_packet counter (seconds) must stay flat. Also the cost of one call of the two helpers
// that every send goes through: building a packet and computing a group's address.
#include <benchmark/benchmark.h>

#include <string>

#include "messaging/easy_udp_socket.h"
#include "messaging/group_address.h"
#include "messaging/message_packet.h"

namespace {

class CountingEndpoint : public tintcheck::EasyUDPSocket {
public:
    void Arrive(std::string bytes) { QueueDatagram("198.18.0.2", 9090, std::move(bytes)); }
    std::int64_t delivered = 0;

protected:
    void Event_ReceivedMessage(const std::string&, std::int32_t, const std::string&) override { ++delivered; }
};

void ParseOneDatagram(benchmark::State& state) {
    const auto packets = static_cast<std::size_t>(state.range(0));
    std::string datagram;
    for (std::size_t i = 0; i < packets; ++i) datagram += tintcheck::CreatePacket(-101, "").Bytes();
    const auto endpoint = tintcheck::New<CountingEndpoint>();
    for (auto _ : state) {
        endpoint->Arrive(datagram);
        endpoint->Poll();
    }
    if (endpoint->delivered != static_cast<std::int64_t>(packets) * state.iterations()) state.SkipWithError("lost packets");
    state.counters["time_per_packet"] = benchmark::Counter(static_cast<double>(packets),
                                                         benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
}

BENCHMARK(ParseOneDatagram)->Arg(1)->Arg(8)->Arg(64)->Arg(512)->Arg(4096)->Arg(8188);

// Payload bytes: the greeting's one byte and a kilobyte of application data.
void CreatePacketPerCall(benchmark::State& state) {
    const std::string data(static_cast<std::size_t>(state.range(0)), 'S');
    for (auto _ : state) benchmark::DoNotOptimize(tintcheck::CreatePacket(0, data));
}
BENCHMARK(CreatePacketPerCall)->Arg(1)->Arg(1024);

void HashGroupNameToIPPerCall(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tintcheck::HashGroupNameToIP("tintCHECK4"));
}
BENCHMARK(HashGroupNameToIPPerCall);

}  // namespace

BENCHMARK_MAIN();
